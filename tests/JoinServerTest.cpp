#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

#include "core/RuleList.h"
#include "launch/GameCommandLine.h"
#include "launch/JoinServer.h"
#include "launch/ShellLaunch.h"
#include "net/Address.h"
#include "net/CleaningTimer.h"
#include "net/EventWait.h"
#include "net/QueryCommands.h"
#include "tests/DocTestSupport.h"
#include "tests/LabProcess.h"
#include "tests/LocaleTestSupport.h"

namespace {

constexpr uint32_t kAddress = 0x0A010203; // 10.1.2.3
constexpr uint16_t kPort = 27015;

using Answer = IUserInterface::Answer;
using Buttons = IUserInterface::Buttons;
using Icon = IUserInterface::Icon;

// The scripted user, also noting how each message box was shown.
class BoxRecordingUI : public ScriptedUI {
public:
    Answer MessageBox(const std::string& text, Buttons buttons, Icon icon) override {
        boxes.push_back({buttons, icon});
        return ScriptedUI::MessageBox(text, buttons, icon);
    }
    std::vector<std::pair<Buttons, Icon>> boxes;
};

// How the fake game was started: its working directory and arguments.
struct Launch {
    bool started = false;
    QString cwd;
    QStringList args;
};

// A document whose game executable is the lab's fake game, writing what it
// was given into a file of this test's temporary folder.
class JoinTest : public ::testing::Test {
protected:
    JoinTest()
        : settings(std::make_unique<CSettings>(dir.filePath("settings.ini").toStdString())),
          doc(std::make_unique<CScoutwireDoc>(*settings, ui)) {
        qputenv("SCOUTWIRE_FAKEGAME_OUT", OutPath().toLocal8Bit());
        settings->m_strHLPath = SCOUTWIRE_FAKEGAME_PATH;
        settings->m_strHLParams = "-console -numericping";
    }

    QString OutPath() const { return dir.filePath("fakegame-args.txt"); }

    ServerInfo* AddServer(uint32_t address = kAddress, uint16_t port = kPort) {
        ServerInfo* s = doc->AddFavourite(address, port, false);
        s->m_dwFlags = GROUP_WON;
        s->m_nPing = 40;
        s->m_strName = "Test Server";
        s->m_strGame = "cstrike";
        s->m_nPlayers = 3;
        s->m_nMaxPlayers = 16;
        return s;
    }

    static void SetReservedSlots(ServerInfo& server, const std::string& value) {
        server.ResetRules();
        server.m_pRules->Insert(std::make_unique<RuleInfo>(RuleInfo{"reserve_slots", value}));
    }

    // The game writes its file some time after startDetached has returned:
    // wait in the event loop until its last argument is in, or give up.
    Launch WaitForLaunch(int timeoutMs = 10000) {
        const QDeadlineTimer deadline(timeoutMs);
        Launch launch;
        while (!deadline.hasExpired()) {
            if (ReadLaunch(launch))
                return launch;
            WaitForEvents(20);
        }
        return launch;
    }

    // Nothing is expected to start; give a wrongly started game time to show.
    bool NothingStarted() {
        const QDeadlineTimer deadline(300);
        while (!deadline.hasExpired())
            WaitForEvents(deadline.remainingTime());
        return !QFile::exists(OutPath());
    }

    bool ReadLaunch(Launch& launch) const {
        QFile file(OutPath());
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        // Complete once "+connect" and the address, always last, are in.
        if (lines.size() < 3 || lines[lines.size() - 2] != "arg=+connect")
            return false;
        launch.started = true;
        for (const QString& line : lines) {
            if (line.startsWith("cwd="))
                launch.cwd = line.mid(4);
            else if (line.startsWith("arg="))
                launch.args << line.mid(4);
        }
        return true;
    }

    static QString GameFolder() {
        return QFileInfo(QString::fromUtf8(SCOUTWIRE_FAKEGAME_PATH)).canonicalPath();
    }

    QTemporaryDir dir;
    BoxRecordingUI ui;
    std::unique_ptr<CSettings> settings;
    std::unique_ptr<CScoutwireDoc> doc;
};

// Waits in the event loop until the condition holds or the time is up.
template <typename Condition> bool WaitUntil(Condition condition, int timeoutMs = 10000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        WaitForEvents(20);
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// The command line, without starting anything

TEST(GameCommandLine, ParameterStringPieces) {
    ServerInfo s(kAddress, kPort);
    s.m_strGame = "cstrike";
    EXPECT_EQ(GameParameterString("-console -numericping", s),
              "-console -numericping -game cstrike +connect 10.1.2.3:27015");
    s.m_bPassword = 1;
    s.m_strPassword = "pw";
    EXPECT_EQ(GameParameterString("-console -numericping", s),
              "-console -numericping -game cstrike +password pw +connect 10.1.2.3:27015");
    s.m_strPassword.clear();
    EXPECT_EQ(GameParameterString("", s), " -game cstrike +password  +connect 10.1.2.3:27015")
        << "an empty password still gives the piece";
    s.m_bPassword = 0;
    s.m_strGame = "CStrike";
    EXPECT_EQ(GameParameterString("", s), " -game cstrike +connect 10.1.2.3:27015");
    s.m_strGame.clear();
    EXPECT_EQ(GameParameterString("", s), " +connect 10.1.2.3:27015");
}

TEST(GameCommandLine, WorkingDirectoryIsTheExecutablesFolder) {
    EXPECT_EQ(GameWorkingDirectory("C:\\Sierra\\Half-Life\\hl.exe"), "C:\\Sierra\\Half-Life\\");
    EXPECT_EQ(GameWorkingDirectory("C:hl.exe"), "C:");
    EXPECT_EQ(GameWorkingDirectory("hl.exe"), "");
    EXPECT_EQ(GameWorkingDirectory(""), "");
    EXPECT_EQ(GameWorkingDirectory("/opt/hl/hl_linux"), "/opt/hl/");
    EXPECT_EQ(GameWorkingDirectory("D:\\games/hl/hl.exe"), "D:\\games/hl/")
        << "the later of '\\' and '/'";
    EXPECT_EQ(GameWorkingDirectory("/mnt/c:\\hl\\hl.exe"), "/mnt/c:\\hl\\");
}

TEST(GameCommandLine, ArgumentsKeepEveryValueInOnePiece) {
    ServerInfo s(kAddress, kPort);
    s.m_strGame = "Valve";
    const std::string password = "two words +quit";
    QStringList args;
    std::string refusal;
    ASSERT_TRUE(
        GameArguments("-console  -heapsize 64000 \"+name Big Al\"", s, &password, args, refusal));
    EXPECT_EQ(args, (QStringList{"-console", "-heapsize", "64000", "+name Big Al", "-game", "valve",
                                 "+password", "two words +quit", "+connect", "10.1.2.3:27015"}));
    EXPECT_TRUE(refusal.empty());
}

TEST(GameCommandLine, OnlyPlainFolderNamesAreGameDirectories) {
    for (const char* good : {"cstrike", "valve", "dod", "ts_1.6", "my-mod", "_test", "9x"})
        EXPECT_TRUE(IsPlainFolderName(good)) << good;
    for (const char* bad :
         {"",        ".",     "..",      "../valve", "..\\valve", "/etc", "cstrike +exec evil.cfg",
          "cs;quit", "+quit", "-dev",    "cs\"x",    "cs'x",      "a b",  "cs\ttab",
          "cs\n",    "c:",    "caf\xE9", "$HOME",    "`id`",      "cs|x", "cs&x",
          ".hidden"})
        EXPECT_FALSE(IsPlainFolderName(bad)) << bad;

    ServerInfo s(kAddress, kPort);
    s.m_strGame = "cstrike +exec evil.cfg";
    QStringList args{"left over"};
    std::string refusal;
    EXPECT_FALSE(GameArguments("-console", s, nullptr, args, refusal));
    EXPECT_TRUE(args.isEmpty());
    EXPECT_EQ(refusal, "Refusing to start Half-Life: the server's game directory \"cstrike +exec "
                       "evil.cfg\" is not a plain folder name.");
}

// ---------------------------------------------------------------------------
// Shell errors

TEST(ShellError, MessageForEachCode) {
    const std::string c = "Error starting Half-Life";
    EXPECT_EQ(ShellErrorText(2, c), "Error starting Half-Life (file not found)");
    EXPECT_EQ(ShellErrorText(3, c), "Error starting Half-Life (file not found)");
    EXPECT_EQ(ShellErrorText(5, c), "Error starting Half-Life (access denied)");
    EXPECT_EQ(ShellErrorText(26, c), "Error starting Half-Life (sharing violation)");
    EXPECT_EQ(ShellErrorText(31, c),
              "Error starting Half-Life (no application associated with this extension)");
    EXPECT_EQ(ShellErrorText(0, c), "Error starting Half-Life (error code 0)");
    EXPECT_EQ(ShellErrorText(8, c), "Error starting Half-Life (error code 8)");
    EXPECT_EQ(ShellErrorText(2, ""), "Cannot execute (file not found)");

    BoxRecordingUI ui;
    ReportShellError(ui, 5);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Cannot execute (access denied)");
    EXPECT_EQ(ui.boxes[0], std::make_pair(Buttons::Ok, Icon::Error));
}

// Real failed starts, read as the codes above, for a user whose system
// speaks German: the reason never depends on the system's wording.
TEST(ShellError, FailedStartsGiveTheirCodesInAnyLanguage) {
    GermanLocale german;
    if (!german.Available())
        GTEST_SKIP() << GermanLocale::kMissing;
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain.txt");
    const QString garbage = dir.filePath("garbage.exe");
    for (const QString& path : {plain, garbage}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("MZ\0\0 not a program", 19);
    }
    QFile::setPermissions(garbage, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString game = QString::fromUtf8(SCOUTWIRE_FAKEGAME_PATH);

    EXPECT_EQ(StartProgram(dir.filePath("missing/hl"), {}, {}), std::optional<int>(2));
    EXPECT_EQ(StartProgram(plain + "/hl", {}, {}), std::optional<int>(3)) << "a file as folder";
    EXPECT_EQ(StartProgram("no-such-program-anywhere", {}, {}), std::optional<int>(2));
    EXPECT_EQ(StartProgram(plain, {}, {}), std::optional<int>(5)) << "not executable";
    EXPECT_EQ(StartProgram(dir.path(), {}, {}), std::optional<int>(5)) << "a folder";
    EXPECT_EQ(StartProgram(garbage, {}, {}), std::optional<int>(31)) << "not a program here";
    EXPECT_EQ(StartProgram(game, {}, dir.filePath("no/such/folder")), std::optional<int>(3));
    EXPECT_EQ(StartProgram(game, {}, plain), std::optional<int>(3)) << "a file as folder";
}

// ---------------------------------------------------------------------------
// Starting the game

TEST_F(JoinTest, JoinsARealLabServer) {
    LabProcess lab;
    // A little latency: a reply within the same millisecond would read as no
    // answer at all (ping 0).
    ASSERT_TRUE(lab.Start({"--servers", "4", "--latency", "3-3"})) << lab.Error().toStdString();
    // Server 1 always has room.
    const QJsonObject details = lab.ServerAt(1).value("details").toObject();
    ServerInfo* s = doc->AddFavourite(lab.AddressAt(1), lab.ServerPort(), true);
    ASSERT_TRUE(doc->RefreshServer(*s, CMD_DETAILS | CMD_PLAYERS | CMD_RULES));
    ASSERT_TRUE(WaitUntil([&] { return s->m_nPing != 0 && s->m_pRules; }));
    ASSERT_EQ(s->m_strGame, details.value("game").toString().toStdString());
    ui.onPassword = [](std::string& pw) {
        pw = "secret";
        return true;
    };

    doc->JoinServer(s);

    const Launch launch = WaitForLaunch();
    ASSERT_TRUE(launch.started);
    QStringList expected{"-console", "-numericping", "-game",
                         details.value("game").toString().toLower()};
    if (details.value("password").toBool())
        expected << "+password"
                 << "secret";
    expected << "+connect" << lab.EndpointAt(1);
    EXPECT_EQ(launch.args, expected);
    EXPECT_EQ(QDir(launch.cwd).canonicalPath(), GameFolder());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(JoinTest, PasswordIsAskedKeptAndPassedAsOneArgument) {
    ServerInfo* s = AddServer();
    s->m_bPassword = 1;
    s->m_strPassword = "old";
    doc->SetModifiedFlag(false);
    std::string offered;
    ui.onPassword = [&](std::string& pw) {
        offered = pw;
        pw = "new pass";
        return true;
    };
    doc->JoinServer(s);
    const Launch launch = WaitForLaunch();
    EXPECT_EQ(offered, "old");
    EXPECT_EQ(s->m_strPassword, "new pass");
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(launch.args, (QStringList{"-console", "-numericping", "-game", "cstrike", "+password",
                                        "new pass", "+connect", "10.1.2.3:27015"}));
}

TEST_F(JoinTest, EmptyGameAndParametersLeaveOnlyTheConnect) {
    ServerInfo* s = AddServer();
    s->m_strGame.clear();
    settings->m_strHLParams.clear();
    doc->JoinServer(s);
    const Launch launch = WaitForLaunch();
    EXPECT_EQ(launch.args, (QStringList{"+connect", "10.1.2.3:27015"}));
    EXPECT_EQ(QDir(launch.cwd).canonicalPath(), GameFolder());
}

TEST_F(JoinTest, GameDirectoryInCapitalsIsWrittenInLowerCase) {
    ServerInfo* s = AddServer();
    s->m_strGame = "CStrike";
    doc->JoinServer(s);
    EXPECT_EQ(WaitForLaunch().args, (QStringList{"-console", "-numericping", "-game", "cstrike",
                                                 "+connect", "10.1.2.3:27015"}));
}

TEST_F(JoinTest, HostileGameDirectoryIsRefused) {
    ServerInfo* s = AddServer();
    for (const char* game : {"cstrike +exec evil.cfg", "..", "valve;quit"}) {
        s->m_strGame = game;
        ui.messages.clear();
        doc->JoinServer(s);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0], std::string("Refusing to start Half-Life: the server's game "
                                              "directory \"") +
                                      game + "\" is not a plain folder name.");
    }
    EXPECT_TRUE(NothingStarted());
}

TEST_F(JoinTest, MissingGameIsReported) {
    settings->m_strHLPath = dir.filePath("Half-Life/hl_linux").toStdString();
    doc->JoinServer(AddServer());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Error starting Half-Life (file not found)");
    EXPECT_EQ(ui.boxes[0].second, Icon::Error);
}

TEST_F(JoinTest, NoGameConfiguredDoesNothing) {
    settings->m_strHLPath.clear();
    ServerInfo* s = AddServer();
    s->m_nPing = 0;
    doc->JoinServer(s);
    EXPECT_TRUE(ui.messages.empty());
}

// ---------------------------------------------------------------------------
// The questions

TEST_F(JoinTest, SilentServerAsksFirst) {
    ServerInfo* s = AddServer();
    s->m_nPing = 0;
    ui.answers = {Answer::Cancel};
    doc->JoinServer(s);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Server seems down. Try to connect anyway?");
    EXPECT_EQ(ui.boxes[0], std::make_pair(Buttons::OkCancel, Icon::Warning));
    EXPECT_TRUE(NothingStarted());

    ui.answers = {Answer::Ok};
    doc->JoinServer(s);
    EXPECT_TRUE(WaitForLaunch().started);
}

TEST_F(JoinTest, ReservedSlotsMakeAServerFull) {
    ServerInfo* s = AddServer();
    s->m_nPlayers = 12;
    SetReservedSlots(*s, "4");
    ui.answers = {Answer::Cancel};
    doc->JoinServer(s);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0],
              "Server seems full, unless you can take a reserved slot. Wait for a free spot?");
    EXPECT_EQ(ui.boxes[0], std::make_pair(Buttons::YesNoCancel, Icon::Question));
    EXPECT_TRUE(NothingStarted());

    // No joins at once, without waiting.
    ui.messages.clear();
    ui.answers = {Answer::No};
    doc->JoinServer(s);
    EXPECT_TRUE(WaitForLaunch().started);
    EXPECT_EQ(ui.progressDialogs, 0);
}

TEST_F(JoinTest, FullnessWithoutReservedSlots) {
    ServerInfo* s = AddServer();
    s->m_nPlayers = 16;
    SetReservedSlots(*s, "abc"); // no number: no reserved slot
    ui.answers = {Answer::Cancel};
    doc->JoinServer(s);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Server seems full. Wait for a free spot?");

    // One short of the limit is not full; a server that never answered its
    // details has no limit at all.
    ui.messages.clear();
    s->m_nPlayers = 11;
    SetReservedSlots(*s, "4.9");
    doc->JoinServer(s);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(WaitForLaunch().started);
    QFile::remove(OutPath());
    s->m_nPlayers = 5;
    s->m_nMaxPlayers = 0;
    doc->JoinServer(s);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(WaitForLaunch().started);
}

// The server's flags change while the user waits for a free place (its
// replies arrive meanwhile): the launch keeps what was decided when asked.
TEST_F(JoinTest, PasswordDecidedWhenAskedSurvivesTheWait) {
    // A loopback address nobody answers on: the polls go nowhere.
    ServerInfo* s = AddServer(0x7F0000FE);
    for (const bool flagWhenAsked : {true, false}) {
        QFile::remove(OutPath());
        s->m_nPing = 40; // the polls of the first round left it at 0
        s->m_nPlayers = 16;
        s->m_bPassword = flagWhenAsked;
        s->m_strPassword = "stored";
        ui.onPassword = [](std::string& pw) {
            pw = "typed";
            return true;
        };
        ui.answers = {Answer::Yes};
        ui.cancelAt = [&](int n) {
            if (n == 2) {
                s->m_bPassword = !flagWhenAsked;
                s->m_nPlayers = 3;
            }
            return false;
        };
        doc->JoinServer(s);
        const QStringList args = WaitForLaunch().args;
        EXPECT_EQ(args.contains("+password"), flagWhenAsked) << flagWhenAsked;
        EXPECT_EQ(args.contains("typed"), flagWhenAsked) << "a typed password is not dropped";
        EXPECT_FALSE(args.contains("stored")) << "nor a stored one sent unasked";
    }
}

TEST_F(JoinTest, GameDirectoryIsCheckedBeforeAndAfterTheWait) {
    const std::string refusal = "Refusing to start Half-Life: the server's game directory \"..\" "
                                "is not a plain folder name.";
    ServerInfo* s = AddServer(0x7F0000FE);
    s->m_nPlayers = 16;
    s->m_strGame = "..";
    ui.answers = {Answer::Yes};
    ui.cancelAt = [](int n) { return n > 3; };
    doc->JoinServer(s);
    EXPECT_EQ(ui.progressDialogs, 0) << "refused before the user waits";
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back(), refusal);

    // Plain when asked, hostile once the wait ends.
    s->m_strGame = "cstrike";
    ui.messages.clear();
    ui.answers = {Answer::Yes};
    ui.cancelAt = [&](int n) {
        if (n == 2) {
            s->m_strGame = "..";
            s->m_nPlayers = 3;
        }
        return n > 3;
    };
    doc->JoinServer(s);
    EXPECT_EQ(ui.progressDialogs, 1);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back(), refusal);
    EXPECT_TRUE(NothingStarted());
}

TEST_F(JoinTest, CancelledPasswordKeepsTheOldOne) {
    ServerInfo* s = AddServer();
    s->m_bPassword = 1;
    s->m_strPassword = "kept";
    ui.onPassword = [](std::string& pw) {
        pw = "typed";
        return false;
    };
    doc->JoinServer(s);
    EXPECT_EQ(s->m_strPassword, "kept");
    EXPECT_TRUE(NothingStarted());
}

// ---------------------------------------------------------------------------
// Waiting for a free place on a lab server that loses its players

class JoinWaitTest : public JoinTest {
protected:
    // One draining server, queried for real so that the record is as the
    // list would show it: full, with its rules.
    ServerInfo* StartFullServer(int drainIntervalMs) {
        if (!lab.Start({"--servers", "1", "--draining", "1", "--drain-interval",
                        QString::number(drainIntervalMs), "--latency", "3-3"}))
            return nullptr;
        // Polling never runs faster than once a second, whatever the time-out.
        settings->m_nSocketTimeout = 1000;
        cleaning = std::make_unique<CleaningTimer>(*doc, 50);
        ServerInfo* s = doc->AddFavourite(lab.AddressAt(0), lab.ServerPort(), false);
        s->m_dwFlags = GROUP_WON;
        if (!doc->RefreshServer(*s, CMD_DETAILS | CMD_PLAYERS | CMD_RULES) ||
            !WaitUntil([&] { return s->m_nPing != 0 && s->m_pRules; }))
            return nullptr;
        return s;
    }

    static int Reserved(const ServerInfo& s) { return std::max(s.GetReservedSlots(), 0); }

    LabProcess lab;
    std::unique_ptr<CleaningTimer> cleaning;
};

TEST_F(JoinWaitTest, WaitEndsWhenAPlaceIsFree) {
    ServerInfo* s = StartFullServer(700);
    ASSERT_TRUE(s) << lab.Error().toStdString();
    const int reserved = Reserved(*s);
    ASSERT_GE(s->m_nPlayers, s->m_nMaxPlayers - reserved) << "the first answer shows it full";
    int checks = 0;
    ui.cancelAt = [&](int n) {
        checks = n;
        return false;
    };
    ui.answers = {Answer::Yes};

    doc->JoinServer(s);

    EXPECT_TRUE(WaitForLaunch().started);
    EXPECT_LT(s->m_nPlayers, s->m_nMaxPlayers - reserved);
    EXPECT_EQ(ui.progressDialogs, 1);
    ASSERT_FALSE(ui.progressTexts.empty());
    EXPECT_EQ(ui.progressTexts[0], "Waiting for free spot on server " + s->m_strName + "...");
    EXPECT_GT(checks, 1) << "it polled until the count dropped";
}

TEST_F(JoinWaitTest, CancelEndsTheWait) {
    ServerInfo* s = StartFullServer(600000);
    ASSERT_TRUE(s) << lab.Error().toStdString();
    ui.cancelAt = [](int n) { return n == 5; };
    ui.answers = {Answer::Yes};
    doc->JoinServer(s);
    EXPECT_EQ(ui.progressDialogs, 1);
    EXPECT_TRUE(NothingStarted());
}

TEST_F(JoinWaitTest, ServerListClearedWhileWaiting) {
    ServerInfo* s = StartFullServer(600000);
    ASSERT_TRUE(s) << lab.Error().toStdString();
    // The record goes away inside the waiting loop; the join must notice
    // instead of reading it.
    int checks = 0;
    ui.cancelAt = [&](int n) {
        checks = n;
        if (n == 3)
            doc->ClearServerList();
        return n > 50;
    };
    ui.answers = {Answer::Yes};
    doc->JoinServer(s);
    EXPECT_EQ(doc->GetServerList().GetSize(), 0);
    EXPECT_EQ(checks, 3) << "the wait ends with the record, not at Cancel";
    EXPECT_TRUE(NothingStarted());
}
