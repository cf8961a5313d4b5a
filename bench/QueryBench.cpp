#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

#include "core/ServerList.h"
#include "search/ExpressionMatcher.h"
#include "search/SearchQuery.h"

namespace {

constexpr int kServers = 20000;
constexpr int kPlayersPerServer = 16;

// Player names as they come from real servers: clan tags, leetspeak,
// decorations, numbers, and Latin-1 letters from European players.
std::string MakeName(std::mt19937& rng) {
    static const char* const kTags[] = {"",      "",       "",    "",   "[TAG]",   "{CLAN}",
                                        "=RTX=", "|SoF| ", "(K)", "-=", "[d\xE9]", "xX"};
    static const char* const kBases[] = {
        "Sniper",     "Gordon",    "Freeman",  "Shephard", "barney",      "Killer",   "n00b",
        "Player",     "Ghost",     "J\xF6rg",  "Bj\xF6rn", "Fran\xE7ois", "Ren\xE9",  "M\xFCller",
        "\xC5sa",     "Se\xF1or",  "\xC4rger", "sk8er",    "R4mb0",       "Headshot", "camper",
        "Vortigaunt", "Scientist", "Grunt",    "HECU",     "Xen",         "crowbar",  "Gl0ck"};
    static const char* const kTails[] = {"", "", "", "", "=-", "Xx", "]", "_", "^^", "!", " :-("};
    std::string name = kTags[rng() % std::size(kTags)];
    name += kBases[rng() % std::size(kBases)];
    if (rng() % 3 == 0)
        name += std::to_string(rng() % 1000);
    name += kTails[rng() % std::size(kTails)];
    return name;
}

std::unique_ptr<OwningServerList> MakeServers() {
    std::mt19937 rng(20240229);
    auto servers = std::make_unique<OwningServerList>(1);
    servers->Reserve(kServers);
    for (int s = 0; s < kServers; ++s) {
        auto server = std::make_unique<ServerInfo>(0x0A000000u + static_cast<uint32_t>(s), 27015);
        auto players = std::make_unique<PlayerList>(1);
        players->Reserve(kPlayersPerServer);
        for (int p = 0; p < kPlayersPerServer; ++p) {
            auto player = std::make_unique<PlayerInfo>();
            player->m_nIndex = static_cast<uint8_t>(p);
            player->m_strName = MakeName(rng);
            players->Append(std::move(player));
        }
        server->SetPlayers(std::move(players));
        servers->Append(std::move(server));
    }
    return servers;
}

// A regular expression, case ignored, over 320,000 player names.
void BM_RegexQueryOverAllPlayers(benchmark::State& state) {
    const auto servers = MakeServers();
    ExpressionMatcher matcher;
    std::string error;
    if (!matcher.Compile("sn[i1]per[0-9]*|^\\[d.\\]|\xE4rger$|gl[o0]ck", QF_REGEX, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    SearchQuery query;
    for (auto _ : state) {
        query.Run(matcher, *servers);
        benchmark::DoNotOptimize(query.m_players.data());
    }
    state.SetItemsProcessed(state.iterations() * kServers * kPlayersPerServer);
    state.counters["found"] = static_cast<double>(query.m_players.size());
    state.counters["servers"] = static_cast<double>(query.m_servers.size());
}

} // namespace

BENCHMARK(BM_RegexQueryOverAllPlayers)->Unit(benchmark::kMillisecond);
