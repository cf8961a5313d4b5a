#include "net/CSteamMasterExchange.h"

#include <algorithm>
#include <vector>

#include "net/Address.h"
#include "net/CMasterSocket.h"
#include "net/Clock.h"
#include "net/IMasterListOwner.h"
#include "net/SteamMasterProtocol.h"

namespace {

uint64_t Key(const MasterEntry& entry) {
    return (static_cast<uint64_t>(entry.address) << 16) | entry.port;
}

} // namespace

CSteamMasterExchange::CSteamMasterExchange(IMasterListOwner& owner, MasterListQuery query)
    : CMasterExchange(owner, std::move(query)), m_strFilter(SteamFilterText(m_query)) {
    m_paceTimer.setSingleShot(true);
    QObject::connect(&m_paceTimer, &QTimer::timeout, [this] {
        Busy busy(*this);
        SendPending();
    });
}

CSteamMasterExchange::~CSteamMasterExchange() = default;

void CSteamMasterExchange::Start() {
    Busy busy(*this);
    m_pSocket = OpenMasterSocket(
        [this](std::span<const uint8_t> datagram, uint32_t, uint16_t) { OnDatagram(datagram); },
        "Error connecting to the Steam master server");
    if (!m_pSocket)
        return;
    m_nRetriesLeft = m_query.retries;
    Request(m_strSeed, false);
}

void CSteamMasterExchange::Request(const std::string& seed, bool resend) {
    m_strSeed = seed;
    // Known from now on, not only once sent: a copy of the batch that named
    // it may arrive while the request waits for its turn.
    m_seeds.insert(seed);
    m_bWaitingForReply = false;
    m_bSendPending = true;
    m_bPendingIsResend = resend;
    SendPending();
}

void CSteamMasterExchange::SendPending() {
    if (!m_bSendPending || !m_pSocket || !m_pSocket->IsOpen())
        return;
    const uint64_t now = NowTicks();
    while (!m_sendTimes.empty() &&
           ElapsedMs(m_sendTimes.front(), now) >= static_cast<uint64_t>(m_nPacingWindowMs))
        m_sendTimes.pop_front();
    if (static_cast<int>(m_sendTimes.size()) >= m_nRequestsPerWindow) {
        // Sleeps until the oldest request leaves the window; the cleaning
        // pass does not count this wait against the master.
        const uint64_t waited = ElapsedMs(m_sendTimes.front(), now);
        m_paceTimer.start(static_cast<int>(m_nPacingWindowMs - static_cast<int64_t>(waited)) + 1);
        return;
    }
    m_bSendPending = false;
    m_sendTimes.push_back(now);
    const std::vector<uint8_t> request =
        BuildSteamMasterRequest(m_query.region, m_strSeed, m_strFilter);
    ++m_nRequestsSent;
    // A request that could not be sent is waited for like a lost one, so
    // that the time-out re-sends it.
    m_bWaitingForReply = true;
    if (!m_pSocket->SendRequest(request)) {
        m_owner.OnMasterSocketError("Error sending server list command");
        return;
    }
    if (!m_bPendingIsResend) {
        m_owner.OnMasterRequestSent(static_cast<uint32_t>(m_nBatches++));
    }
}

void CSteamMasterExchange::OnCleaningPass(uint64_t now) {
    Busy busy(*this);
    if (!m_bWaitingForReply || !m_pSocket || !m_pSocket->IsOpen())
        return;
    if (ElapsedMs(m_pSocket->m_liSent, now) <= static_cast<uint64_t>(m_query.timeoutMs))
        return;
    if (m_nRetriesLeft-- < 1) {
        m_owner.OnMasterListFailed("");
        return;
    }
    Request(m_strSeed, true);
}

void CSteamMasterExchange::OnDatagram(std::span<const uint8_t> datagram) {
    Busy busy(*this);
    const SteamMasterBatch batch = DecodeSteamMasterBatch(datagram);
    if (!batch.valid)
        return;
    const size_t room = static_cast<size_t>(CMasterSocket::kMaxEntries - m_nEntriesTaken);
    const size_t taken = std::min(batch.entries.size(), room);
    m_nEntriesTaken += static_cast<int>(taken);
    std::vector<MasterEntry> fresh;
    for (size_t i = 0; i < taken; ++i)
        if (m_listed.insert(Key(batch.entries[i])).second)
            fresh.push_back(batch.entries[i]);
    if (!fresh.empty())
        m_owner.OnMasterEntries(fresh);
    if (batch.endReached) {
        m_owner.OnMasterListComplete();
        return;
    }
    if (batch.entries.empty())
        return;
    const MasterEntry& last = batch.entries.back();
    const std::string seed = FormatAddress(last.address, last.port);
    // A batch that ends on a seed sent before answers a request handled
    // already (a re-sent one's late copy), or comes from a master that does
    // not move on: the request outstanding stays as it is, and a master that
    // never moves on runs out of retries and times out like a silent one.
    if (m_seeds.count(seed))
        return;
    // Nothing new in a whole batch: the master has gone round its list again.
    const bool lapped = fresh.empty();
    const bool exhausted =
        m_nEntriesTaken >= CMasterSocket::kMaxEntries || m_nBatches >= kMaxRequests;
    if (lapped || exhausted) {
        m_owner.OnMasterListComplete();
        return;
    }
    m_nRetriesLeft = m_query.retries;
    Request(seed, false);
}

void CSteamMasterExchange::Close() {
    m_paceTimer.stop();
    m_bSendPending = false;
    m_bWaitingForReply = false;
    if (m_pSocket)
        m_pSocket->Close();
}

bool CSteamMasterExchange::IsBusy() const {
    return CMasterExchange::IsBusy() || (m_pSocket && m_pSocket->IsBusy());
}
