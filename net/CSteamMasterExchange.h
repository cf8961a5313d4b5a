#pragma once

#include <QTimer>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <unordered_set>

#include "net/CMasterExchange.h"

class CMasterSocket;

// Steam's master server list: each request names the last address received
// as its seed, until a batch ends with the 0.0.0.0:0 marker. The master
// answers a client that asks too often with a minute of silence, so requests
// are paced; a silent request is re-sent like a WON one, and what arrived
// before stays listed whatever happens.
class CSteamMasterExchange : public CMasterExchange {
public:
    // Steam's master allowed about 30 requests a minute from one client:
    // at most this many go out in any window, re-sends included, leaving a
    // margin. The first ones go at once, so an ordinary list (some tens of
    // batches) is not slowed down at all.
    static constexpr int kRequestsPerWindow = 25;
    static constexpr int kPacingWindowMs = 60000;
    // A master that keeps listing new addresses is followed for at most this
    // many requests (over a hundred thousand servers, many times the real
    // list), then the list counts as complete.
    static constexpr int kMaxRequests = 500;

    CSteamMasterExchange(IMasterListOwner& owner, MasterListQuery query);
    ~CSteamMasterExchange() override;

    MasterSource Source() const override { return MasterSource::SteamMaster; }
    void Start() override;
    void OnCleaningPass(uint64_t now) override;
    void Close() override;
    bool IsBusy() const override;

    // The filter text this exchange sends.
    const std::string& FilterText() const { return m_strFilter; }
    // Other limits than Steam's, for a master that is not Steam's own.
    void SetPacing(int requestsPerWindow, int windowMs) {
        m_nRequestsPerWindow = requestsPerWindow > 0 ? requestsPerWindow : 1;
        m_nPacingWindowMs = windowMs;
    }

private:
    void OnDatagram(std::span<const uint8_t> datagram);
    // Asks for the list after seed, now or when the pacing allows it.
    void Request(const std::string& seed, bool resend);
    void SendPending();

    std::unique_ptr<CMasterSocket> m_pSocket;
    std::string m_strFilter;
    std::string m_strSeed = "0.0.0.0:0";
    // Every seed sent in this exchange: a batch that ends on one of them is a
    // late copy of a reply handled before, or a master going round.
    std::unordered_set<std::string> m_seeds;
    // Every address listed in this exchange (address << 16 | port).
    std::unordered_set<uint64_t> m_listed;
    int m_nBatches = 0;
    int m_nRetriesLeft = 0;
    int m_nEntriesTaken = 0;
    bool m_bWaitingForReply = false;
    bool m_bSendPending = false;
    bool m_bPendingIsResend = false;
    int m_nRequestsPerWindow = kRequestsPerWindow;
    int m_nPacingWindowMs = kPacingWindowMs;
    std::deque<uint64_t> m_sendTimes; // within the last pacing window
    QTimer m_paceTimer;
};
