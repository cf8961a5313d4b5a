#include "net/CMasterSocket.h"

#include "net/Clock.h"
#include "net/ISocketOwner.h"
#include "net/MasterRequest.h"
#include "net/SocketErrors.h"

bool CMasterSocket::SendListRequest(int32_t batchId) {
    BusyScope busy(*this);
    const std::vector<uint8_t> request =
        BuildMasterRequest(static_cast<uint32_t>(batchId), m_strGame, m_strMap);
    m_liSent = NowTicks();
    if (Send(request.data(), static_cast<int>(request.size())) < 0) {
        ReportLastError(m_pOwner->GetReporter(), "Error sending server list command");
        return false;
    }
    m_nBatchId = batchId;
    m_requestedIds.insert(static_cast<uint32_t>(batchId));
    return true;
}

bool CMasterSocket::Retry() {
    const int32_t left = m_nRetriesLeft--;
    if (left < 1)
        return false;
    if (m_nBatchId == -1)
        return false;
    return SendListRequest(m_nBatchId);
}
