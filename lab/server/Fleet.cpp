#include "Fleet.h"

#include "Prng.h"

#include <string_view>
#include <tuple>

#include <algorithm>
#include <iterator>

namespace lab {

namespace {

// Draw streams: one per server and purpose, so adding a draw to one purpose
// leaves the others as they were.
enum Purpose : uint64_t {
    kSummary = 1,
    kContent = 2,
    kLoss = 3,
    kA2s = 4,
    kChallenge = 5,
    kChurn = 6
};

Prng StreamFor(uint64_t seed, int index, Purpose purpose) {
    return Prng(Prng::Mix(Prng::Mix(seed, static_cast<uint64_t>(index)), purpose));
}

struct MapRange {
    int first;
    int count;
};

const char* const kMaps[] = {
    // Counter-Strike
    "de_dust", "de_dust2", "cs_office", "de_aztec", "cs_italy", "de_inferno", "de_nuke", "de_train",
    "cs_assault", "DE_Cbble", "as_oilrig",
    // Half-Life deathmatch
    "crossfire", "datacore", "stalkyard", "boot_camp", "snark_pit", "bounce",
    // Team Fortress Classic
    "2fort", "well", "rock2", "hunted",
    // Day of Defeat
    "dod_anzio", "dod_avalanche", "dod_flash", "dod_donner",
    // Served by A2S fleets only: Deathmatch Classic, Opposing Force, Ricochet
    "dcdm5", "dm_kaos", "op4_bootcamp", "op4_gasworks", "rc_arena", "rc_deathmatch"};

constexpr MapRange kCounterStrikeMaps{0, 11};
constexpr MapRange kDeathmatchMaps{11, 6};
constexpr MapRange kFortressMaps{17, 4};
constexpr MapRange kDefeatMaps{21, 4};
constexpr MapRange kClassicMaps{25, 2};
constexpr MapRange kOpposingMaps{27, 2};
constexpr MapRange kRicochetMaps{29, 2};

struct GameKind {
    const char* dir;
    const char* description;
    int weight;      // of the old protocol's fleet
    int steamWeight; // of an A2S fleet, which has every app id of the family
    MapRange maps;
};

// Mostly cstrike, and a few directories in capitals: the master and the
// client compare game directories without regard to case. The games of
// weight 0 only appear in A2S fleets; the old fleet stays as it was.
const GameKind kGames[] = {
    {"cstrike", "Counter-Strike", 56, 48, kCounterStrikeMaps},
    {"CStrike", "Counter-Strike", 5, 4, kCounterStrikeMaps},
    {"valve", "Half-Life", 14, 12, kDeathmatchMaps},
    {"Valve", "Half-Life", 3, 2, kDeathmatchMaps},
    {"tfc", "Team Fortress Classic", 10, 9, kFortressMaps},
    {"dod", "Day of Defeat", 12, 10, kDefeatMaps},
    {"dmc", "Deathmatch Classic", 0, 3, kClassicMaps},
    {"gearbox", "Opposing Force", 0, 4, kOpposingMaps},
    {"ricochet", "Ricochet", 0, 2, kRicochetMaps},
    {"czero", "Condition Zero", 0, 6, kCounterStrikeMaps},
};

// App ids of the Half-Life family by game directory; third-party mods run
// under Half-Life's 70.
struct AppIdOfDir {
    const char* dir;
    uint16_t appId;
};
const AppIdOfDir kAppIds[] = {{"cstrike", 10}, {"tfc", 20},      {"dod", 30},  {"dmc", 40},
                              {"gearbox", 50}, {"ricochet", 60}, {"czero", 80}};

const char* const kKeywords[] = {"secure", "dust,casual", "hltv", "clan,war,private"};

const int kMaxPlayerChoices[] = {8, 10, 12, 14, 16, 18, 20, 24, 32};

// Server names carry Latin-1 bytes and regular-expression characters, so
// that searching and display are tested on what real servers send.
const char* const kNamePrefixes[] = {"",        "",       "",       "[EU] ", "[US] ", "(DE) ", "**",
                                     "^1337^ ", "|TFA| ", "{KoK} ", "<<",    "$$ ",   "1.6 "};
const char* const kNameCores[] = {"Caf\xE9 Cr\xE8me",
                                  "M\xFCnchen Fragfest",
                                  "Dust.Only",
                                  "Noobs|Pros",
                                  "AWP*Heaven",
                                  "Pub (no rules)",
                                  "Gordon's Crowbars",
                                  "Sm\xF8rrebr\xF8"
                                  "d Server",
                                  "Fran\xE7"
                                  "ais Public",
                                  "a+b=c?",
                                  "Ni\xF1os Locos",
                                  "Headshot Arena",
                                  "The Pit",
                                  "\xC5land Warriors",
                                  "Back\\slash Bros",
                                  "Zero^Gravity",
                                  "Stra\xDF"
                                  "e 66",
                                  "Old School",
                                  "[Clan] Wars",
                                  "Only.de_dust2.*"};

// Player names: Latin-1, regular-expression characters, duplicates across
// servers (drawn from one pool) and the odd empty name.
const char* const kPlayerNames[] = {
    "Player",    "Gordon",        "Barney",   "[DK]Sniper", "J\xFCrgen",   "Ren\xE9",
    "Bj\xF6rn",  "Fran\xE7ois",   "\xC5sa",   "a.b",        "(noob)",      "*star*",
    "^caret^",   "pipe|name",     "$money$",  "what?",      "back\\slash", "plus+plus",
    "{curly}",   "-=[Camper]=-",  "Se\xF1or", "Nameless",   "x",           "Mr. T",
    "M\xE6gnus", "D\xE9j\xE0 Vu", "Headcrab", "Kevin",      "sv_cheats 1", "#1"};

const char* const kMessages[] = {
    "You have been banned from this server.",    "Server is full. Try again later.",
    "This server is for clan members only.",     "Bad challenge.",
    "Le serveur est r\xE9serv\xE9 aux membres.",
};

const char* const kTimeLimits[] = {"20.5", "30", "0", "45", "25", "60"};
const char* const kRoundTimes[] = {"2.5", "3", "5"};
const char* const kReserveSlots[] = {"2", "2.9", "4", "abc", "0", "1"};
const char* const kContacts[] = {"admin@clan.example.org", "irc #dustbowl", "http://example.org"};

template <typename T, size_t N> const T& Pick(Prng& rng, const T (&items)[N]) {
    return items[rng.Below(static_cast<uint32_t>(N))];
}

int PickGame(Prng& rng, bool steam) {
    const auto weight = [steam](const GameKind& game) {
        return steam ? game.steamWeight : game.weight;
    };
    int total = 0;
    for (const GameKind& game : kGames)
        total += weight(game);
    int roll = static_cast<int>(rng.Below(static_cast<uint32_t>(total)));
    for (int i = 0; i < static_cast<int>(std::size(kGames)); ++i) {
        roll -= weight(kGames[i]);
        if (roll < 0)
            return i;
    }
    return 0;
}

// The first draws of a server's content: its name and whether it wants a
// password (the Steam filter needs the latter without the rest).
void DrawHead(Prng& rng, int index, std::string* name, bool& password) {
    // The core is drawn before the prefix, as the fleets of earlier versions
    // drew them: the same seed keeps giving the same names.
    const char* core = Pick(rng, kNameCores);
    const char* prefix = Pick(rng, kNamePrefixes);
    if (name != nullptr)
        *name = std::string(prefix) + core + " #" + std::to_string(index + 1);
    password = rng.Chance(0.2);
}

LabPlayer DrawPlayer(Prng& rng, int slot) {
    LabPlayer player;
    player.index = static_cast<uint8_t>(slot);
    if (!rng.Chance(0.03)) {
        player.name = Pick(rng, kPlayerNames);
        if (rng.Chance(0.35))
            player.name += std::to_string(rng.Range(1, 99));
    }
    player.frags = rng.Range(-5, 60);
    player.fragsDelta = rng.Range(-2, 3);
    player.timeTenths = rng.Range(0, 72000);
    return player;
}

std::vector<LabRule> DrawRules(Prng& rng) {
    std::vector<LabRule> rules;
    rules.push_back({"mp_timelimit", Pick(rng, kTimeLimits)});
    rules.push_back({"mp_timeleft", std::to_string(rng.Range(0, 2700))});
    rules.push_back({"mp_friendlyfire", rng.Chance(0.3) ? "1" : "0"});
    rules.push_back({"sv_gravity", rng.Chance(0.9) ? "800" : "400"});
    rules.push_back({"mp_roundtime", Pick(rng, kRoundTimes)});
    rules.push_back({"sv_maxspeed", "320"});
    rules.push_back({"mp_fraglimit", std::to_string(rng.Range(0, 50))});
    rules.push_back({"allow_spectators", rng.Chance(0.8) ? "1" : "0"});
    const double contact = rng.Unit();
    if (contact < 0.4)
        rules.push_back({"sv_contact", "votes:\t" + std::to_string(rng.Range(1, 99)) + " yes"});
    else if (contact < 0.8)
        rules.push_back({"sv_contact", Pick(rng, kContacts)});
    if (rng.Chance(0.35))
        rules.push_back({"reserve_slots", Pick(rng, kReserveSlots)});
    return rules;
}

} // namespace

Fleet::Fleet(const LabOptions& options)
    : m_options(options), m_start(Clock::now()),
      m_startWallMs(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count()) {
    m_summaries.reserve(static_cast<size_t>(options.servers));
    for (int i = 0; i < options.servers; ++i)
        m_summaries.push_back(DrawSummary(i));
    // The bad-split servers take the faults in turn, so that a small fleet
    // has each of them; the k-th such server is the same whatever the size.
    int badSplits = 0;
    for (ServerSummary& s : m_summaries)
        if (s.behaviour == Behaviour::BadSplit)
            s.splitFault =
                static_cast<uint8_t>(1 + badSplits++ % (A2sEncoder::kSplitFaultCount - 1));
}

int Fleet::IndexOf(uint32_t address) const {
    if (address < m_options.baseAddress)
        return -1;
    const uint32_t offset = address - m_options.baseAddress;
    return offset < m_summaries.size() ? static_cast<int>(offset) : -1;
}

ServerSummary Fleet::DrawSummary(int index) const {
    Prng rng = StreamFor(m_options.seed, index, kSummary);
    ServerSummary s;
    const double roll = rng.Unit();
    double edge = m_options.silent;
    if (roll < edge)
        s.behaviour = Behaviour::Silent;
    else if (roll < (edge += m_options.detailsOnly))
        s.behaviour = Behaviour::DetailsOnly;
    else if (roll < (edge += m_options.message))
        s.behaviour = Behaviour::Message;
    else if (roll < (edge += m_options.draining))
        s.behaviour = Behaviour::Draining;
    else if (roll < (edge += m_options.unterminated))
        s.behaviour = Behaviour::Unterminated;
    else if (roll < (edge += m_options.overcount))
        s.behaviour = Behaviour::Overcount;
    else if (roll < (edge += m_options.oversize))
        s.behaviour = Behaviour::Oversize;
    else if (roll < (edge += m_options.flood))
        s.behaviour = Behaviour::Flood;
    else if (roll < (edge += m_options.unsolicited))
        s.behaviour = Behaviour::Unsolicited;
    else if (roll < (edge += m_options.flapping))
        s.behaviour = Behaviour::Flapping;
    else if (roll < (edge += m_options.challengeForever))
        s.behaviour = Behaviour::ChallengeForever;
    else if (roll < (edge += m_options.badSplit))
        s.behaviour = Behaviour::BadSplit;

    s.game = static_cast<uint8_t>(PickGame(rng, m_options.Steam()));
    const MapRange maps = kGames[s.game].maps;
    s.map = static_cast<uint8_t>(maps.first + rng.Range(0, maps.count - 1));
    s.maxPlayers = static_cast<uint8_t>(Pick(rng, kMaxPlayerChoices));
    const double fill = rng.Unit();
    if (fill < 0.15)
        s.players = 0;
    else if (fill < 0.30)
        s.players = s.maxPlayers;
    else
        s.players = static_cast<uint8_t>(rng.Range(1, s.maxPlayers - 1));
    // The first two servers are one full and one empty, so both always exist.
    if (index == 0)
        s.players = s.maxPlayers;
    else if (index == 1)
        s.players = 0;
    if (s.behaviour == Behaviour::Draining)
        s.players = s.maxPlayers;
    s.type = rng.Chance(0.85) ? 'd' : 'l';
    s.os = rng.Chance(0.6) ? 'l' : 'w';
    s.latencyMs = static_cast<uint16_t>(rng.Range(m_options.latencyMinMs, m_options.latencyMaxMs));
    Prng head = StreamFor(m_options.seed, index, kContent);
    DrawHead(head, index, nullptr, s.password);
    if (m_options.Steam()) {
        Prng a2s = StreamFor(m_options.seed, index, kA2s);
        s.wantsChallenge = a2s.Chance(m_options.challengeFraction);
        const double form = a2s.Unit();
        s.infoForm = form < m_options.infoOld                        ? InfoForm::M
                     : form < m_options.infoOld + m_options.infoBoth ? InfoForm::MThenI
                                                                     : InfoForm::I;
        s.newerSplit = a2s.Chance(m_options.newerSplit);
        s.runningIndex = a2s.Chance(0.5);
        s.extraFlags = A2sEncoder::kGamePort;
        if (a2s.Chance(0.7))
            s.extraFlags |= A2sEncoder::kSteamId;
        if (a2s.Chance(0.1))
            s.extraFlags |= A2sEncoder::kSpectator;
        if (a2s.Chance(0.5))
            s.extraFlags |= A2sEncoder::kKeywords;
        if (a2s.Chance(0.7))
            s.extraFlags |= A2sEncoder::kGameId;
        s.legacy = a2s.Chance(m_options.legacyFraction);
    }
    return s;
}

ServerContent Fleet::Content(int index) const {
    const ServerSummary& s = Summary(index);
    const GameKind& game = kGames[s.game];
    Prng rng = StreamFor(m_options.seed, index, kContent);
    ServerContent c;
    DrawHead(rng, index, &c.name, c.password);
    c.map = kMaps[s.map];
    c.game = game.dir;
    c.description = game.description;
    c.players = s.players;
    c.maxPlayers = s.maxPlayers;
    c.type = s.type;
    c.os = s.os;
    const double trailer = rng.Unit();
    c.trailer = trailer < 0.4 ? Trailer::None : trailer < 0.7 ? Trailer::Plain : Trailer::Mod;
    if (c.trailer == Trailer::Mod) {
        c.mod.infoUrl = std::string("http://www.example.org/mods/") + game.dir;
        c.mod.downloadUrl = c.mod.infoUrl + "/download";
        c.mod.version = rng.Range(1, 20);
        c.mod.size = rng.Range(100000, 90000000);
        c.mod.serverOnly = rng.Chance(0.2) ? 1 : 0;
        c.mod.customDll = rng.Chance(0.5) ? 1 : 0;
    }
    c.secure = rng.Chance(0.5) ? 1 : 0;
    c.message = Pick(rng, kMessages);
    for (int slot = 1; slot <= s.players; ++slot)
        c.playerList.push_back(DrawPlayer(rng, slot));
    c.rules = DrawRules(rng);
    // Long rule lists make A2S servers split their rules reply.
    for (int i = 0; i < m_options.extraRules; ++i)
        c.rules.push_back({"lab_filler_" + std::to_string(i + 1),
                           "value " + std::to_string(rng.Range(0, 999999)) + " of rule " +
                               std::to_string(i + 1)});
    if (SpeaksA2s(index)) {
        c.protocol = 48;
        // Half-Life's own 'm' always carries the mod byte, secure and bots;
        // only much older builds stop after the password byte.
        if (c.trailer == Trailer::None)
            c.trailer = Trailer::Plain;
    }
    return c;
}

A2sInfo Fleet::A2s(int index) const {
    const ServerSummary& s = Summary(index);
    A2sInfo info;
    info.appId = AppIdOf(GameDir(s.game));
    info.version = "1.1.2.7/Stdio";
    info.extraFlags = s.extraFlags;
    info.gamePort = m_options.port;
    // Universe 1, account type 4: an anonymous game server's id.
    info.steamId = 0x0140000000000000ull + uint64_t(index) + 1;
    info.spectatorPort = static_cast<uint16_t>(m_options.port + 5);
    info.spectatorName = "Scoutwire TV";
    Prng rng = StreamFor(m_options.seed, index, kA2s);
    for (int i = 0; i < 8; ++i)
        rng.Next();
    info.keywords = Pick(rng, kKeywords);
    info.gameId = info.appId;
    return info;
}

uint32_t Fleet::ChallengeFor(int index, uint32_t clientAddress) const {
    Prng rng(Prng::Mix(StreamFor(m_options.seed, index, kChallenge).Next(), clientAddress));
    uint32_t challenge = static_cast<uint32_t>(rng.Next());
    // All ones is the request for a challenge, never one.
    return challenge == 0xFFFFFFFFu ? 0x5C0FF1CEu : challenge;
}

uint16_t Fleet::AppIdOf(const char* gameDir) {
    const std::string_view dir(gameDir);
    for (const AppIdOfDir& known : kAppIds) {
        const std::string_view name(known.dir);
        if (name.size() == dir.size() &&
            std::equal(name.begin(), name.end(), dir.begin(),
                       [](char a, char b) { return a == (b | 0x20) || a == b; }))
            return known.appId;
    }
    return 70;
}

std::string Fleet::WandererName(int wanderer) {
    return "Wanderer" + std::to_string(wanderer + 1);
}

int64_t Fleet::ChurnEpoch(Clock::time_point now) const {
    if (m_options.churnPeriodMs <= 0)
        return 0;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start);
    return elapsed.count() / m_options.churnPeriodMs;
}

std::vector<int> Fleet::WanderersAt(int64_t epoch) const {
    if (m_options.churnPeriodMs <= 0)
        return {};
    if (epoch == m_cachedEpoch)
        return m_cachedWanderers;
    std::vector<int> at(kWanderers, -1);
    const int n = Size();
    for (int w = 0; w < kWanderers; ++w) {
        Prng rng(Prng::Mix(StreamFor(m_options.seed, w, kChurn).Next(), uint64_t(epoch)));
        if (rng.Chance(0.25))
            continue;
        const int start = static_cast<int>(rng.Below(uint32_t(n)));
        for (int k = 0; k < n; ++k) {
            const int i = (start + k) % n;
            const ServerSummary& s = Summary(i);
            const int here = static_cast<int>(std::count(at.begin(), at.end(), i));
            if (s.behaviour == Behaviour::Normal && s.players + here < s.maxPlayers) {
                at[size_t(w)] = i;
                break;
            }
        }
    }
    m_cachedEpoch = epoch;
    m_cachedWanderers = at;
    return at;
}

std::vector<LabPlayer> Fleet::PlayerListNow(int index, const ServerContent& content,
                                            Clock::time_point now) const {
    std::vector<LabPlayer> players = content.playerList;
    const std::vector<int> at = WanderersAt(ChurnEpoch(now));
    for (int w = 0; w < int(at.size()); ++w)
        if (at[size_t(w)] == index) {
            LabPlayer p;
            p.index = static_cast<uint8_t>(players.size() + 1);
            p.name = WandererName(w);
            p.timeTenths = 600;
            players.push_back(std::move(p));
        }
    return players;
}

int Fleet::PlayersNow(int index, Clock::time_point now) const {
    const ServerSummary& s = Summary(index);
    if (s.behaviour != Behaviour::Draining) {
        const std::vector<int> at = WanderersAt(ChurnEpoch(now));
        return s.players + static_cast<int>(std::count(at.begin(), at.end(), index));
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start);
    const long long gone = elapsed.count() / m_options.drainIntervalMs;
    return static_cast<int>(std::max<long long>(0, s.players - gone));
}

bool Fleet::IsUp(int index, Clock::time_point now) const {
    const ServerSummary& s = Summary(index);
    if (s.behaviour == Behaviour::Silent)
        return false;
    if (s.behaviour != Behaviour::Flapping)
        return true;
    // Odd and even servers take turns, so some of them are always up.
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start);
    return (elapsed.count() / m_options.flapPeriodMs + index) % 2 == 0;
}

uint32_t Fleet::ListedAddress(int i) const {
    // Multiplying by a prime above the list's length visits every index once,
    // in an order far from sorted: the client cannot get away with appending.
    const auto n = static_cast<uint64_t>(m_options.serversListed);
    const uint64_t scrambled = (static_cast<uint64_t>(i) * 1000003ull + 12345ull) % n;
    return kListedBase + static_cast<uint32_t>(scrambled);
}

int Fleet::ListedPosition(uint32_t address) const {
    const auto n = static_cast<int64_t>(m_options.serversListed);
    if (n == 0 || address < kListedBase || address - kListedBase >= uint64_t(n))
        return -1;
    // Undoes ListedAddress: i = (s - 12345) * 1000003^-1 mod n. The prime is
    // above any list's length, so the inverse exists.
    int64_t r0 = n, r1 = 1000003 % n, t0 = 0, t1 = 1;
    while (r1 != 0) {
        const int64_t q = r0 / r1;
        std::tie(r0, r1) = std::make_pair(r1, r0 - q * r1);
        std::tie(t0, t1) = std::make_pair(t1, t0 - q * t1);
    }
    const int64_t inverse = ((t0 % n) + n) % n;
    const int64_t scrambled = int64_t(address - kListedBase);
    const int64_t shifted = ((scrambled - 12345) % n + n) % n;
    return static_cast<int>(static_cast<__int128>(shifted) * inverse % n);
}

bool Fleet::DropsRequest(int index, uint32_t requestNumber) const {
    if (m_options.loss <= 0)
        return false;
    Prng rng(Prng::Mix(StreamFor(m_options.seed, index, kLoss).Next(), requestNumber));
    return rng.Chance(m_options.loss);
}

int Fleet::GameCount() {
    return static_cast<int>(std::size(kGames));
}
const char* Fleet::GameDir(int game) {
    return kGames[game].dir;
}
int Fleet::MapCount() {
    return static_cast<int>(std::size(kMaps));
}
const char* Fleet::MapName(int map) {
    return kMaps[map];
}

} // namespace lab
