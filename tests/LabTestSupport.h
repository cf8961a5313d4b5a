#pragma once

#include <QJsonObject>
#include <functional>
#include <memory>

#include "net/CleaningTimer.h"
#include "net/Clock.h"
#include "net/EventWait.h"
#include "net/SocketErrors.h"
#include "tests/DocTestSupport.h"
#include "tests/LabProcess.h"
#include "tests/WaitSupport.h"

// A document against a running lab, with the cleaning pass that the main
// window's timer would run.
class LabDocFixture : public DocFixture {
public:
    bool StartLab(const QStringList& arguments) {
        if (!lab.Start(arguments))
            return false;
        settings->m_strWONMaster = LabProcess::FormatIP(lab.MasterAddress()).toStdString();
        settings->m_wWONPort = lab.MasterPort();
        return true;
    }
    void StartCleaning() {
        cleaning = std::make_unique<CleaningTimer>(*doc, settings->m_nCleanInterval);
    }
    // The lab's index-th server as a record of the document.
    ServerInfo* Server(int index, uint32_t groups = GROUP_WON) {
        return AddServer(lab.AddressAt(index), lab.ServerPort(), groups);
    }
    int FindIndex(const QString& behaviour, int skip = 0) const {
        for (int i = 0; i < lab.ServerCount(); ++i)
            if (lab.ServerAt(i).value("behaviour").toString() == behaviour && skip-- == 0)
                return i;
        return -1;
    }
    bool WaitForIdleSockets(int timeoutMs = 20000) {
        return WaitUntil([this] { return doc->GetServerSocketCount() == 0; }, timeoutMs);
    }
    // Update Server List, then wait until the exchange with the master ends.
    void UpdateAndWait(int timeoutMs = 120000) {
        doc->UpdateServerList();
        ASSERT_TRUE(WaitUntil([this] { return !doc->IsUpdatingServerList(); }, timeoutMs));
    }
    // The ids the views were told of, one per request to the master.
    std::vector<uint32_t> BatchIds() const {
        std::vector<uint32_t> ids;
        for (const auto& e : view.entries)
            if (e.hint == HINT_MASTER_PROGRESS && e.hasObject)
                ids.push_back(e.data);
        return ids;
    }
    // The views were told that the master stopped answering.
    bool TimedOut() const {
        for (const auto& e : view.entries)
            if (e.hint == HINT_MASTER_PROGRESS && !e.hasObject)
                return true;
        return false;
    }

    LabProcess lab;
    std::unique_ptr<CleaningTimer> cleaning;
};
