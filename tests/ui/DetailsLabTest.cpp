#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include "core/DisplayText.h"
#include "tests/LabProcess.h"
#include "tests/WaitSupport.h"
#include "tests/ui/DetailsViewFixture.h"
#include "ui/CommandIds.h"

// The panes over servers that really answer: the lab's fleet on loopback,
// refreshed through the document's engine, with the frame's cleaning timer.
class DetailsLabTest : public DetailsViewTest {
protected:
    void StartLab(const QStringList& arguments) {
        ASSERT_TRUE(lab.Start(arguments)) << lab.Error().toStdString();
        for (int i = 0; i < lab.ServerCount(); ++i)
            f.AddServer(lab.AddressAt(i), lab.ServerPort(), GROUP_WON);
        f.settings->m_nCleanInterval = 100;
        f.settings->m_nSocketTimeout = 1000;
        f.settings->m_nSendInterval = 5;
        QObject::connect(&cleaner, &QTimer::timeout, [this] { f.doc->CleanSockets(); });
        cleaner.start(f.settings->m_nCleanInterval);
    }
    ServerInfo* LabServer(int index) const {
        return f.doc->FindServer(lab.AddressAt(index), lab.ServerPort());
    }
    int RowOf(CDetailsView* view, const ServerInfo* server) const {
        const QString address = QString::fromStdString(
            std::to_string(server->m_dwAddress >> 24) + "." +
            std::to_string((server->m_dwAddress >> 16) & 0xFF) + "." +
            std::to_string((server->m_dwAddress >> 8) & 0xFF) + "." +
            std::to_string(server->m_dwAddress & 0xFF) + ":" + std::to_string(server->m_wPort));
        return static_cast<int>(Column(view, 6).indexOf(address));
    }

    LabProcess lab;
    QTimer cleaner;
};

TEST_F(DetailsLabTest, RefreshOfTheWholeListThenPingOrder) {
    // Loopback answers within a millisecond, and a ping of 0 means none:
    // the lab waits a little before it answers.
    StartLab({"--servers", "12", "--silent", "0.25", "--latency", "3-8"});
    ShowGroup(GROUP_WON);
    ASSERT_EQ(Rows(top), 12);
    f.view.entries.clear();
    top->OnCommand(ID_REFRESH); // nothing selected: every listed server
    EXPECT_EQ(f.ui.progressDialogs, 1);
    ASSERT_EQ(f.view.Count(HINT_GROUPS_CHANGED), 1);
    for (const auto& e : f.view.entries) {
        if (e.hint == HINT_GROUPS_CHANGED) {
            EXPECT_EQ(e.data, GROUP_FILTERED);
        }
    }
    EXPECT_EQ(f.view.Hints().back(), HINT_QUERY_UPDATED) << "the queries run last";

    int silent = 0;
    QStringList names;
    for (int i = 0; i < lab.ServerCount(); ++i) {
        const QJsonObject server = lab.ServerAt(i);
        silent += server["behaviour"].toString() == "silent";
        if (server["behaviour"].toString() != "silent")
            names << DisplayText(
                LabProcess::Bytes(server["details"].toObject(), "name").toStdString());
    }
    ASSERT_GT(silent, 0);
    ClickHeader(top, 5);
    const QStringList pings = Column(top, 5);
    for (int r = 0; r < Rows(top); ++r)
        EXPECT_EQ(pings[r] == "-", r >= Rows(top) - silent) << "row " << r;
    for (const QString& name : names)
        EXPECT_TRUE(Column(top, 0).contains(name)) << name.toStdString();
    ClickHeader(top, 5);
    EXPECT_EQ(Column(top, 5).mid(0, silent), QStringList(silent, "-"));
}

TEST_F(DetailsLabTest, SelectedServerIsAskedAgainAndShownInTheStatusLine) {
    StartLab({"--servers", "6"});
    int busiest = 0;
    for (int i = 1; i < lab.ServerCount(); ++i)
        if (lab.ServerAt(i)["players"].toArray().size() >
            lab.ServerAt(busiest)["players"].toArray().size())
            busiest = i;
    const int players = static_cast<int>(lab.ServerAt(busiest)["players"].toArray().size());
    ASSERT_GT(players, 0);
    ServerInfo* server = LabServer(busiest);
    ShowGroup(GROUP_WON);
    const int row = RowOf(top, server);
    ASSERT_GE(row, 0);

    SelectRows(top, {row});
    EXPECT_EQ(frame.LastStatusLine(), "Retrieving...");
    EXPECT_EQ(bottom->GetMode(), LIST_PLAYERS);
    ASSERT_TRUE(WaitUntil([&] { return Rows(bottom) == players; }));
    ASSERT_TRUE(WaitUntil([&] { return server->m_pRules != nullptr; }));
    EXPECT_EQ(frame.LastMessage(), QStringLiteral("%1 player(s) on server").arg(players));
    const QJsonObject details = lab.ServerAt(busiest)["details"].toObject();
    const QString start = lab.EndpointAt(busiest) + "  " + details["game"].toString() + "->" +
                          details["map"].toString() + "  [";
    EXPECT_TRUE(frame.LastStatusLine().startsWith(start)) << frame.LastStatusLine().toStdString();
    EXPECT_TRUE(frame.LastStatusLine().contains(
        DisplayText(LabProcess::Bytes(details, "name").toStdString())));

    // A vote message in sv_contact is cut at its tab.
    for (int i = 0; i < lab.ServerCount(); ++i)
        for (const QJsonValue rule : lab.ServerAt(i)["rules"].toArray())
            if (rule["key"].toString() == "sv_contact" &&
                rule["value"].toString().startsWith("votes:", Qt::CaseInsensitive)) {
                ServerInfo* voter = LabServer(i);
                SelectRows(top, {RowOf(top, voter)});
                ASSERT_TRUE(WaitUntil(
                    [&] { return voter->m_pRules && frame.LastStatusLine().contains("(votes:"); }));
                EXPECT_FALSE(frame.LastStatusLine().contains('\t'));
                EXPECT_TRUE(frame.LastStatusLine().contains(
                    "(" + rule["value"].toString().section('\t', 0, 0) + ")"));
            }
}

TEST_F(DetailsLabTest, PlayerQueryFromTheListAndItsResults) {
    StartLab({"--servers", "8"});
    ShowGroup(GROUP_WON);
    top->OnCommand(ID_REFRESH);
    int withPlayers = -1;
    for (int i = 0; i < lab.ServerCount() && withPlayers < 0; ++i)
        if (!lab.ServerAt(i)["players"].toArray().isEmpty())
            withPlayers = i;
    ASSERT_GE(withPlayers, 0);
    SelectRows(top, {RowOf(top, LabServer(withPlayers))});
    ASSERT_GT(Rows(bottom), 0);

    SelectRows(bottom, {0});
    const std::string name = Model(bottom)->index(0, 0).data().toString().toStdString();
    bottom->OnCommand(ID_ADD_PLAYER_QUERY);
    ASSERT_EQ(f.doc->GetQueries().size(), 1u);
    SearchQuery* query = f.doc->GetQueries().front().get();
    EXPECT_EQ(DisplayText(query->m_strName).toStdString(), name);

    SelectTree(ITEM_GROUP | ITEM_QUERY);
    EXPECT_EQ(Rows(top), 1);
    EXPECT_EQ(frame.LastMessage(), "1 query");
    SelectRows(top, {0});
    ASSERT_EQ(bottom->GetMode(), LIST_RESULTS);
    EXPECT_EQ(Rows(bottom), static_cast<int>(query->m_players.size()));
    EXPECT_EQ(frame.LastMessage(), QStringLiteral("%1 player(s) found on %2 server(s)")
                                       .arg(query->m_players.size())
                                       .arg(query->m_servers.size()));

    SelectTree(ITEM_QUERY, query);
    ASSERT_EQ(top->GetMode(), LIST_RESULTS);
    SelectRows(top, {0});
    ASSERT_EQ(bottom->GetMode(), LIST_PLAYERS);
    Focus(top, 0);
    EXPECT_EQ(top->GetCurrentServer(), query->m_players.front()->m_pServer);
    int edits = 0;
    f.ui.onEditQuery = [&](Query& edited) {
        EXPECT_EQ(&edited, query);
        ++edits;
        return false;
    };
    f.ui.onServerProperties = [&](ServerInfo&) {
        ADD_FAILURE() << "the focused row's server is not used";
        return false;
    };
    top->OnCommand(ID_PROPERTIES);
    EXPECT_EQ(edits, 1);
}
