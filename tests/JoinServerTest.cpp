#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

#include "core/RuleList.h"
#include "launch/GameCommandLine.h"
#include "launch/JoinServer.h"
#include "net/QueryCommands.h"
#include "tests/LabTestSupport.h"

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
        std::tie(s->m_nPing, s->m_strName, s->m_strGame, s->m_nPlayers, s->m_nMaxPlayers) =
            std::tuple(40, "Test Server", "cstrike", 3, 16);
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
        QStringList lines;
        WaitUntil([&] {
            QFile file(OutPath());
            lines = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n')
                                                   : QStringList();
            return lines.size() > 3 && lines[lines.size() - 3] == "arg=+connect";
        });
        QFile::remove(OutPath());
        if (cwd)
            *cwd = lines.filter(QRegularExpression("^cwd=")).value(0).mid(4);
        return lines.filter(QRegularExpression("^arg="))
            .replaceInStrings(QRegularExpression("^arg="), "");
    }
};

} // namespace

TEST(GameCommandLine, ArgumentsKeepEveryValueInOnePieceAndOnlyPlainFoldersPass) {
    const std::tuple<const char*, const char*, const char*, QStringList> cases[] = {
        {"-console  -heapsize 64000 \"+name Big Al\"",
         "Valve",
         "two words +quit",
         {"-console", "-heapsize", "64000", "+name Big Al", "-game", "valve", "+password",
          "two words +quit", "+connect", "10.1.2.3:27015"}},
        {"", "cstrike", "", {"-game", "cstrike", "+password", "", "+connect", "10.1.2.3:27015"}},
        {"", "", nullptr, {"+connect", "10.1.2.3:27015"}}}; // no password asked, no game
    for (const auto& [params, game, password, expected] : cases) {
        ServerInfo s(kAddress, kPort);
        s.m_strGame = game;
        const std::string typed = password ? password : "";
        QStringList args{"left over"};
        std::string refusal;
        EXPECT_TRUE(GameArguments(params, s, password ? &typed : nullptr, args, refusal));
        EXPECT_EQ(args, expected);
    }
    for (const char* bad : {".", "..", "../valve", "..\\valve", "/etc", "+quit", "-dev", "cs\"x",
                            "cstrike +exec evil.cfg", "valve;quit", "cs\n", "c:", "caf\xE9",
                            "$HOME", "`id`", "cs|x", "cs&x", ".hidden"}) {
        ServerInfo s(kAddress, kPort);
        s.m_strGame = bad;
        QStringList args{"left over"};
        std::string refusal;
        EXPECT_FALSE(GameArguments("-console", s, nullptr, args, refusal)) << bad;
        EXPECT_TRUE(args.isEmpty()) << bad;
        EXPECT_EQ(refusal, Refusal(bad));
    }
    const std::pair<const char*, const char*> folders[] = {
        {"C:\\Sierra\\Half-Life\\hl.exe", "C:\\Sierra\\Half-Life\\"},
        {"C:hl.exe", "C:"},
        {"hl.exe", ""},
        {"D:\\games/hl/hl.exe", "D:\\games/hl/"},
        {"/mnt/c:\\hl\\hl.exe", "/mnt/c:\\hl\\"}};
    for (const auto& [path, folder] : folders)
        EXPECT_EQ(GameWorkingDirectory(path), folder) << path;
}

struct Question {
    const char* name;
    uint32_t ping = 40;
    int players = 3, maxPlayers = 16;
    const char* reserved = nullptr; // the reserve_slots rule
    bool password = false;
    std::vector<Answer> answers = {};
    std::vector<std::string> boxes = {}; // the texts shown, a start last
    const char* game = "cstrike";
    bool noGame = false;
};

const std::string kDown = "Server seems down. Try to connect anyway?";
const std::string kFullReserved =
    "Server seems full, unless you can take a reserved slot. Wait for a free spot?";
const std::string kFull = "Server seems full. Wait for a free spot?";

void PrintTo(const Question& q, std::ostream* os) {
    *os << q.name;
}

class JoinQuestionTest : public JoinTest, public ::testing::WithParamInterface<Question> {};

TEST_P(JoinQuestionTest, AsksAndStartsOrNot) {
    const Question& q = GetParam();
    ServerInfo* s = AddTestServer();
    s->m_nPing = q.ping;
    s->m_nPlayers = static_cast<uint8_t>(q.players);
    s->m_nMaxPlayers = static_cast<uint8_t>(q.maxPlayers);
    if (q.reserved) {
        s->ResetRules();
        s->m_pRules->Insert(std::make_unique<RuleInfo>(RuleInfo{"reserve_slots", q.reserved}));
    }
    s->m_bPassword = q.password;
    s->m_strPassword = "old";
    s->m_strGame = q.game;
    if (q.noGame)
        settings->m_strHLPath.clear();
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
    for (size_t i = 0; i < ui.boxes.size() && i < q.boxes.size(); ++i) // as its text says
        EXPECT_EQ(ui.boxes[i], q.boxes[i] == kDown ? std::pair(Buttons::OkCancel, Icon::Warning)
                               : q.boxes[i][0] == 'S'
                                   ? std::pair(Buttons::YesNoCancel, Icon::Question)
                                   : std::pair(Buttons::Ok, Icon::Error));
    EXPECT_EQ(ui.progressDialogs, 0) << "nobody waits for what is refused or has room";
    if (q.password) {
        EXPECT_EQ(offered, "old");
        EXPECT_EQ(s->m_strPassword, Started() ? "new pass" : "old");
        EXPECT_FALSE(doc->IsModified()) << "a password kept with the record is no edit";
    }
}

using Q = Question;
INSTANTIATE_TEST_SUITE_P(
    Join, JoinQuestionTest,
    ::testing::Values(
        Q{.name = "Answering", .boxes = {kStarted}},
        Q{.name = "SilentCancelled", .ping = 0, .answers = {Answer::Cancel}, .boxes = {kDown}},
        Q{.name = "SilentJoined", .ping = 0, .answers = {Answer::Ok}, .boxes = {kDown, kStarted}},
        Q{.name = "ReservedSlotsFullCancelled",
          .players = 12,
          .reserved = "4",
          .answers = {Answer::Cancel},
          .boxes = {kFullReserved}},
        Q{.name = "ReservedSlotsFullJoinedNow",
          .players = 12,
          .reserved = "4",
          .answers = {Answer::No},
          .boxes = {kFullReserved, kStarted}},
        Q{.name = "NoNumberNoReservedSlot",
          .players = 16,
          .reserved = "abc",
          .answers = {Answer::Cancel},
          .boxes = {kFull}},
        Q{.name = "OneShortOfTheLimit", .players = 11, .reserved = "4.9", .boxes = {kStarted}},
        Q{.name = "NoLimitWithoutDetails", .players = 5, .maxPlayers = 0, .boxes = {kStarted}},
        Q{.name = "PasswordKept", .password = true, .boxes = {kStarted}},
        Q{.name = "PasswordCancelled", .password = true, .answers = {Answer::Cancel}},
        Q{.name = "NoGameConfigured", .noGame = true},
        Q{.name = "HostileFolderRefused", .boxes = {Refusal("..")}, .game = ".."},
        Q{.name = "HostileFolderRefusedBeforeWaiting",
          .players = 16,
          .answers = {Answer::Yes},
          .boxes = {kFull, Refusal("..")},
          .game = ".."}),
    [](const ::testing::TestParamInfo<Question>& info) { return std::string(info.param.name); });

// While the user waits the server's flags and folder change: the launch keeps
// the password decided when asked, the folder is checked again after the wait,
// and Cancel or a cleared list ends the wait.
TEST_F(JoinTest, TheWaitChecksAgainAndEndsAtCancelOrWithTheList) {
    UseFakeGame();
    ServerInfo* s = AddTestServer(0x7F0000FE); // nobody answers there
    const auto waitThen = [&](std::function<bool(int)> atCheck) {
        s->m_nPing = 40; // the polls of the round before left it at 0
        s->m_nPlayers = 16;
        ui.messages.clear();
        ui.answers = {Answer::Yes};
        ui.cancelAt = std::move(atCheck);
        doc->JoinServer(s);
    };
    ui.onPassword = [](std::string& pw) {
        pw = "typed";
        return true;
    };
    for (const bool flagWhenAsked : {true, false}) {
        s->m_bPassword = flagWhenAsked;
        s->m_strPassword = "stored";
        waitThen([&](int n) {
            if (n == 2) {
                s->m_bPassword = !flagWhenAsked;
                s->m_nPlayers = 3;
            }
            return false;
        });
        QString cwd;
        const QStringList args = WaitForLaunch(&cwd);
        EXPECT_EQ(QDir(cwd).canonicalPath(),
                  QFileInfo(QString::fromUtf8(SCOUTWIRE_FAKEGAME_PATH)).canonicalPath());
        EXPECT_EQ(args.contains("+password"), flagWhenAsked) << flagWhenAsked;
        EXPECT_EQ(args.contains("typed"), flagWhenAsked) << "a typed password is not dropped";
        EXPECT_FALSE(args.contains("stored")) << "nor a stored one sent unasked";
    }
    s->m_bPassword = false;
    waitThen([&](int n) { // plain when asked, hostile once the wait ends
        if (n == 2) {
            s->m_strGame = "..";
            s->m_nPlayers = 3;
        }
        return n > 3;
    });
    EXPECT_EQ(ui.messages, (std::vector<std::string>{kFull, Refusal("..")}));

    s->m_strGame = "cstrike";
    waitThen([](int n) { return n == 5; });
    EXPECT_EQ(ui.progressDialogs, 4);
    EXPECT_EQ(ui.messages, std::vector<std::string>{kFull}) << "nothing started after Cancel";
    // The record goes away inside the waiting loop; the join must notice
    // instead of reading it.
    int checks = 0;
    waitThen([&](int n) {
        checks = n;
        if (n == 3)
            doc->ClearServerList();
        return n > 50;
    });
    EXPECT_EQ(doc->GetServerList().GetSize(), 0);
    EXPECT_EQ(checks, 3) << "the wait ends with the record, not at Cancel";
    EXPECT_EQ(ui.messages, std::vector<std::string>{kFull});
}

// A lab server that loses its players: full at first, with room later.
TEST_F(JoinTest, WaitEndsWhenAPlaceIsFree) {
    ASSERT_NO_FATAL_FAILURE(Start(
        {"--servers", "1", "--draining", "1", "--drain-interval", "300", "--latency", "3-3"}));
    ServerInfo* s = Server(0);
    ASSERT_NO_FATAL_FAILURE(Query(s));
    ASSERT_TRUE(s->m_nPing != 0 && s->m_pRules);
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
    EXPECT_EQ(ui.progressTexts,
              std::vector<std::string>{"Waiting for free spot on server " + s->m_strName + "..."});
    EXPECT_GT(checks, 1) << "it polled until the count dropped";
}
