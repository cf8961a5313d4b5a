#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include "core/DisplayText.h"
#include "net/Address.h"
#include "tests/LabProcess.h"
#include "tests/WaitSupport.h"
#include "tests/ui/DetailsViewFixture.h"
#include "ui/CommandIds.h"

// The panes over servers that really answer: the lab's fleet on loopback,
// refreshed through the document's engine, with the frame's cleaning timer.
TEST_F(DetailsViewTest, OverTheLabRefreshSortSelectAndQueryPlayers) {
    LabProcess lab;
    // Loopback answers within a millisecond, and a ping of 0 means none:
    // the lab waits a little before it answers.
    ASSERT_TRUE(lab.Start({"--servers", "12", "--silent", "0.25", "--latency", "3-8"}))
        << lab.Error().toStdString();
    for (int i = 0; i < lab.ServerCount(); ++i)
        f.AddServer(lab.AddressAt(i), lab.ServerPort(), GROUP_WON);
    f.settings->m_nCleanInterval = 100;
    f.settings->m_nSocketTimeout = 1000;
    f.settings->m_nSendInterval = 5;
    QTimer cleaner;
    QObject::connect(&cleaner, &QTimer::timeout, [this] { f.doc->CleanSockets(); });
    cleaner.start(100);
    const auto rowOf = [&](int index) {
        return static_cast<int>(Column(top, 6).indexOf(QString::fromStdString(
            FormatAddress(lab.AddressAt(index), lab.ServerPort()))));
    };
    ShowGroup(GROUP_WON);
    top->OnCommand(ID_REFRESH); // nothing selected: every listed server
    EXPECT_EQ(f.ui.progressDialogs, 1);
    EXPECT_EQ(f.view.Hints().back(), HINT_QUERY_UPDATED) << "the queries run last";
    int silent = 0;
    int busiest = -1;
    for (int i = 0; i < lab.ServerCount(); ++i) {
        const QJsonObject server = lab.ServerAt(i);
        silent += server["behaviour"].toString() == "silent";
        if (server["behaviour"].toString() != "silent" &&
            (busiest < 0 || server["players"].toArray().size() >
                                lab.ServerAt(busiest)["players"].toArray().size()))
            busiest = i;
    }
    ASSERT_GT(silent, 0);
    EXPECT_EQ(Column(top, 5).count("-"), silent) << "the silent servers have no ping";

    // The selected server is asked again; its players and the summary follow.
    const int players = static_cast<int>(lab.ServerAt(busiest)["players"].toArray().size());
    ASSERT_GT(players, 0);
    SelectRows(top, {rowOf(busiest)});
    ASSERT_TRUE(WaitUntil([&] { return Rows(bottom) == players; }));
    const ServerInfo* server = f.doc->FindServer(lab.AddressAt(busiest), lab.ServerPort());
    ASSERT_TRUE(WaitUntil([&] { return server->m_pRules != nullptr; }));
    EXPECT_EQ(frame.LastMessage(), QStringLiteral("%1 player(s) on server").arg(players));
    const QJsonObject details = lab.ServerAt(busiest)["details"].toObject();
    EXPECT_TRUE(frame.LastStatusLine().startsWith(lab.EndpointAt(busiest) + "  " +
                                                  details["game"].toString() + "->" +
                                                  details["map"].toString() + "  ["))
        << frame.LastStatusLine().toStdString();
    EXPECT_TRUE(frame.LastStatusLine().contains(
        DisplayText(LabProcess::Bytes(details, "name").toStdString())));

    // A player query made from the players list finds the player.
    SelectRows(bottom, {0});
    const QString name = Cell(bottom, 0, 0);
    bottom->OnCommand(ID_ADD_PLAYER_QUERY);
    ASSERT_EQ(f.doc->GetQueries().size(), 1u);
    EXPECT_EQ(DisplayText(f.doc->GetQueries().front()->m_strName), name);
    EXPECT_FALSE(f.doc->GetQueries().front()->m_players.empty());
}
