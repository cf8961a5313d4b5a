#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/RuleList.h"
#include "launch/GameCommandLine.h"
#include "launch/JoinServer.h"
#include "launch/ShellLaunch.h"
#include "net/QueryCommands.h"
#include "tests/LabTestSupport.h"
#include "tests/LocaleTestSupport.h"

namespace {

constexpr uint32_t kAddress = 0x0A010203; // 10.1.2.3
constexpr uint16_t kPort = 27015;
const std::string kStarted = "Error starting Half-Life (file not found)";

using Answer = IUserInterface::Answer;
using Buttons = IUserInterface::Buttons;
using Icon = IUserInterface::Icon;

std::string Refusal(const std::string& game) {
    return "Refusing to start Half-Life: the server's game directory \"" + game +
           "\" is not a plain folder name.";
}

void SetReservedSlots(ServerInfo& server, const std::string& value) {
    server.ResetRules();
    server.m_pRules->Insert(std::make_unique<RuleInfo>(RuleInfo{"reserve_slots", value}));
}

// The join as the user sees it. The game is a file that does not exist, so
// that a start shows at once as its "file not found" box and no start shows
// as its absence: nothing waits for a process that should never come.
class JoinTest : public ::testing::Test, public LabDocFixture {
protected:
    JoinTest() {
        settings->m_strHLPath = dir.filePath("Half-Life/hl_linux").toStdString();
        settings->m_strHLParams = "-console -numericping";
    }
    ServerInfo* AddTestServer(uint32_t address = kAddress) {
        ServerInfo* s = AddServer(address, kPort);
        s->m_nPing = 40;
        s->m_strName = "Test Server";
        s->m_strGame = "cstrike";
        s->m_nPlayers = 3;
        s->m_nMaxPlayers = 16;
        return s;
    }
    bool Started() const { return !ui.messages.empty() && ui.messages.back() == kStarted; }

    // The lab's fake game as the game, writing its folder and arguments to a
    // file; waits until the last argument, the address, is in.
    void UseFakeGame() {
        qputenv("SCOUTWIRE_FAKEGAME_OUT", OutPath().toLocal8Bit());
        settings->m_strHLPath = SCOUTWIRE_FAKEGAME_PATH;
    }
    QString OutPath() const { return dir.filePath("fakegame-args.txt"); }
    QStringList WaitForLaunch(QString* cwd = nullptr) {
        QStringList args;
        WaitUntil([&] {
            QFile file(OutPath());
            if (!file.open(QIODevice::ReadOnly))
                return false;
            const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
            if (lines.size() < 3 || lines[lines.size() - 2] != "arg=+connect")
                return false;
            args.clear();
            for (const QString& line : lines)
                if (line.startsWith("arg="))
                    args << line.mid(4);
                else if (cwd && line.startsWith("cwd="))
                    *cwd = line.mid(4);
            return true;
        });
        QFile::remove(OutPath());
        return args;
    }

    // The lab's index-th server queried for real, so that the record is as
    // the list shows it.
    ServerInfo* QueryLabServer(const QStringList& labArguments, int index = 0) {
        Start(labArguments);
        if (HasFatalFailure())
            return nullptr;
        ServerInfo* s = Server(index);
        Query(s);
        return !HasFatalFailure() && s->m_nPing != 0 && s->m_pRules ? s : nullptr;
    }
};

} // namespace

// ---------------------------------------------------------------------------
// The command line, without starting anything

TEST(GameCommandLine, ArgumentsKeepEveryValueInOnePieceAndRefuseHostileFolders) {
    struct Case {
        const char* name;
        const char* params;
        const char* game;
        const char* password; // null: none asked
        QStringList expected; // empty: refused
    };
    const Case cases[] = {
        {"quoted params, password in one piece", "-console  -heapsize 64000 \"+name Big Al\"",
         "Valve", "two words +quit",
         {"-console", "-heapsize", "64000", "+name Big Al", "-game", "valve", "+password",
          "two words +quit", "+connect", "10.1.2.3:27015"}},
        {"empty password still given", "", "cstrike", "",
         {"-game", "cstrike", "+password", "", "+connect", "10.1.2.3:27015"}},
        {"no game, no params", "", "", nullptr, {"+connect", "10.1.2.3:27015"}},
        {"second argument", "-console", "cstrike +exec evil.cfg", nullptr, {}},
        {"parent folder", "-console", "..", nullptr, {}},
        {"console command", "-console", "valve;quit", nullptr, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServerInfo s(kAddress, kPort);
        s.m_strGame = c.game;
        const std::string password = c.password ? c.password : "";
        QStringList args{"left over"};
        std::string refusal;
        EXPECT_EQ(GameArguments(c.params, s, c.password ? &password : nullptr, args, refusal),
                  !c.expected.isEmpty());
        EXPECT_EQ(args, c.expected);
        EXPECT_EQ(refusal, c.expected.isEmpty() ? Refusal(c.game) : "");
    }
}

TEST(GameCommandLine, OnlyPlainFolderNamesAreGameDirectories) {
    for (const char* good : {"cstrike", "valve", "dod", "ts_1.6", "my-mod", "_test", "9x"})
        EXPECT_TRUE(IsPlainFolderName(good)) << good;
    for (const char* bad :
         {"", ".", "..", "../valve", "..\\valve", "/etc", "cstrike +exec evil.cfg", "cs;quit",
          "+quit", "-dev", "cs\"x", "cs'x", "a b", "cs\ttab", "cs\n", "c:", "caf\xE9", "$HOME",
          "`id`", "cs|x", "cs&x", ".hidden"})
        EXPECT_FALSE(IsPlainFolderName(bad)) << bad;
}

TEST(GameCommandLine, WorkingDirectoryIsTheExecutablesFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Sierra\\Half-Life\\hl.exe", "C:\\Sierra\\Half-Life\\"},
        {"C:hl.exe", "C:"},
        {"hl.exe", ""},
        {"/opt/hl/hl_linux", "/opt/hl/"},
        {"D:\\games/hl/hl.exe", "D:\\games/hl/"},
        {"/mnt/c:\\hl\\hl.exe", "/mnt/c:\\hl\\"}};
    for (const auto& [path, folder] : cases)
        EXPECT_EQ(GameWorkingDirectory(path), folder) << path;
}

// Real failed starts read as the shell's codes, for a user whose system
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
    const std::tuple<QString, QString, int> cases[] = {
        {dir.filePath("missing/hl"), {}, 2}, {plain + "/hl", {}, 3},
        {"no-such-program-anywhere", {}, 2}, {plain, {}, 5},
        {dir.path(), {}, 5},                 {garbage, {}, 31},
        {game, dir.filePath("no/such"), 3},  {game, plain, 3}};
    for (const auto& [program, folder, code] : cases)
        EXPECT_EQ(StartProgram(program, {}, folder), std::optional<int>(code))
            << program.toStdString() << " in " << folder.toStdString();
}

// ---------------------------------------------------------------------------
// The questions before a join

struct Question {
    const char* name;
    uint32_t ping = 40;
    int players = 3, maxPlayers = 16;
    const char* reserved = nullptr; // the reserve_slots rule
    bool password = false;
    std::vector<Answer> answers = {};
    std::vector<std::string> boxes = {}; // the texts shown, a start last
    Buttons buttons = Buttons::Ok;  // of the first box
    Icon icon = Icon::Error;
};

void PrintTo(const Question& q, std::ostream* os) { *os << q.name; }

class JoinQuestionTest : public JoinTest, public ::testing::WithParamInterface<Question> {};

TEST_P(JoinQuestionTest, AsksAndStartsOrNot) {
    const Question& q = GetParam();
    ServerInfo* s = AddTestServer();
    s->m_nPing = q.ping;
    s->m_nPlayers = static_cast<uint8_t>(q.players);
    s->m_nMaxPlayers = static_cast<uint8_t>(q.maxPlayers);
    if (q.reserved)
        SetReservedSlots(*s, q.reserved);
    s->m_bPassword = q.password;
    s->m_strPassword = "old";
    doc->SetModifiedFlag(false);
    std::string offered;
    ui.onPassword = [&](std::string& pw) {
        offered = pw;
        pw = "new pass";
        return q.answers.empty() || q.answers.back() != Answer::Cancel;
    };
    ui.answers.assign(q.answers.begin(), q.answers.end());
    doc->JoinServer(s);
    EXPECT_EQ(ui.messages, q.boxes);
    if (!ui.boxes.empty()) {
        EXPECT_EQ(ui.boxes[0], std::make_pair(q.buttons, q.icon));
    }
    EXPECT_EQ(ui.progressDialogs, 0);
    if (q.password) {
        EXPECT_EQ(offered, "old");
        EXPECT_EQ(s->m_strPassword, Started() ? "new pass" : "old");
        EXPECT_FALSE(doc->IsModified()) << "a password kept with the record is no edit";
    }
}

const std::string kDown = "Server seems down. Try to connect anyway?";
const std::string kFullReserved =
    "Server seems full, unless you can take a reserved slot. Wait for a free spot?";
const std::string kFull = "Server seems full. Wait for a free spot?";

INSTANTIATE_TEST_SUITE_P(
    Join, JoinQuestionTest,
    ::testing::Values(
        Question{.name = "Answering", .boxes = {kStarted}},
        Question{.name = "SilentCancelled", .ping = 0, .answers = {Answer::Cancel}, .boxes = {kDown},
                 .buttons = Buttons::OkCancel, .icon = Icon::Warning},
        Question{.name = "SilentJoined", .ping = 0, .answers = {Answer::Ok}, .boxes = {kDown, kStarted},
                 .buttons = Buttons::OkCancel, .icon = Icon::Warning},
        Question{.name = "ReservedSlotsFullCancelled", .players = 12, .reserved = "4",
                 .answers = {Answer::Cancel}, .boxes = {kFullReserved},
                 .buttons = Buttons::YesNoCancel, .icon = Icon::Question},
        Question{.name = "ReservedSlotsFullJoinedWithoutWaiting", .players = 12, .reserved = "4",
                 .answers = {Answer::No}, .boxes = {kFullReserved, kStarted},
                 .buttons = Buttons::YesNoCancel, .icon = Icon::Question},
        Question{.name = "NoNumberNoReservedSlot", .players = 16, .reserved = "abc",
                 .answers = {Answer::Cancel}, .boxes = {kFull},
                 .buttons = Buttons::YesNoCancel, .icon = Icon::Question},
        Question{.name = "OneShortOfTheLimit", .players = 11, .reserved = "4.9", .boxes = {kStarted}},
        Question{.name = "NoLimitWithoutDetails", .players = 5, .maxPlayers = 0, .boxes = {kStarted}},
        Question{.name = "PasswordKept", .password = true, .boxes = {kStarted}},
        Question{.name = "PasswordCancelled", .password = true, .answers = {Answer::Cancel}}),
    [](const ::testing::TestParamInfo<Question>& info) { return std::string(info.param.name); });

TEST_F(JoinTest, NoGameConfiguredDoesNothingAndAHostileFolderIsRefused) {
    ServerInfo* s = AddTestServer();
    settings->m_strHLPath.clear();
    doc->JoinServer(s);
    EXPECT_TRUE(ui.messages.empty());

    settings->m_strHLPath = dir.filePath("hl").toStdString();
    s->m_strGame = "..";
    doc->JoinServer(s);
    EXPECT_EQ(ui.messages, std::vector<std::string>{Refusal("..")});
}

// The whole road to a real process: a lab server, its game, the folder.
TEST_F(JoinTest, JoinsARealLabServer) {
    // Server 1 always has room.
    ServerInfo* s = QueryLabServer({"--servers", "4", "--latency", "3-3"}, 1);
    ASSERT_TRUE(s);
    UseFakeGame();
    s->m_bPassword = 1;
    ui.onPassword = [](std::string& pw) {
        pw = "secret";
        return true;
    };
    doc->JoinServer(s);
    QString cwd;
    EXPECT_EQ(WaitForLaunch(&cwd),
              (QStringList{"-console", "-numericping", "-game",
                           lab.ServerAt(1)["details"].toObject()["game"].toString().toLower(),
                           "+password", "secret", "+connect", lab.EndpointAt(1)}));
    EXPECT_EQ(QDir(cwd).canonicalPath(),
              QFileInfo(QString::fromUtf8(SCOUTWIRE_FAKEGAME_PATH)).canonicalPath());
    EXPECT_TRUE(ui.messages.empty());
}

// ---------------------------------------------------------------------------
// Waiting for a free place

// The server's flags change while the user waits (its replies arrive
// meanwhile): the launch keeps what was decided when asked.
TEST_F(JoinTest, PasswordDecidedWhenAskedSurvivesTheWait) {
    UseFakeGame();
    ServerInfo* s = AddTestServer(0x7F0000FE); // nobody answers there
    for (const bool flagWhenAsked : {true, false}) {
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
        const QStringList args = WaitForLaunch();
        EXPECT_EQ(args.contains("+password"), flagWhenAsked) << flagWhenAsked;
        EXPECT_EQ(args.contains("typed"), flagWhenAsked) << "a typed password is not dropped";
        EXPECT_FALSE(args.contains("stored")) << "nor a stored one sent unasked";
    }
}

TEST_F(JoinTest, GameDirectoryIsCheckedBeforeAndAfterTheWait) {
    ServerInfo* s = AddTestServer(0x7F0000FE);
    s->m_nPlayers = 16;
    s->m_strGame = "..";
    ui.answers = {Answer::Yes};
    ui.cancelAt = [](int n) { return n > 3; };
    doc->JoinServer(s);
    EXPECT_EQ(ui.progressDialogs, 0) << "refused before the user waits";
    EXPECT_EQ(ui.messages, (std::vector<std::string>{kFull, Refusal("..")}));

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
    EXPECT_EQ(ui.messages, (std::vector<std::string>{kFull, Refusal("..")}));
}

// A lab server that loses its players: full at first, with room later.
TEST_F(JoinTest, WaitEndsWhenAPlaceIsFree) {
    ServerInfo* s = QueryLabServer(
        {"--servers", "1", "--draining", "1", "--drain-interval", "300", "--latency", "3-3"});
    ASSERT_TRUE(s);
    const int reserved = std::max(s->GetReservedSlots(), 0);
    ASSERT_GE(s->m_nPlayers, s->m_nMaxPlayers - reserved) << "the first answer shows it full";
    int checks = 0;
    ui.cancelAt = [&](int n) {
        checks = n;
        return false;
    };
    ui.answers = {Answer::Yes};
    doc->JoinServer(s);
    EXPECT_TRUE(Started());
    EXPECT_LT(s->m_nPlayers, s->m_nMaxPlayers - reserved);
    EXPECT_EQ(ui.progressTexts, std::vector<std::string>{"Waiting for free spot on server " +
                                                         s->m_strName + "..."});
    EXPECT_GT(checks, 1) << "it polled until the count dropped";
}

TEST_F(JoinTest, CancelOrAClearedListEndsTheWait) {
    ServerInfo* s = QueryLabServer({"--servers", "1", "--draining", "1", "--drain-interval",
                                    "600000", "--latency", "3-3"});
    ASSERT_TRUE(s);
    ui.cancelAt = [](int n) { return n == 5; };
    ui.answers = {Answer::Yes};
    doc->JoinServer(s);
    EXPECT_EQ(ui.progressDialogs, 1);
    EXPECT_FALSE(Started());

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
    EXPECT_FALSE(Started());
}
