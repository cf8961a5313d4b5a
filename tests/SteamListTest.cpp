// Steam's two list sources against the Steam lab: the master server over UDP
// (pacing, the filter; the hostile masters' table has the rest) and the web
// service over HTTP (records filled at once, and every failure a message).

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <set>
#include <tuple>

#include "core/TextCompare.h"
#include "net/CSteamMasterExchange.h"
#include "net/IMasterListOwner.h"
#include "net/ReplyDecoder.h"
#include "tests/LabTestSupport.h"

namespace {

class SteamListTest : public ::testing::Test, public LabDocFixture {
protected:
    void StartSteam(const QStringList& args, int32_t source) {
        Start(QStringList{"--protocol", "steam"} + args, 500);
        settings->m_nListSource = source;
        settings->m_dwFlags = OPT_CLEAR_BEFORE_UPDATE;
    }
    std::set<int> ListedIndices() const {
        std::set<int> listed;
        for (const auto& s : doc->GetServerList())
            listed.insert(static_cast<int>(s->m_dwAddress - lab.BaseAddress()));
        return listed;
    }
    std::string Text(int index, const char* key) const {
        return LabProcess::Bytes(lab.ServerAt(index).value("details").toObject(), key)
            .toStdString();
    }
};

} // namespace

// The exchange on its own, with an owner that only writes down what it hears.
TEST_F(SteamListTest, PacedRequestsNeverCrowdTheirWindow) {
    // The master answers 4 requests in 400 ms, then nothing until that window
    // ends (Steam's: a minute); the exchange, paced a little under it, gives
    // up at the first silence.
    StartSteam({"--servers", "60", "--seed", "66", "--batch-size", "6", "--steam-master-limit", "4",
           "--steam-master-window", "400"},
          LIST_SOURCE_STEAM_MASTER);
    struct Owner : IMasterListOwner {
        void OnMasterRequestSent(uint32_t) override { ++sent; }
        void OnMasterEntries(std::span<const MasterEntry> e) override {
            for (const MasterEntry& entry : e)
                listed.insert(entry.address);
        }
        void OnMasterServers(std::span<const SteamWebServer>) override {}
        void OnMasterListComplete() override { ended = true; }
        void OnMasterListFailed(const std::string&) override { ended = failed = true; }
        void OnMasterOtherReply(uint8_t, std::span<const uint8_t>, uint32_t, uint16_t,
                                bool*) override {}
        void OnMasterSocketError(const std::string&) override { ended = failed = true; }
        size_t sent = 0;
        std::set<uint32_t> listed;
        bool ended = false, failed = false;
    } owner;
    MasterListQuery query;
    query.host = LabProcess::FormatIP(lab.MasterAddress()).toStdString();
    query.port = lab.SteamMasterPort();
    query.timeoutMs = 150;
    query.retries = 0;
    CSteamMasterExchange exchange(owner, query);
    constexpr int kWindowMs = 450;
    exchange.SetPacing(4, kWindowMs);
    QTimer cleaning;
    QObject::connect(&cleaning, &QTimer::timeout, [&] { exchange.OnCleaningPass(NowTicks()); });
    cleaning.start(20);
    exchange.Start();
    ASSERT_TRUE(WaitUntil([&] { return owner.ended; }, 30000));
    exchange.Close();
    EXPECT_FALSE(owner.failed);
    EXPECT_EQ(owner.listed.size(), 60u);
    // A request that crowded the window would meet the silence: every batch
    // came, so none did.
    EXPECT_GE(owner.sent, 10u);
}

TEST_F(SteamListTest, FilterKeysReachBothSteamSources) {
    StartSteam({"--servers", "150", "--seed", "63"}, LIST_SOURCE_STEAM_MASTER);
    const QJsonObject first = lab.ServerAt(0).value("details").toObject();
    const int firstAppId = lab.ServerAt(0).value("a2s").toObject().value("appId").toInt();
    const auto same = [](const QJsonObject& d, const QJsonObject& other, const char* key) {
        return d.value(key).toString().compare(other.value(key).toString(), Qt::CaseInsensitive) == 0;
    };
    struct Case {
        const char* name;
        uint32_t flags;
        int32_t appId;
        std::function<bool(const QJsonObject& details, int appId)> expect;
    };
    const Case cases[] = {
        {"game", FILTER_GAME, -1, [&](const QJsonObject& d, int) { return same(d, first, "game"); }},
        {"whole map", FILTER_MAP, -1, [&](const QJsonObject& d, int) { return same(d, first, "map"); }},
        {"app id", 0, firstAppId, [&](const QJsonObject&, int appId) { return appId == firstAppId; }},
        {"dedicated Linux without password", FILTER_TYPE | FILTER_OS | FILTER_PASSWORD, -1,
         [](const QJsonObject& d, int) {
             return d.value("type") == "d" && d.value("os") == "l" && !d.value("password").toBool();
         }},
    };
    for (const int32_t source : {LIST_SOURCE_STEAM_MASTER, LIST_SOURCE_STEAM_WEB}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (source == LIST_SOURCE_STEAM_WEB ? " (web)" : ""));
            settings->m_nListSource = source;
            settings->m_nSteamAppId = c.appId;
            settings->m_dwFlags = OPT_CLEAR_BEFORE_UPDATE | OPT_SHOW_UPDATE_DIALOG;
            ui.onMasterFilter = [&](ServerFilter& f) {
                f = ServerFilter();
                f.m_dwFlags = c.flags;
                f.m_strGame = first.value("game").toString().toUpper().toStdString();
                f.m_strMap = first.value("map").toString().toStdString();
                f.m_strServerType = "Dedicated";
                f.m_strOS = "Linux";
                return true;
            };
            UpdateAndWait();
            std::set<int> expected;
            for (int i = 0; i < lab.ServerCount(); ++i)
                if (c.expect(lab.ServerAt(i).value("details").toObject(),
                             lab.ServerAt(i).value("a2s").toObject().value("appId").toInt()))
                    expected.insert(i);
            ASSERT_FALSE(expected.empty());
            ASSERT_LT(expected.size(), static_cast<size_t>(lab.ServerCount()));
            EXPECT_EQ(ListedIndices(), expected);
        }
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SteamListTest, WebListFillsTheRecordsAtOnce) {
    StartSteam({"--servers", "200", "--seed", "64"}, LIST_SOURCE_STEAM_WEB);
    settings->m_nSteamListLimit = 150;
    UpdateAndWait();
    EXPECT_FALSE(TimedOut());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(doc->GetServerList().GetSize(), 150) << "no more than the limit asks for";
    settings->m_nSteamListLimit = 50000;
    UpdateAndWait();
    ASSERT_EQ(doc->GetServerList().GetSize(), 200);
    for (int i = 0; i < lab.ServerCount(); ++i) {
        SCOPED_TRACE(i);
        const ServerInfo* s = doc->FindServer(lab.AddressAt(i), lab.ServerPort());
        ASSERT_TRUE(s);
        const QJsonObject d = lab.ServerAt(i).value("details").toObject();
        EXPECT_EQ(std::tie(s->m_strName, s->m_strMap, s->m_strGame),
                  std::make_tuple(Text(i, "name"), Text(i, "map"), Text(i, "game")));
        EXPECT_EQ(std::make_tuple(int(s->m_nPlayers), int(s->m_nMaxPlayers), s->m_cServerType, s->m_cOS),
                  std::make_tuple(d.value("players").toInt(), d.value("maxPlayers").toInt(),
                                  char(d.value("type").toString()[0].toLatin1()),
                                  char(d.value("os").toString()[0].toLatin1())));
        EXPECT_EQ(std::make_pair(s->m_dwFlags & ~GROUP_FILTERED, s->m_nProtocol),
                  std::make_pair(GROUP_STEAM, PROTOCOL_A2S));
        EXPECT_EQ(s->m_nPing, 0u) << "listed, not refreshed";
    }
}

namespace {

// A web service that accepts connections and then either says nothing at
// all or answers with a page that is not a server list.
class FakeWebService {
public:
    explicit FakeWebService(QByteArray answer) : m_answer(std::move(answer)) {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                if (m_answer.isEmpty())
                    continue; // kept open, silent
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] {
                    if (socket->readAll().contains("\r\n\r\n"))
                        socket->write(m_answer);
                });
            }
        });
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_server.serverPort()); }

private:
    QByteArray m_answer;
    QTcpServer m_server;
};

} // namespace

TEST_F(SteamListTest, WebServiceFailuresAreMessagesNeverHangs) {
    StartSteam({"--servers", "20", "--seed", "65"}, LIST_SOURCE_STEAM_WEB);
    settings->m_dwFlags = 0; // the list is not cleared: nothing may change
    Server(3, GROUP_STEAM);
    const std::string page = "<html>Service Unavailable</html>";
    FakeWebService silent("");
    FakeWebService notAList(QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                                       "Content-Length: ") +
                            QByteArray::number(static_cast<int>(page.size())) + "\r\n\r\n" +
                            QByteArray::fromStdString(page));
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const std::string nobody = "http://127.0.0.1:" + std::to_string(closed.serverPort());
    closed.close();
    struct Case {
        const char* name;
        std::string url;
        std::string key;
        std::string message; // a part of it
        bool sent;
    };
    const std::string labUrl = lab.WebUrl().toStdString();
    const Case cases[] = {
        {"no key", labUrl, "", "Enter your Steam web API key in Options.", false},
        {"wrong key", labUrl, "not-the-lab-key", "refused the web API key (HTTP 403)", true},
        {"nobody listening", nobody, "secret-key-42",
         "Cannot reach the Steam web service at " + nobody, true},
        {"silent service", silent.Url(), "secret-key-42", "did not answer within 1 second.", true},
        {"not a list", notAList.Url(), "secret-key-42", "is not a server list", true},
        {"not an address", "ftp//nowhere", "secret-key-42", "address is not valid", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        view.entries.clear();
        settings->m_strSteamApiUrl = c.url;
        settings->m_strSteamApiKey = c.key;
        UpdateAndWait();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].find(c.message), std::string::npos) << ui.messages[0];
        if (!c.key.empty()) {
            EXPECT_EQ(ui.messages[0].find(c.key), std::string::npos) << "the key is not shown";
        }
        EXPECT_EQ(TimedOut(), c.sent) << "the views hear that the update is over";
        EXPECT_EQ(doc->GetServerList().GetSize(), 1);
        EXPECT_EQ(doc->GetActiveSocketCount(), 0);
    }
}
