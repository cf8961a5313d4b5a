// scoutwire-cli: the document and the network engine without the window, for
// scripting and for checking the program from outside.

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>

#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"
#include "core/DisplayText.h"
#include "core/WatchAlert.h"
#include "net/Address.h"
#include "net/CleaningTimer.h"
#include "net/Clock.h"
#include "net/EventWait.h"
#include "net/OpenFileLimit.h"
#include "net/QueryCommands.h"
#include "net/SocketErrors.h"
#include "search/ExpressionMatcher.h"
#include "tools/cli/CliUserInterface.h"
#include "tools/cli/ProcessStats.h"

namespace {

const char* const kUsage =
    "usage: scoutwire-cli COMMAND [ARGS] [OPTIONS]\n"
    "  new FILE                         write an empty document\n"
    "  update FILE [--source won|steam|web] [--master HOST[:PORT]] [--key KEY]\n"
    "              [--api-url URL] [--game G] [--map M] [--appid N] [--region R]\n"
    "              [--no-refresh] [--json]\n"
    "                                   fetch the server list, refresh the new servers, save;\n"
    "                                   won: the WON master (port 27010), steam: Steam's\n"
    "                                   master (port 27011), web: Steam's web service with\n"
    "                                   your web API key; --json prints the list\n"
    "  refresh FILE                     refresh every server of FILE and save\n"
    "  list FILE [--json]               the server list\n"
    "  players FILE ADDR:PORT [--json]  query one server and print its players\n"
    "  find FILE EXPR [--regex] [--case] [--json]\n"
    "                                   refresh, then find players by name\n"
    "  query ADDR:PORT... [--json]      query servers (details, players, rules) and print them;\n"
    "                                   the old queries and A2S are both tried\n"
    "  soak FILE [--master HOST[:PORT]] [--minutes M] [--interval S]\n"
    "                                   fetch the list once, then refresh every server every\n"
    "                                   S seconds (default 5) for M minutes (default 2),\n"
    "                                   printing memory, descriptors and sockets each minute\n"
    "  watch FILE [EXPR [--regex] [--case]] [--interval S] [--minutes M] [--json]\n"
    "                                   refresh FILE's servers every S seconds (default 10)\n"
    "                                   and report the watched players (EXPR adds a watch for\n"
    "                                   this run): who is on, then who appeared, moved or\n"
    "                                   left; for M minutes or until Ctrl+C\n"
    "options: --settings INI  --send-interval MS (0: unpaced)  --max-sockets N (queries in\n"
    "         flight, up to 8192)  --rate QPS (queries per second, 0: as fast as possible,\n"
    "         -1: by --send-interval)  --timeout MS  --clean-interval MS  --quiet\n";

struct Options {
    std::string command;
    std::vector<std::string> args;
    std::map<std::string, std::string> values;
    std::map<std::string, bool> switches;

    bool Has(const std::string& name) const { return switches.count(name) != 0; }
    std::optional<std::string> Value(const std::string& name) const {
        const auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
};

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    static const std::vector<std::string> kWithValue = {
        "--settings", "--send-interval", "--max-sockets", "--timeout", "--clean-interval",
        "--master",   "--game",          "--map",         "--minutes", "--interval",
        "--busy-ui",  "--source",        "--key",         "--api-url", "--appid",
        "--region",   "--rate"};
    static const std::vector<std::string> kSwitches = {"--json", "--no-refresh", "--regex",
                                                       "--case", "--quiet"};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            if (options.command.empty())
                options.command = arg;
            else
                options.args.push_back(arg);
            continue;
        }
        if (std::find(kSwitches.begin(), kSwitches.end(), arg) != kSwitches.end()) {
            options.switches[arg] = true;
        } else if (std::find(kWithValue.begin(), kWithValue.end(), arg) != kWithValue.end()) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            options.values[arg] = argv[++i];
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

bool ParseNumber(const std::string& text, int& value) {
    try {
        size_t used = 0;
        value = std::stoi(text, &used);
        return used == text.size();
    } catch (...) {
        return false;
    }
}

// The option's value, when it is given, into value: false when it is not a
// whole number of at least least.
bool NumberOption(const Options& o, const char* name, int least, int& value) {
    return (!o.Value(name) || ParseNumber(*o.Value(name), value)) && value >= least;
}

bool ParseEndpoint(const std::string& text, uint32_t& address, uint16_t& port) {
    int n[5] = {0, 0, 0, 0, 0};
    if (ScanEndpoint(text, n) != 5 || n[4] < 1 || n[4] > 65535)
        return false;
    for (int i = 0; i < 4; ++i)
        if (n[i] < 0 || n[i] > 255)
            return false;
    address = (static_cast<uint32_t>(n[0]) << 24) | (static_cast<uint32_t>(n[1]) << 16) |
              (static_cast<uint32_t>(n[2]) << 8) | static_cast<uint32_t>(n[3]);
    port = static_cast<uint16_t>(n[4]);
    return true;
}

// The document, its settings and its cleaning timer for one command.
class Session : public IDocView {
public:
    Session(const Options& options, CSettings& settings)
        : m_options(options), m_settings(settings), m_doc(settings, m_ui) {
        m_ui.m_bQuiet = options.Has("--quiet");
        m_doc.AddView(this);
    }
    ~Session() override { m_doc.RemoveView(this); }

    void OnUpdate(IDocView*, int hint, const CUpdateHint* pHint) override {
        if (hint == HINT_MASTER_PROGRESS && !pHint)
            m_bMasterTimedOut = true;
        if (hint == HINT_MASTER_PROGRESS && pHint && !m_ui.m_bQuiet)
            std::fprintf(stderr, "Retrieving server list (id %u) from master server... [%d servers in list]\n",
                         pHint->m_dwData, m_doc.GetServerList().GetSize());
    }

    bool Open(const std::string& path, bool mayBeMissing) {
        if (mayBeMissing && !QFileInfo::exists(QString::fromLocal8Bit(path.c_str()))) {
            m_doc.OnNewDocument();
            return true;
        }
        return m_doc.OnOpenDocument(path);
    }
    bool Save(const std::string& path) { return m_doc.OnSaveDocument(path); }

    // Every listed server, refreshed behind the progress line.
    void RefreshAll() {
        std::vector<ServerInfo*> servers;
        for (const auto& server : m_doc.GetServerList())
            if (!server->m_bDeleted)
                servers.push_back(server.get());
        Cleaning();
        m_doc.RefreshServers(servers);
    }

    // One server with details, players and rules; waits for its socket.
    bool QueryOne(ServerInfo& server) {
        Cleaning();
        if (!m_doc.RefreshServerIfIdle(&server, CMD_DETAILS | CMD_PLAYERS | CMD_RULES))
            return false;
        while (m_doc.GetServerSocketCount() > 0)
            WaitForEvents(m_settings.m_nCleanInterval);
        return true;
    }

    void Cleaning() {
        if (!m_cleaning)
            m_cleaning = std::make_unique<CleaningTimer>(m_doc, m_settings.m_nCleanInterval);
    }

    const Options& m_options;
    CSettings& m_settings;
    CliUserInterface m_ui;
    CScoutwireDoc m_doc;
    std::unique_ptr<CleaningTimer> m_cleaning;
    bool m_bMasterTimedOut = false;
};

// The protocol the next query of the server uses; "unknown" for a server
// added by hand that has not answered yet (it is asked both ways).
QString ProtocolName(const ServerInfo& s) {
    switch (QueryProtocolOf(s)) {
    case PROTOCOL_A2S:
        return "a2s";
    case PROTOCOL_LEGACY:
        return "legacy";
    default:
        return "unknown";
    }
}

QJsonObject ServerJson(const ServerInfo& s) {
    QJsonObject o;
    o["address"] = QString::fromStdString(FormatAddress(s.m_dwAddress, s.m_wPort));
    o["name"] = DisplayText(s.m_strName);
    o["game"] = DisplayText(s.m_strGame);
    o["map"] = DisplayText(s.m_strMap);
    o["players"] = s.m_nPlayers;
    o["maxPlayers"] = s.m_nMaxPlayers;
    o["ping"] = static_cast<qint64>(s.m_nPing);
    o["type"] = s.m_cServerType ? QString(QChar(static_cast<unsigned char>(s.m_cServerType))) : "";
    o["os"] = s.m_cOS ? QString(QChar(static_cast<unsigned char>(s.m_cOS))) : "";
    o["password"] = s.m_bPassword != 0;
    o["protocol"] = ProtocolName(s);
    o["annotation"] = DisplayText(s.m_strAnnotation);
    o["hostName"] = DisplayText(s.m_strHostName);
    if (!s.m_strError.empty())
        o["error"] = DisplayText(s.m_strError);
    QJsonArray groups;
    const std::pair<uint32_t, const char*> kGroups[] = {{GROUP_FAVOURITES, "Favourites"},
                                                        {GROUP_WON, "WON"},
                                                        {GROUP_STEAM, "Steam"},
                                                        {GROUP_MANUAL, "Manual"},
                                                        {GROUP_FILTERED, "Filtered"},
                                                        {GROUP_FOUND, "Found"}};
    for (const auto& [bit, label] : kGroups)
        if (s.m_dwFlags & bit)
            groups.append(label);
    o["groups"] = groups;
    return o;
}

QJsonObject PlayerJson(const PlayerInfo& p) {
    QJsonObject o;
    o["index"] = p.m_nIndex;
    o["name"] = DisplayText(p.m_strName);
    o["frags"] = p.m_nFrags;
    o["diff"] = p.m_nFrags - p.m_nPrevFrags;
    o["seconds"] = p.m_nMinutes * 60 + p.m_nSeconds;
    return o;
}

std::string Flags(const ServerInfo& s) {
    auto printable = [](char c) { return c >= 0x20 && c <= 0x7E ? c : '.'; };
    return std::string(1, s.m_bPassword ? 'P' : '-') + printable(s.m_cServerType) +
           printable(s.m_cOS);
}

std::string Utf8(const std::string& bytes) { return DisplayText(bytes).toStdString(); }

void PrintJson(const QJsonValue& value) {
    const QByteArray text = value.isArray() ? QJsonDocument(value.toArray()).toJson()
                                            : QJsonDocument(value.toObject()).toJson();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
}

void PrintServerLine(const ServerInfo& s) {
    const std::string players = s.m_nPing ? std::to_string(s.m_nPlayers) : "--";
    const std::string ping = s.m_nPing ? std::to_string(s.m_nPing) : "-";
    std::printf("%s\t%s\t%s\t%s\t%d\t%s\t%s\t%s\t%s\n", Utf8(s.m_strName).c_str(),
                Utf8(s.m_strGame).c_str(), Utf8(s.m_strMap).c_str(), players.c_str(),
                s.m_nMaxPlayers, ping.c_str(), FormatAddress(s.m_dwAddress, s.m_wPort).c_str(),
                Flags(s).c_str(), Utf8(s.m_strAnnotation.substr(0, s.m_strAnnotation.find("\r\n"))).c_str());
}

void PrintPlayers(const ServerInfo& s) {
    if (!s.m_pPlayers)
        return;
    for (const auto& p : *s.m_pPlayers)
        std::printf("%d\t%s\t%d\t%+d\t%d:%02d:%02d\n", p->m_nIndex, Utf8(p->m_strName).c_str(),
                    p->m_nFrags, p->m_nFrags - p->m_nPrevFrags, p->m_nMinutes / 60,
                    p->m_nMinutes % 60, p->m_nSeconds);
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "scoutwire-cli: %s\n", text.c_str());
    return 1;
}

int RunNew(Session& session, const Options& o) {
    if (o.args.size() != 1)
        return Fail("new needs FILE");
    session.m_doc.OnNewDocument();
    return session.Save(o.args[0]) ? 0 : 1;
}

bool ApplyMasterOption(CSettings& settings, const Options& o) {
    if (auto master = o.Value("--master")) {
        const bool steam = settings.m_nListSource == LIST_SOURCE_STEAM_MASTER;
        const size_t colon = master->rfind(':');
        int port = steam ? 27011 : 27010;
        if (colon != std::string::npos &&
            (!ParseNumber(master->substr(colon + 1), port) || port < 1 || port > 65535)) {
            Fail("bad master port in " + *master);
            return false;
        }
        if (steam) {
            settings.m_strSteamMaster = master->substr(0, colon) + ":" + std::to_string(port);
        } else {
            settings.m_strWONMaster = master->substr(0, colon);
            settings.m_wWONPort = static_cast<uint16_t>(port);
        }
    }
    return true;
}

// --source and what goes with it; the settings are this run's only.
bool ApplySourceOptions(CSettings& settings, const Options& o) {
    const std::string source = o.Value("--source").value_or("won");
    if (source == "won") {
        settings.m_nListSource = LIST_SOURCE_WON;
    } else if (source == "steam") {
        settings.m_nListSource = LIST_SOURCE_STEAM_MASTER;
    } else if (source == "web") {
        settings.m_nListSource = LIST_SOURCE_STEAM_WEB;
    } else {
        Fail("--source wants won, steam or web, not " + source);
        return false;
    }
    const bool won = settings.m_nListSource == LIST_SOURCE_WON;
    const bool web = settings.m_nListSource == LIST_SOURCE_STEAM_WEB;
    for (const char* steamOnly : {"--appid", "--region"})
        if (won && o.Value(steamOnly)) {
            Fail(std::string(steamOnly) + " is for --source steam or web");
            return false;
        }
    for (const char* webOnly : {"--key", "--api-url"})
        if (!web && o.Value(webOnly)) {
            Fail(std::string(webOnly) + " is for --source web");
            return false;
        }
    if (web && o.Value("--master")) {
        Fail("--source web takes --api-url, not --master");
        return false;
    }
    // Steam's filter names an app id only when asked to.
    settings.m_nSteamAppId = -1;
    if (auto appId = o.Value("--appid")) {
        int n = 0;
        if (!ParseNumber(*appId, n) || n < 0) {
            Fail("--appid wants a number, not " + *appId);
            return false;
        }
        settings.m_nSteamAppId = n;
    }
    if (auto region = o.Value("--region")) {
        int n = 0;
        if (!ParseNumber(*region, n) || n < 0 || n > 255) {
            Fail("--region wants a number from 0 to 255 (255: all), not " + *region);
            return false;
        }
        settings.m_nSteamRegion = n;
    }
    if (web) {
        settings.m_strSteamApiKey = o.Value("--key").value_or("");
        if (settings.m_strSteamApiKey.empty()) {
            Fail("--source web needs --key KEY, your own Steam web API key");
            return false;
        }
        if (auto url = o.Value("--api-url"))
            settings.m_strSteamApiUrl = *url;
    }
    return ApplyMasterOption(settings, o);
}

int RunUpdate(Session& session, const Options& o) {
    if (o.args.size() != 1)
        return Fail("update needs FILE");
    CSettings& settings = session.m_settings;
    if (!ApplySourceOptions(settings, o))
        return 1;
    if (o.Value("--game") || o.Value("--map")) {
        session.m_ui.m_bHasMasterFilter = true;
        session.m_ui.m_strGame = o.Value("--game").value_or("");
        session.m_ui.m_strMap = o.Value("--map").value_or("");
        settings.m_dwFlags |= OPT_SHOW_UPDATE_DIALOG;
    }
    if (o.Has("--no-refresh"))
        settings.m_dwFlags &= ~OPT_REFRESH_NEW_SERVERS;
    else
        settings.m_dwFlags |= OPT_REFRESH_NEW_SERVERS;
    if (!session.Open(o.args[0], true))
        return 1;
    session.Cleaning();
    const int errorsBefore = session.m_ui.m_nErrors;
    session.m_doc.UpdateServerList();
    while (session.m_doc.IsUpdatingServerList())
        WaitForEvents(settings.m_nCleanInterval);
    // The web service's failures have said what went wrong already.
    if (session.m_bMasterTimedOut && settings.m_nListSource == LIST_SOURCE_STEAM_WEB &&
        session.m_ui.m_nErrors > errorsBefore)
        return 1;
    if (session.m_bMasterTimedOut)
        return Fail("Timed out waiting for response from master server");
    if (!session.Save(o.args[0]))
        return 1;
    if (o.Has("--json")) {
        QJsonArray all;
        for (const auto& s : session.m_doc.GetServerList())
            all.append(ServerJson(*s));
        PrintJson(all);
    }
    int answering = 0;
    for (const auto& s : session.m_doc.GetServerList())
        answering += s->m_nPing != 0;
    if (!session.m_ui.m_bQuiet)
        std::fprintf(stderr, "%d servers in list, %d answering\n",
                     session.m_doc.GetServerList().GetSize(), answering);
    return 0;
}

int RunRefresh(Session& session, const Options& o) {
    if (o.args.size() != 1)
        return Fail("refresh needs FILE");
    if (!session.Open(o.args[0], false))
        return 1;
    session.RefreshAll();
    return session.Save(o.args[0]) ? 0 : 1;
}

int RunList(Session& session, const Options& o) {
    if (o.args.size() != 1)
        return Fail("list needs FILE");
    if (!session.Open(o.args[0], false))
        return 1;
    QJsonArray all;
    for (const auto& s : session.m_doc.GetServerList()) {
        if (s->m_bDeleted)
            continue;
        if (o.Has("--json"))
            all.append(ServerJson(*s));
        else
            PrintServerLine(*s);
    }
    if (o.Has("--json"))
        PrintJson(all);
    return 0;
}

int RunPlayers(Session& session, const Options& o) {
    if (o.args.size() != 2)
        return Fail("players needs FILE and ADDR:PORT");
    uint32_t address = 0;
    uint16_t port = 0;
    if (!ParseEndpoint(o.args[1], address, port))
        return Fail("not an address: " + o.args[1]);
    if (!session.Open(o.args[0], false))
        return 1;
    ServerInfo* server = session.m_doc.FindServer(address, port);
    if (!server)
        return Fail(o.args[1] + " is not in " + o.args[0]);
    session.QueryOne(*server);
    if (o.Has("--json")) {
        QJsonObject out = ServerJson(*server);
        QJsonArray players;
        if (server->m_pPlayers)
            for (const auto& p : *server->m_pPlayers)
                players.append(PlayerJson(*p));
        out["playerList"] = players;
        PrintJson(out);
    } else {
        PrintPlayers(*server);
    }
    return server->m_nPing ? 0 : Fail(o.args[1] + " did not answer");
}

int RunFind(Session& session, const Options& o) {
    if (o.args.size() != 2)
        return Fail("find needs FILE and EXPR");
    if (!session.Open(o.args[0], false))
        return 1;
    session.RefreshAll();
    uint32_t flags = 0;
    if (o.Has("--regex"))
        flags |= QF_REGEX;
    if (o.Has("--case"))
        flags |= QF_MATCHCASE;
    // Names are stored as the servers send them (Windows-1252); the terminal
    // speaks UTF-8.
    SearchQuery query("", StoredText(QString::fromLocal8Bit(o.args[1].c_str())), flags);
    if (!session.m_doc.RunQuery(query, false))
        return 1;
    QJsonArray found;
    for (const auto& f : query.m_players) {
        if (o.Has("--json")) {
            QJsonObject entry = PlayerJson(*f->m_pPlayer);
            entry["server"] = QString::fromStdString(
                FormatAddress(f->m_pServer->m_dwAddress, f->m_pServer->m_wPort));
            entry["serverName"] = DisplayText(f->m_pServer->m_strName);
            found.append(entry);
        } else {
            std::printf("%s\t%s\t%s\t%d\n", Utf8(f->m_pPlayer->m_strName).c_str(),
                        FormatAddress(f->m_pServer->m_dwAddress, f->m_pServer->m_wPort).c_str(),
                        Utf8(f->m_pServer->m_strName).c_str(), f->m_pPlayer->m_nFrags);
        }
    }
    if (o.Has("--json"))
        PrintJson(found);
    if (!session.m_ui.m_bQuiet)
        std::fprintf(stderr, "%zu player(s) found on %zu server(s)\n", query.m_players.size(),
                     query.m_servers.size());
    return 0;
}

int RunQuery(Session& session, const Options& o) {
    if (o.args.empty())
        return Fail("query needs ADDR:PORT");
    session.m_doc.OnNewDocument();
    std::vector<ServerInfo*> servers;
    for (const std::string& text : o.args) {
        uint32_t address = 0;
        uint16_t port = 0;
        if (!ParseEndpoint(text, address, port))
            return Fail("not an address: " + text);
        servers.push_back(session.m_doc.AddFavourite(address, port, false));
    }
    QJsonArray all;
    int silent = 0;
    for (ServerInfo* s : servers) {
        if (!s)
            continue;
        session.QueryOne(*s);
        silent += s->m_nPing == 0;
        if (o.Has("--json")) {
            QJsonObject out = ServerJson(*s);
            QJsonArray players, rules;
            if (s->m_pPlayers)
                for (const auto& p : *s->m_pPlayers)
                    players.append(PlayerJson(*p));
            if (s->m_pRules)
                for (const auto& r : *s->m_pRules)
                    rules.append(QJsonObject{{"key", DisplayText(r->m_strKey)},
                                             {"value", DisplayText(r->m_strValue)}});
            out["playerList"] = players;
            out["rules"] = rules;
            all.append(out);
            continue;
        }
        std::printf("== %s  [%s]  %s/%s  %d/%d  ping %u  %s\n",
                    FormatAddress(s->m_dwAddress, s->m_wPort).c_str(), Utf8(s->m_strName).c_str(),
                    Utf8(s->m_strGame).c_str(), Utf8(s->m_strMap).c_str(), s->m_nPlayers,
                    s->m_nMaxPlayers, s->m_nPing, Flags(*s).c_str());
        PrintPlayers(*s);
        if (s->m_pRules)
            for (const auto& r : *s->m_pRules)
                std::printf("  %s = %s\n", Utf8(r->m_strKey).c_str(), Utf8(r->m_strValue).c_str());
    }
    if (o.Has("--json"))
        PrintJson(all);
    return silent == 0 ? 0 : 2;
}

// Auto refresh left running, as the main window's timer does it: the tick
// posts a refresh of every server, and a tick that finds a refresh still
// running is skipped. What a long run must not grow is printed each minute.
int RunSoak(Session& session, const Options& o) {
    if (o.args.size() != 1)
        return Fail("soak needs FILE");
    int minutes = 2;
    int interval = 5;
    if (!NumberOption(o, "--minutes", 1, minutes))
        return Fail("--minutes wants a positive number");
    if (!NumberOption(o, "--interval", 1, interval))
        return Fail("--interval wants a positive number of seconds");
    CSettings& settings = session.m_settings;
    if (!ApplyMasterOption(settings, o))
        return 1;
    settings.m_dwFlags &= ~(OPT_SHOW_UPDATE_DIALOG | OPT_REFRESH_NEW_SERVERS);
    session.m_ui.m_bProgress = false;
    if (!session.Open(o.args[0], true))
        return 1;
    session.Cleaning();
    CScoutwireDoc& doc = session.m_doc;
    doc.UpdateServerList();
    while (doc.IsUpdatingServerList())
        WaitForEvents(settings.m_nCleanInterval);
    if (session.m_bMasterTimedOut)
        return Fail("Timed out waiting for response from master server");

    int refreshes = 0;
    int skipped = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        QMetaObject::invokeMethod(
            &tick,
            [&] {
                if (doc.IsRefreshing()) {
                    ++skipped;
                    return;
                }
                ++refreshes;
                session.RefreshAll();
            },
            Qt::QueuedConnection);
    });
    int minute = 0;
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        const ProcessStats stats = ProcessStats::Read();
        int answering = 0;
        for (const auto& s : doc.GetServerList())
            answering += s->m_nPing != 0;
        std::printf("minute %d: rss %ld kB, fds %d, sockets %d, open queries %d, refreshes %d, "
                    "skipped ticks %d, answering %d/%d\n",
                    ++minute, stats.rssKb, stats.fds, stats.sockets, doc.GetActiveSocketCount(),
                    refreshes, skipped, answering, doc.GetServerList().GetSize());
        std::fflush(stdout);
    });
    tick.start(interval * 1000);
    report.start(60000);
    const uint64_t start = NowTicks();
    const uint64_t total = static_cast<uint64_t>(minutes) * 60000;
    while (minute < minutes) {
        const uint64_t elapsed = ElapsedMs(start);
        WaitForEvents(elapsed < total ? static_cast<int64_t>(total - elapsed) + 1000 : 1000);
    }
    tick.stop();
    while (doc.GetServerSocketCount() > 0)
        WaitForEvents(settings.m_nCleanInterval);
    return session.Save(o.args[0]) ? 0 : 1;
}

const char* EventName(WatchAlert::Kind kind) {
    switch (kind) {
    case WatchAlert::Kind::Present:
        return "present";
    case WatchAlert::Kind::Appeared:
        return "appeared";
    case WatchAlert::Kind::Moved:
        return "moved";
    case WatchAlert::Kind::Left:
        return "left";
    case WatchAlert::Kind::ServerHasRoom:
        return "room";
    case WatchAlert::Kind::ServerHasPlayers:
        return "players";
    }
    return "";
}

// Auto refresh made for watching: each tick refreshes what the watches need
// (the whole list when it is small) and the document reports what changed.
// The file is not saved: a watch only looks.
int RunWatch(Session& session, const Options& o) {
    if (o.args.empty() || o.args.size() > 2)
        return Fail("watch needs FILE and at most one EXPR");
    int minutes = 0;
    int interval = 10;
    if (!NumberOption(o, "--minutes", 0, minutes))
        return Fail("--minutes wants a number");
    if (!NumberOption(o, "--interval", 1, interval))
        return Fail("--interval wants a positive number of seconds");
    session.m_ui.m_bProgress = false;
    if (!session.Open(o.args[0], false))
        return 1;
    CScoutwireDoc& doc = session.m_doc;
    if (o.args.size() == 2) {
        uint32_t flags = 0;
        if (o.Has("--regex"))
            flags |= QF_REGEX;
        if (o.Has("--case"))
            flags |= QF_MATCHCASE;
        const std::string expression = StoredText(QString::fromLocal8Bit(o.args[1].c_str()));
        auto query = std::make_unique<SearchQuery>(expression, expression, flags);
        query->m_bWatch = true;
        query->m_bWatchLeaving = true;
        ExpressionMatcher check;
        std::string error;
        if (!check.Compile(expression, flags, error))
            return Fail("bad expression: " + error);
        doc.AddQuery(std::move(query));
    }
    if (!doc.HasWatches())
        return Fail(o.args[0] + " has no watched query; give EXPR");
    const bool json = o.Has("--json");
    session.m_ui.m_onWatchAlert = [json](const WatchAlert& alert) {
        if (json) {
            const QJsonObject line{
                {"event", EventName(alert.kind)},
                {"player", DisplayText(alert.player)},
                {"server", QString::fromStdString(FormatAddress(alert.address, alert.port))},
                {"serverName", DisplayText(alert.serverName)},
                {"query", DisplayText(alert.queryName)},
            };
            std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
        } else {
            std::printf("%s\n", Utf8(alert.Text()).c_str());
        }
        std::fflush(stdout);
    };
    session.Cleaning();
    bool stop = false;
    const std::unique_ptr<QSocketNotifier> interrupts = NotifyInterrupts([&stop] { stop = true; });
    bool due = true;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&due] { due = true; });
    tick.start(interval * 1000);
    const uint64_t start = NowTicks();
    const uint64_t total = static_cast<uint64_t>(minutes) * 60000;
    while (!stop && (minutes == 0 || ElapsedMs(start) < total)) {
        if (due) {
            due = false;
            const std::vector<ServerInfo*> servers = doc.WatchRefreshServers();
            doc.RefreshServers(servers);
            continue;
        }
        const uint64_t elapsed = ElapsedMs(start);
        WaitForEvents(minutes == 0 || elapsed >= total ? 60000
                                                       : static_cast<int64_t>(total - elapsed));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error) || options.command.empty()) {
        std::fprintf(stderr, "%s%s%s", error.empty() ? "" : "scoutwire-cli: ", error.c_str(),
                     error.empty() ? "" : "\n");
        std::fputs(kUsage, stderr);
        return 2;
    }
    RaiseOpenFileLimit();
    std::string startFailure;
    if (StartSockets(startFailure) == 0)
        return Fail(startFailure);
    std::unique_ptr<CSettings> settings =
        options.Value("--settings") ? std::make_unique<CSettings>(*options.Value("--settings"))
                                    : std::make_unique<CSettings>();
    settings->Load();
    const std::pair<const char*, int32_t*> kNumbers[] = {
        {"--send-interval", &settings->m_nSendInterval},
        {"--max-sockets", &settings->m_nMaxOpenSockets},
        {"--rate", &settings->m_nQueriesPerSecond},
        {"--timeout", &settings->m_nSocketTimeout},
        {"--clean-interval", &settings->m_nCleanInterval}};
    for (const auto& [name, member] : kNumbers)
        if (auto value = options.Value(name)) {
            int n = 0;
            if (!ParseNumber(*value, n))
                return Fail(std::string("bad number for ") + name + ": " + *value);
            *member = n;
        }
    settings->ApplyLimits();
    InstallCancelHandler();

    // For measurements: keep the event loop as busy as a large window
    // repainting would, blocking it for the given milliseconds every 20 ms.
    QTimer busyUi;
    if (auto busy = options.Value("--busy-ui")) {
        int ms = 0;
        if (!ParseNumber(*busy, ms) || ms < 0)
            return Fail("bad number for --busy-ui: " + *busy);
        QObject::connect(&busyUi, &QTimer::timeout, [ms] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
            while (std::chrono::steady_clock::now() < until) {
            }
        });
        busyUi.start(20);
    }

    Session session(options, *settings);
    using Command = int (*)(Session&, const Options&);
    const std::map<std::string, Command> commands = {
        {"new", RunNew},     {"update", RunUpdate},   {"refresh", RunRefresh},
        {"list", RunList},   {"players", RunPlayers}, {"find", RunFind},
        {"query", RunQuery}, {"soak", RunSoak},       {"watch", RunWatch}};
    const auto it = commands.find(options.command);
    if (it == commands.end()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const int rc = it->second(session, options);
    return rc != 0 ? rc : (session.m_ui.m_nErrors ? 1 : 0);
}
