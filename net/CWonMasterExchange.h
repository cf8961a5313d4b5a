#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_set>

#include "net/CMasterExchange.h"

class CMasterSocket;
struct MasterListReply;

// The WON master's list: batches asked for one after the other by batch id,
// each request re-sent up to `retries` times after `timeoutMs` of silence.
class CWonMasterExchange : public CMasterExchange {
public:
    CWonMasterExchange(IMasterListOwner& owner, MasterListQuery query);
    ~CWonMasterExchange() override;

    MasterSource Source() const override { return MasterSource::Won; }
    void Start() override;
    void OnCleaningPass(uint64_t now) override;
    void Close() override;
    bool IsBusy() const override;

    // Asks for a batch with a fresh count of retries.
    void RequestBatch(uint32_t batchId);
    // A list reply, from this exchange's socket or handed in by the owner.
    void OnListReply(const MasterListReply& reply);

    int32_t m_nBatchId = -1; // the last batch asked for; -1 before any
    int32_t m_nRetriesLeft = 0;

private:
    bool SendListRequest(int32_t batchId);
    bool Retry();
    void OnDatagram(std::span<const uint8_t> datagram, uint32_t address, uint16_t port);

    std::unique_ptr<CMasterSocket> m_pSocket;
    // Every id asked for in this exchange: a reply that names one of them
    // again is a late copy or a master going round in circles.
    std::unordered_set<uint32_t> m_requestedIds;
    int m_nEntriesTaken = 0;
    // The "Unsupported command" box is shown once per exchange.
    bool m_bUnsupportedShown = false;
};
