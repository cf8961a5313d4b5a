#include "net/CWonMasterExchange.h"

#include <algorithm>

#include "net/CMasterSocket.h"
#include "net/Clock.h"
#include "net/IMasterListOwner.h"
#include "net/MasterRequest.h"
#include "net/ReplyDecoder.h"

CWonMasterExchange::CWonMasterExchange(IMasterListOwner& owner, MasterListQuery query)
    : CMasterExchange(owner, std::move(query)) {}

CWonMasterExchange::~CWonMasterExchange() = default;

void CWonMasterExchange::Start() {
    Busy busy(*this);
    m_pSocket = OpenMasterSocket(
        [this](std::span<const uint8_t> datagram, uint32_t address, uint16_t port) {
            OnDatagram(datagram, address, port);
        },
        "Error connecting to WON");
    if (!m_pSocket)
        return;
    RequestBatch(0);
}

void CWonMasterExchange::RequestBatch(uint32_t batchId) {
    Busy busy(*this);
    if (!m_pSocket || !m_pSocket->IsOpen())
        return;
    m_nRetriesLeft = m_query.retries;
    if (SendListRequest(static_cast<int32_t>(batchId)))
        m_owner.OnMasterRequestSent(batchId);
}

bool CWonMasterExchange::SendListRequest(int32_t batchId) {
    const std::vector<uint8_t> request =
        BuildMasterRequest(static_cast<uint32_t>(batchId), m_query.game, m_query.map);
    ++m_nRequestsSent;
    if (!m_pSocket->SendRequest(request)) {
        m_owner.OnMasterSocketError("Error sending server list command");
        return false;
    }
    m_nBatchId = batchId;
    m_requestedIds.insert(static_cast<uint32_t>(batchId));
    return true;
}

bool CWonMasterExchange::Retry() {
    const int32_t left = m_nRetriesLeft--;
    if (left < 1)
        return false;
    if (m_nBatchId == -1)
        return false;
    return SendListRequest(m_nBatchId);
}

void CWonMasterExchange::OnCleaningPass(uint64_t now) {
    Busy busy(*this);
    if (!m_pSocket || !m_pSocket->IsOpen())
        return;
    if (ElapsedMs(m_pSocket->m_liSent, now) <= static_cast<uint64_t>(m_query.timeoutMs))
        return;
    if (!Retry())
        m_owner.OnMasterListFailed("");
}

void CWonMasterExchange::OnDatagram(std::span<const uint8_t> datagram, uint32_t address,
                                    uint16_t port) {
    Busy busy(*this);
    if (address == 0 || !HasReplyPrefix(datagram))
        return;
    const uint8_t type = ReplyType(datagram);
    const std::span<const uint8_t> payload = ReplyPayload(datagram);
    if (type == 'f') {
        const DecodedReply reply = DecodePayload(type, payload);
        if (const auto* list = std::get_if<MasterListReply>(&reply))
            OnListReply(*list);
        return;
    }
    m_owner.OnMasterOtherReply(type, payload, address, port, &m_bUnsupportedShown);
}

void CWonMasterExchange::OnListReply(const MasterListReply& reply) {
    Busy busy(*this);
    const size_t room = static_cast<size_t>(CMasterSocket::kMaxEntries - m_nEntriesTaken);
    const std::span<const MasterEntry> entries(reply.entries.data(),
                                               std::min(reply.entries.size(), room));
    m_nEntriesTaken += static_cast<int>(entries.size());
    m_owner.OnMasterEntries(entries);
    const bool exhausted = m_nEntriesTaken >= CMasterSocket::kMaxEntries ||
                           static_cast<int>(m_requestedIds.size()) >= CMasterSocket::kMaxBatches;
    if (reply.nextBatchId != 0 && !exhausted) {
        // An id asked for already: a late copy of a reply handled before
        // (after a re-sent request), or a master that goes round in circles.
        // The request outstanding stays as it is; a master that never moves
        // on runs out of retries and times out like a silent one.
        if (!m_requestedIds.count(reply.nextBatchId))
            RequestBatch(reply.nextBatchId);
        return;
    }
    m_owner.OnMasterListComplete();
}

void CWonMasterExchange::Close() {
    if (m_pSocket)
        m_pSocket->Close();
}

bool CWonMasterExchange::IsBusy() const {
    return CMasterExchange::IsBusy() || (m_pSocket && m_pSocket->IsBusy());
}
