#include <gtest/gtest.h>

#include <random>

#include <boost/regex.hpp>

#include "core/ServerList.h"
#include "search/ExpressionMatcher.h"
#include "search/QueryList.h"
#include "search/SearchQuery.h"

namespace {

constexpr uint32_t kPlainIgnoreCase = 0;
constexpr uint32_t kRegexIgnoreCase = QF_REGEX;
constexpr uint32_t kRegexMatchCase = QF_REGEX | QF_MATCHCASE;
constexpr uint32_t kPlainMatchCase = QF_MATCHCASE;

bool Matches(const std::string& expression, uint32_t flags, const std::string& text) {
    ExpressionMatcher matcher;
    std::string error;
    EXPECT_TRUE(matcher.Compile(expression, flags, error)) << expression << ": " << error;
    return matcher.Search(text);
}

struct Case {
    const char* expression;
    uint32_t flags;
    const char* text;
    bool match;
};

void ExpectCases(std::initializer_list<Case> cases) {
    for (const Case& c : cases)
        EXPECT_EQ(Matches(c.expression, c.flags, c.text), c.match)
            << '"' << c.expression << "\" flags " << c.flags << " on \"" << c.text << '"';
}

// A server at 10.0.0.<n> with the given player names (slot index = position).
ServerInfo* AddServer(OwningServerList& list, uint8_t n, std::initializer_list<const char*> names) {
    auto server = std::make_unique<ServerInfo>(0x0A000000u | n, 27015);
    server->m_strName = "server " + std::to_string(n);
    auto players = std::make_unique<PlayerList>(1);
    uint8_t index = 0;
    for (const char* name : names) {
        auto player = std::make_unique<PlayerInfo>();
        player->m_strName = name;
        player->m_nIndex = index++;
        player->m_nFrags = 10 * index;
        players->Insert(std::move(player));
    }
    server->SetPlayers(std::move(players));
    ServerInfo* raw = server.get();
    list.Insert(std::move(server));
    return raw;
}

bool RunQuery(SearchQuery& query, const OwningServerList& servers) {
    ExpressionMatcher matcher;
    std::string error;
    if (!matcher.Compile(query.m_strExpression, query.m_dwFlags, error))
        return false;
    query.Run(matcher, servers);
    return true;
}

} // namespace

// What the library's own syntax does is left to the randomised comparison
// below; these are the program's choices: plain text, letter case over the
// names' Windows-1252 letters, and a match anywhere in the name.
TEST(ExpressionMatcherTest, PlainTextLetterCaseAndBadExpressions) {
    ExpectCases({
        {"oh", kRegexIgnoreCase, "John", true},
        {"a.c", kPlainIgnoreCase, "abc", false},
        {"^abc", kPlainIgnoreCase, "x^abc", true},
        {"[x]", kPlainIgnoreCase, "[X]-Man", true},
        {"abc", kPlainMatchCase, "xxABCxx", false},
        // Latin-1 letters fold as well: "ärger" and "ÄRGER" are one name.
        {"\xE4rger", kPlainIgnoreCase, "\xC4RGER", true},
        {"\xC4RGER", kRegexIgnoreCase, "der \xE4rger", true},
        {"\xE4rger", kPlainMatchCase, "\xC4RGER", false},
        {"[\xE0-\xFE]", kRegexIgnoreCase, "\xC9", true},
        // The multiplication and division signs are not a letter pair.
        {"\xD7", kPlainIgnoreCase, "\xF7", false},
        // S, OE, Z and Y with their marks of Windows-1252 are.
        {"\x8A\x9C\x8E", kPlainIgnoreCase, "\x9A\x8C\x9E", true},
        {"\xFF", kRegexIgnoreCase, "\x9F", true},
        {"^[[:alpha:]]+$", kRegexMatchCase, "\x8A\xE9\x9F\xDF", true},
        {"[[:alpha:]]", kRegexMatchCase, "\xD7\xF7\x80\xA9", false},
        {"^[[:upper:]]+$", kRegexMatchCase, "\x8A\xC9\x9F", true},
        {"^[[:lower:]]+$", kRegexMatchCase, "\x9A\xE9\xFF", true},
        {"^\\w+$", kRegexMatchCase, "\xC4rger_\x9E", true},
    });
    EXPECT_TRUE(Matches("b.c", kRegexIgnoreCase, std::string("ab\0cd", 5)));

    // A failed expression also takes the previous one away.
    ExpressionMatcher matcher;
    std::string error;
    for (const char* bad : {"(", "[abc", "a{2,1}", "\\", "(a))"}) {
        ASSERT_TRUE(matcher.Compile("abc", kRegexIgnoreCase, error));
        EXPECT_FALSE(matcher.Compile(bad, kRegexIgnoreCase, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_FALSE(matcher.Search("abc")) << bad;
    }
    EXPECT_FALSE(ExpressionMatcher().Search("anything"));
    // A name chosen by a server must not end the program through the
    // library's complexity limit.
    EXPECT_FALSE(Matches("(x+x+)+y", kRegexIgnoreCase, std::string(30, 'x')));
}

TEST(ExpressionMatcherTest, AgreesWithThePlainLibrarySearch) {
    // The matcher skips names that no match can begin in; over ASCII it must
    // answer exactly as a plain search with the same options does.
    std::mt19937 rng(7);
    const std::string alphabet = "abcxyzABCXYZ019_[]. \n-(";
    std::vector<std::string> names{""};
    for (int i = 0; i < 3000; ++i) {
        std::string name(rng() % 13, ' ');
        for (char& c : name)
            c = alphabet[rng() % alphabet.size()];
        names.push_back(name);
    }
    const boost::regex::flag_type base = boost::regex::no_perl_ex;
    for (const char* expression :
         {"^abc",       "a|^b", "(a)\\1", "x*",   "$",   "^",    "\\<x",   "\\bz9", "[[:digit:]]+$",
          "(ab|xy){2}", ".",    "a?b?",   "[^a]", "\\W", "c\\.", "(^|_)x", "[\\]]", "b{2,}",
          "\\n",        "(",    "a.c",    "X",    "[",   "z+",   ")"}) {
        for (uint32_t flags :
             {kRegexIgnoreCase, kRegexMatchCase, kPlainIgnoreCase, kPlainMatchCase}) {
            ExpressionMatcher matcher;
            std::string error;
            if (!matcher.Compile(expression, flags, error))
                continue;
            boost::regex::flag_type options = base;
            if (!(flags & QF_MATCHCASE))
                options |= boost::regex::icase;
            if (!(flags & QF_REGEX))
                options |= boost::regex::literal;
            const boost::regex reference(expression, options);
            for (const std::string& name : names)
                ASSERT_EQ(matcher.Search(name), boost::regex_search(name, reference))
                    << '"' << expression << "\" flags " << flags << " on \"" << name << '"';
        }
    }
}

TEST(SearchQueryTest, FindsPlayersServerByServer) {
    OwningServerList servers(1);
    ServerInfo* third = AddServer(servers, 3, {"Sniper", "noob", "SNIPER elite"});
    ServerInfo* first = AddServer(servers, 1, {"alice", "sniperwolf"});
    servers.Insert(std::make_unique<ServerInfo>(0x0A000002u, 27015)); // no players answer
    ServerInfo* deleted = AddServer(servers, 4, {"bob the sniper"});
    deleted->m_bDeleted = 1;
    AddServer(servers, 5, {});

    SearchQuery query("snipers", "sniper", kPlainIgnoreCase);
    ASSERT_TRUE(RunQuery(query, servers));

    // Servers once each in list order; players in slot order per server.
    EXPECT_EQ(query.m_servers, (std::vector<ServerInfo*>{first, third, deleted}));
    std::vector<std::tuple<ServerInfo*, std::string, int, int>> found;
    for (const auto& p : query.m_players)
        found.emplace_back(p->m_pServer, p->m_pPlayer->m_strName, p->m_pPlayer->m_nIndex,
                           p->m_pPlayer->m_nFrags);
    EXPECT_EQ(found, (std::vector<std::tuple<ServerInfo*, std::string, int, int>>{
                         {first, "sniperwolf", 1, 20},
                         {third, "Sniper", 0, 10},
                         {third, "SNIPER elite", 2, 30},
                         {deleted, "bob the sniper", 0, 10}}));
    EXPECT_EQ(query.GetLabel(), "snipers  (3/4):  \"sniper\"  ");

    // The results are copies: a new players answer does not change them; a
    // second run replaces them.
    third->SetPlayers(std::make_unique<PlayerList>(1));
    EXPECT_EQ(query.m_players[1]->m_pPlayer->m_strName, "Sniper");
    ASSERT_TRUE(RunQuery(query, servers));
    EXPECT_EQ(std::make_pair(query.m_servers.size(), query.m_players.size()),
              std::make_pair(2ul, 2ul));
    EXPECT_EQ(SearchQuery("", "x", 0).GetLabel(), "<no name>  (0/0):  \"x\"  ");
    EXPECT_EQ(Query("Friends", "bob|al", 1).GetLabel(), "Friends:  \"bob|al\"  ");
}

// The query list in a column's order, both ways.
TEST(QueryListTest, SortOrders) {
    OwningServerList servers(1);
    AddServer(servers, 1, {"ab", "abc"});
    AddServer(servers, 2, {"abc"});
    SearchQuery wide("alpha", "AB", kPlainIgnoreCase);  // 2 servers, 3 players
    SearchQuery narrow("Beta", "abc", kPlainMatchCase); // 2 servers, 2 players
    SearchQuery none("ALPHA", "zz", kPlainIgnoreCase);  // nothing
    for (SearchQuery* q : {&wide, &narrow, &none})
        ASSERT_TRUE(RunQuery(*q, servers));
    const struct {
        int32_t key;
        std::vector<SearchQuery*> order;
    } cases[] = {
        {2, {&wide, &narrow, &none}}, // expression, without case
        {-2, {&none, &narrow, &wide}},
        {3, {&wide, &narrow, &none}}, // players found, larger first
        {-3, {&none, &narrow, &wide}},
    };
    for (const auto& c : cases) {
        QueryList list(c.key);
        for (SearchQuery* q : {&wide, &none, &narrow})
            list.Insert(q);
        std::vector<SearchQuery*> got;
        for (int i = 0; i < list.GetSize(); ++i)
            got.push_back(list[i]);
        EXPECT_EQ(got, c.order) << "key " << c.key;
    }
}
