#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <functional>
#include <memory>

#include "net/CleaningTimer.h"
#include "net/Clock.h"
#include "net/EventWait.h"
#include "net/QueryCommands.h"
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
    // With the timing every network test uses; a Steam lab is also the Steam master and web list.
    void Start(const QStringList& arguments, int socketTimeoutMs = 400) {
        ASSERT_TRUE(StartLab(arguments)) << lab.Error().toStdString();
        settings->m_nCleanInterval = 20;
        settings->m_nSocketTimeout = socketTimeoutMs;
        settings->m_nSendInterval = 1;
        settings->m_nWONTimeout = 150;
        settings->m_nWONRetries = 3;
        if (lab.Steam()) {
            settings->m_strSteamMaster = lab.SteamMasterText().toStdString();
            settings->m_strSteamApiUrl = lab.WebUrl().toStdString();
            settings->m_strSteamApiKey = lab.WebKey().toStdString();
        }
        StartCleaning();
    }
    // Asks one server and waits until its socket is gone.
    void Query(ServerInfo* server, unsigned mask = CMD_DETAILS | CMD_PLAYERS | CMD_RULES) {
        ASSERT_TRUE(doc->RefreshServerIfIdle(server, mask));
        ASSERT_TRUE(WaitForIdleSockets());
    }
    void StartCleaning() {
        cleaning = std::make_unique<CleaningTimer>(*doc, settings->m_nCleanInterval);
    }
    // The lab's index-th server as a record of the document.
    ServerInfo* Server(int index, uint32_t groups = GROUP_WON) {
        return AddServer(lab.AddressAt(index), lab.ServerPort(), groups);
    }
    // Every lab server as a record holding one player, so that a time-out of
    // details, which empties the list, shows.
    std::vector<ServerInfo*> AllServers(uint32_t groups = GROUP_WON) {
        std::vector<ServerInfo*> list;
        for (int i = 0; i < lab.ServerCount(); ++i) {
            list.push_back(Server(i, groups));
            list.back()->SetPlayers(std::make_unique<PlayerList>(1));
            list.back()->m_pPlayers->Insert(std::make_unique<PlayerInfo>());
        }
        return list;
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
        return std::any_of(view.entries.begin(), view.entries.end(), [](const auto& e) {
            return e.hint == HINT_MASTER_PROGRESS && !e.hasObject;
        });
    }

    LabProcess lab;
    std::unique_ptr<CleaningTimer> cleaning;
};

// Names as hex, so that a failure shows their Latin-1 bytes.
inline std::string Hex(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex().toStdString();
}

// The record's details and rules are the lab server's as its manifest has them.
inline void ExpectAsManifest(const ServerInfo& server, const QJsonObject& expected) {
    const QJsonObject details = expected.value("details").toObject();
    EXPECT_EQ(Hex(server.m_strName), LabProcess::Bytes(details, "name").toHex().toStdString());
    EXPECT_EQ(std::tie(server.m_strMap, server.m_strGame),
              std::make_tuple(details.value("map").toString().toStdString(),
                              details.value("game").toString().toStdString()));
    EXPECT_EQ(std::make_tuple(int(server.m_nPlayers), int(server.m_nMaxPlayers),
                              server.m_cServerType, server.m_cOS, int(server.m_bPassword)),
              std::make_tuple(details.value("players").toInt(), details.value("maxPlayers").toInt(),
                              details.value("type").toString().toStdString()[0],
                              details.value("os").toString().toStdString()[0],
                              details.value("password").toBool() ? 1 : 0));
    const QJsonArray rules = expected.value("rules").toArray();
    ASSERT_TRUE(server.m_pRules);
    EXPECT_EQ(server.m_pRules->GetSize(), rules.size());
    for (const QJsonValue& value : rules) {
        const std::string key = value.toObject().value("key").toString().toStdString();
        const std::string* got = server.FindRule(key);
        EXPECT_EQ(got ? *got : "(missing)",
                  value.toObject().value("value").toString().toStdString()) << key;
    }
}

// The modal box as a person meets it: it stays open for a while, during
// which the event loop runs on, and it may be opened again from inside.
struct SlowBoxes {
    explicit SlowBoxes(ScriptedUI& ui, int openMs = 150) {
        ui.onMessage = [this, openMs](const std::string&) {
            deepest = std::max(deepest, ++depth);
            const uint64_t opened = NowTicks();
            WaitUntil([&] { return ElapsedMs(opened) >= uint64_t(openMs); });
            --depth;
        };
    }
    int depth = 0;
    int deepest = 0;
};
