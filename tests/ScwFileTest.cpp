#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

#include "core/ScwArchiveReader.h"
#include "core/ScwArchiveWriter.h"
#include "core/ScwFile.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

uint8_t Key(size_t i) {
    return static_cast<uint8_t>(kScrambleMultiplier * i + kScrambleOffset);
}

// The parts the document adds after its lists, as a file of the given
// document schema has them.
void WriteTrailer(ScwArchiveWriter& ar, uint16_t docSchema, const ServerFilter& filter = {},
                  const Query& find = {}) {
    const auto writeFilter = [&](const ServerFilter& f) {
        ar.WriteClass("ServerFilter", 1);
        ar.WriteDword(f.m_dwFlags);
        ar.WriteDword(f.m_nMaxPing);
        ar.WriteByte(f.m_nMaxPlayers);
        ar.WriteString(f.m_strServerType);
        ar.WriteString(f.m_strOS);
        ar.WriteString(f.m_strGame);
        ar.WriteString(f.m_strMap);
    };
    if (docSchema >= 1)
        writeFilter(filter);
    if (docSchema >= 3)
        writeFilter(filter);
    if (docSchema >= 2) {
        ar.WriteClass("Query", 3);
        ar.WriteString(find.m_strName);
        ar.WriteString(find.m_strExpression);
        ar.WriteDword(find.m_dwFlags);
    }
}

// A server's members of schema 5, all texts empty.
void WritePlainServerMembers(ScwArchiveWriter& ar, uint32_t address) {
    ar.WriteDword(address);
    ar.WriteWord(27015);
    ar.WriteDword(0);
    ar.WriteDword(0);
    ar.WriteByte(0);
    ar.WriteByte(0);
    for (int i = 0; i < 3; ++i)
        ar.WriteString("");
    for (int i = 0; i < 3; ++i)
        ar.WriteByte(0);
    for (int i = 0; i < 3; ++i)
        ar.WriteString("");
    ar.WriteByte(0);
}

struct Document {
    OwningServerList servers{1};
    std::vector<std::unique_ptr<SearchQuery>> queries;
    ServerFilter filter;
    ServerFilter masterFilter;
    Query findQuery;

    Bytes Write() const { return WriteScwFile(servers, queries, filter, masterFilter, findQuery); }
};

bool Read(const Bytes& file, ScwContents& contents) {
    return ReadScwFile(file, ScwHasHeader(file), contents);
}

void ExpectEmpty(const ScwContents& contents) {
    EXPECT_TRUE(contents.servers.empty());
    EXPECT_TRUE(contents.queries.empty());
    EXPECT_FALSE(contents.hasFilter);
    EXPECT_FALSE(contents.hasMasterFilter);
    EXPECT_FALSE(contents.hasFindQuery);
    EXPECT_EQ(contents.filter, ServerFilter());
    EXPECT_EQ(contents.masterFilter, ServerFilter());
    EXPECT_TRUE(contents.findQuery.m_strName.empty());
    EXPECT_TRUE(contents.findQuery.m_strExpression.empty());
    EXPECT_EQ(contents.findQuery.m_dwFlags, QF_REGEX);
}

// A failed read must also drop what the caller's contents held before.
void ExpectRejected(const Bytes& file, bool hasHeader, const std::string& what) {
    SCOPED_TRACE(what);
    ScwContents contents;
    contents.servers.push_back(std::make_unique<ServerInfo>(1, 2));
    contents.hasFilter = true;
    contents.filter.m_dwFlags = FILTER_GAME;
    EXPECT_FALSE(ReadScwFile(file, hasHeader, contents));
    ExpectEmpty(contents);
}

void ExpectSameServer(const ServerInfo& a, const ServerInfo& b) {
    EXPECT_EQ(a.m_dwAddress, b.m_dwAddress);
    EXPECT_EQ(a.m_wPort, b.m_wPort);
    EXPECT_EQ(a.m_nPing, b.m_nPing);
    EXPECT_EQ(a.m_dwFlags, b.m_dwFlags);
    EXPECT_EQ(a.m_bDeleted, b.m_bDeleted);
    EXPECT_EQ(a.m_nMaxPlayers, b.m_nMaxPlayers);
    EXPECT_EQ(a.m_strName, b.m_strName);
    EXPECT_EQ(a.m_strGame, b.m_strGame);
    EXPECT_EQ(a.m_strMap, b.m_strMap);
    EXPECT_EQ(a.m_cServerType, b.m_cServerType);
    EXPECT_EQ(a.m_cOS, b.m_cOS);
    EXPECT_EQ(a.m_bPassword, b.m_bPassword);
    EXPECT_EQ(a.m_strAnnotation, b.m_strAnnotation);
    EXPECT_EQ(a.m_strPassword, b.m_strPassword);
    EXPECT_EQ(a.m_strHostName, b.m_strHostName);
    EXPECT_EQ(a.m_bConnectByHostName, b.m_bConnectByHostName);
}

// Servers of every kind the user builds, plus the awkward bytes: long
// texts in both length forms, Latin-1, line breaks, passwords whose
// scrambled bytes include 0.
void FillDocument(Document& doc, int serverCount) {
    for (int i = 0; i < serverCount; ++i) {
        auto s = std::make_unique<ServerInfo>(0x0A000000u + static_cast<uint32_t>(i) * 7,
                                              static_cast<uint16_t>(27015 + i % 3));
        s->m_dwFlags = (i % 2 ? GROUP_FAVOURITES : GROUP_WON) | (i % 5 ? 0 : GROUP_MANUAL);
        s->m_nPing = static_cast<uint32_t>(i * 13 % 1000);
        s->m_bDeleted = i % 17 == 0;
        s->m_nPlayers = 5; // not stored
        s->m_nMaxPlayers = static_cast<uint8_t>(i % 33);
        s->m_strName = "Server \xC4rger #" + std::to_string(i);
        s->m_strGame = i % 3 ? "cstrike" : "valve";
        s->m_strMap = "de_dust" + std::to_string(i % 4);
        s->m_cServerType = i % 2 ? 'd' : 'l';
        s->m_cOS = i % 3 ? 'w' : 'l';
        s->m_bPassword = i % 4 == 0;
        if (i % 9 == 0)
            s->m_strAnnotation = "first line\r\nsecond line\r\n\xE9t\xE9";
        if (i % 4 == 0) {
            s->m_strPassword = "secret" + std::to_string(i);
            s->m_strPassword[2] = static_cast<char>(Key(2)); // scrambles to 0
        }
        if (i % 6 == 0) {
            s->m_strHostName = "hl" + std::to_string(i) + ".example.net";
            s->m_bConnectByHostName = i % 12 == 0;
        }
        s->m_strError = "not stored";
        doc.servers.Append(std::move(s));
    }
    doc.servers.GetAt(1)->m_strAnnotation = std::string(254, 'a');
    doc.servers.GetAt(2)->m_strAnnotation = std::string(255, 'b');
    doc.servers.GetAt(3)->m_strAnnotation = std::string(65533, 'c');
    doc.servers.GetAt(4)->m_strAnnotation = std::string(65534, 'd');
    doc.servers.GetAt(5)->m_strName = std::string(70000, '\xFF');

    doc.queries.push_back(std::make_unique<SearchQuery>("Friends", "^\\[clan\\]", QF_REGEX));
    doc.queries.push_back(std::make_unique<SearchQuery>("", "J\xF6rg", QF_MATCHCASE));
    doc.queries.push_back(std::make_unique<SearchQuery>("long", std::string(300, 'x'), 0));
    doc.filter.m_dwFlags = FILTER_GAME | FILTER_EMPTY | FILTER_EMPTY_YES;
    doc.filter.m_nMaxPing = 150;
    doc.filter.m_nMaxPlayers = 44;
    doc.filter.m_strServerType = "Dedicated";
    doc.filter.m_strOS = "Win32";
    doc.filter.m_strGame = "CSTRIKE";
    doc.filter.m_strMap = "de_";
    doc.masterFilter.m_dwFlags = FILTER_MAP;
    doc.masterFilter.m_strMap = "cs_italy";
    doc.findQuery = Query("find", "dust", QF_MATCHCASE);
}

} // namespace

TEST(ScwFile, NewDocumentIs86Bytes) {
    const Document doc;
    const Bytes filterMembers = {0x00, 0x00, 0x00, 0x00, 0x90, 0x01, 0x00,
                                 0x00, 0x10, 0x00, 0x00, 0x00, 0x00};
    const Bytes expected = Cat({{0xFF, 0xFF, 0x03, 0x00, 0x0D, 0x00},
                                Text("CScoutwireDoc"),
                                {0x00, 0x00, 0x00, 0x00},
                                {0xFF, 0xFF, 0x01, 0x00, 0x0C, 0x00},
                                Text("ServerFilter"),
                                filterMembers,
                                {0x02, 0x80},
                                filterMembers,
                                {0xFF, 0xFF, 0x03, 0x00, 0x05, 0x00},
                                Text("Query"),
                                {0x00, 0x00, 0x01, 0x00, 0x00, 0x00}});
    const Bytes file = doc.Write();
    ASSERT_EQ(file.size(), 86u);
    EXPECT_EQ(file, expected);

    ScwContents contents;
    ASSERT_TRUE(Read(file, contents));
    EXPECT_TRUE(contents.servers.empty());
    EXPECT_TRUE(contents.queries.empty());
    EXPECT_TRUE(contents.hasFilter && contents.hasMasterFilter && contents.hasFindQuery);
    EXPECT_EQ(contents.filter, ServerFilter());
    EXPECT_EQ(contents.findQuery.m_dwFlags, 1u);
}

// Classes and objects share one running index: the filter's reference
// moves with every object written before it.
TEST(ScwFile, RunningIndexCountsClassesAndObjects) {
    Document one;
    one.servers.Insert(std::make_unique<ServerInfo>(0x7F000001, 27015));
    Bytes file = one.Write();
    const Bytes serverRecord = Cat({{0xFF, 0xFF, 0x05, 0x00, 0x0A, 0x00}, Text("ServerInfo")});
    ASSERT_TRUE(std::equal(serverRecord.begin(), serverRecord.end(), file.begin() + 21));
    // Record 19, count 2, server record 16, members 26, query count 2,
    // filter record 18 and members 13.
    const size_t masterRef = 19 + 2 + 16 + 26 + 2 + 18 + 13;
    EXPECT_EQ(file[masterRef], 0x04);
    EXPECT_EQ(file[masterRef + 1], 0x80);

    Document two;
    two.servers.Insert(std::make_unique<ServerInfo>(0x7F000001, 27015));
    two.servers.Insert(std::make_unique<ServerInfo>(0x7F000002, 27015));
    two.queries.push_back(std::make_unique<SearchQuery>("a", "a", 0));
    two.queries.push_back(std::make_unique<SearchQuery>("b", "b", 0));
    file = two.Write();
    // Second server: reference to class 2; second query: class 5; filter
    // record 8.
    const size_t second = 19 + 2 + 16 + 26;
    EXPECT_EQ(file[second], 0x02);
    EXPECT_EQ(file[second + 1], 0x80);
    const size_t secondQuery = second + 2 + 26 + 2 + 6 + 11 + 8;
    EXPECT_EQ(file[secondQuery], 0x05);
    EXPECT_EQ(file[secondQuery + 1], 0x80);
    const size_t master = secondQuery + 2 + 8 + 18 + 13;
    EXPECT_EQ(file[master], 0x08);
    EXPECT_EQ(file[master + 1], 0x80);

    ScwContents contents;
    ASSERT_TRUE(Read(file, contents));
    ASSERT_EQ(contents.servers.size(), 2u);
    ASSERT_EQ(contents.queries.size(), 2u);
    EXPECT_EQ(contents.queries[1]->m_strName, "b");
}

TEST(ScwFile, OlderServerSchemasKeepDefaults) {
    for (uint16_t schema = 1; schema <= 6; ++schema) {
        SCOPED_TRACE(schema);
        ScwArchiveWriter ar;
        ar.WriteClass("CScoutwireDoc", 3);
        ar.WriteCount(1);
        ar.WriteObjectClass("ServerInfo", schema);
        ar.WriteDword(0xC0A80001);
        ar.WriteWord(27016);
        ar.WriteDword(42);
        ar.WriteDword(GROUP_FAVOURITES);
        ar.WriteByte(1);
        ar.WriteByte(20);
        ar.WriteString("name");
        ar.WriteString("tfc");
        ar.WriteString("2fort");
        if (schema >= 2) {
            ar.WriteByte('d');
            ar.WriteByte('l');
            ar.WriteByte(1);
        }
        if (schema >= 3)
            ar.WriteString("note");
        if (schema >= 4)
            ar.WriteString(ScramblePassword("pw"));
        if (schema >= 5) {
            ar.WriteString("host.example");
            ar.WriteByte(1);
        }
        ar.WriteCount(0);
        WriteTrailer(ar, 3);

        ScwContents contents;
        ASSERT_TRUE(Read(ar.Bytes(), contents));
        ASSERT_EQ(contents.servers.size(), 1u);
        const ServerInfo& s = *contents.servers[0];
        EXPECT_EQ(s.m_dwAddress, 0xC0A80001u);
        EXPECT_EQ(s.m_wPort, 27016);
        EXPECT_EQ(s.m_nPing, 42u);
        EXPECT_EQ(s.m_dwFlags, GROUP_FAVOURITES);
        EXPECT_EQ(s.m_bDeleted, 1);
        EXPECT_EQ(s.m_nMaxPlayers, 20);
        EXPECT_EQ(s.m_strMap, "2fort");
        EXPECT_EQ(s.m_nPlayers, 0);
        EXPECT_EQ(s.m_pPlayers, nullptr);
        EXPECT_EQ(s.m_cServerType, schema >= 2 ? 'd' : 0);
        EXPECT_EQ(s.m_cOS, schema >= 2 ? 'l' : 0);
        EXPECT_EQ(s.m_bPassword, schema >= 2 ? 1 : 0);
        EXPECT_EQ(s.m_strAnnotation, schema >= 3 ? "note" : "");
        EXPECT_EQ(s.m_strPassword, schema >= 4 ? "pw" : "");
        EXPECT_EQ(s.m_strHostName, schema >= 5 ? "host.example" : "");
        EXPECT_EQ(s.m_bConnectByHostName, schema >= 5 ? 1 : 0);
    }
}

TEST(ScwFile, OlderQuerySchemas) {
    for (uint16_t schema = 1; schema <= 4; ++schema) {
        SCOPED_TRACE(schema);
        const auto members = [&](ScwArchiveWriter& ar, const std::string& prefix) {
            if (schema >= 2)
                ar.WriteString(prefix + " name");
            ar.WriteString(prefix + " expression");
            if (schema >= 3)
                ar.WriteDword(QF_MATCHCASE);
        };
        ScwArchiveWriter ar;
        ar.WriteClass("CScoutwireDoc", 3);
        ar.WriteCount(0);
        ar.WriteCount(1);
        ar.WriteObjectClass("SearchQuery", schema);
        members(ar, "query");
        WriteTrailer(ar, 1);
        WriteTrailer(ar, 1);
        ar.WriteClass("Query", schema);
        members(ar, "find");

        ScwContents contents;
        ASSERT_TRUE(Read(ar.Bytes(), contents));
        ASSERT_EQ(contents.queries.size(), 1u);
        const SearchQuery& q = *contents.queries[0];
        EXPECT_EQ(q.m_strName, schema >= 2 ? "query name" : "");
        EXPECT_EQ(q.m_strExpression, "query expression");
        EXPECT_EQ(q.m_dwFlags, schema >= 3 ? QF_MATCHCASE : QF_REGEX);
        EXPECT_EQ(contents.findQuery.m_strName, schema >= 2 ? "find name" : "");
        EXPECT_EQ(contents.findQuery.m_strExpression, "find expression");
        EXPECT_EQ(contents.findQuery.m_dwFlags, schema >= 3 ? QF_MATCHCASE : QF_REGEX);
    }
}

TEST(ScwFile, PasswordIsScrambledWithItsLength) {
    Document doc;
    auto server = std::make_unique<ServerInfo>(0x7F000001, 27015);
    server->m_strPassword = "x";
    doc.servers.Insert(std::move(server));
    Bytes file = doc.Write();
    // Record 19, count 2, server record 16, members up to the annotation 23.
    const size_t at = 19 + 2 + 16 + 23;
    EXPECT_EQ(file[at], 1);
    EXPECT_EQ(file[at + 1], 'x' ^ kScrambleOffset);
    EXPECT_EQ(file[at + 2], 0); // empty host name

    std::string nine = "abcdefghi";
    nine[4] = static_cast<char>(Key(4));
    const std::string stored = ScramblePassword(nine);
    ASSERT_EQ(stored.size(), 9u);
    EXPECT_EQ(stored[4], '\0');
    EXPECT_EQ(stored[1], static_cast<char>('b' ^ Key(1)));
    EXPECT_EQ(static_cast<uint8_t>(Key(1) - Key(0)), kScrambleMultiplier);

    doc.servers.GetAt(0)->m_strPassword = nine;
    file = doc.Write();
    EXPECT_EQ(file[at], 9);
    EXPECT_EQ(std::string(file.begin() + at + 1, file.begin() + at + 10), stored);
    ScwContents contents;
    ASSERT_TRUE(Read(file, contents));
    EXPECT_EQ(contents.servers[0]->m_strPassword, nine);
}

TEST(ScwFile, RoundTripOfTenThousandServersIsByteIdentical) {
    Document doc;
    FillDocument(doc, 10000);
    const Bytes file = doc.Write();

    ScwContents contents;
    ASSERT_TRUE(Read(file, contents));
    ASSERT_EQ(contents.servers.size(), 10000u);
    for (int i = 0; i < doc.servers.GetSize(); ++i) {
        ExpectSameServer(*contents.servers[static_cast<size_t>(i)], *doc.servers.GetAt(i));
        ASSERT_FALSE(testing::Test::HasFailure()) << "server " << i;
    }
    EXPECT_EQ(contents.servers[0]->m_nPlayers, 0);
    EXPECT_TRUE(contents.servers[0]->m_strError.empty());
    ASSERT_EQ(contents.queries.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(contents.queries[i]->m_strName, doc.queries[i]->m_strName);
        EXPECT_EQ(contents.queries[i]->m_strExpression, doc.queries[i]->m_strExpression);
        EXPECT_EQ(contents.queries[i]->m_dwFlags, doc.queries[i]->m_dwFlags);
    }
    EXPECT_EQ(contents.filter, doc.filter);
    EXPECT_EQ(contents.masterFilter, doc.masterFilter);
    EXPECT_EQ(contents.findQuery.m_strName, "find");
    EXPECT_EQ(contents.findQuery.m_dwFlags, QF_MATCHCASE);

    Document again;
    for (auto& server : contents.servers)
        again.servers.Append(std::move(server));
    again.queries = std::move(contents.queries);
    again.filter = contents.filter;
    again.masterFilter = contents.masterFilter;
    again.findQuery = contents.findQuery;
    EXPECT_TRUE(again.Write() == file);
}

TEST(ScwFile, LengthAndCountEncodings) {
    ScwArchiveWriter ar;
    ar.WriteString(std::string(254, 'a'));
    ar.WriteString(std::string(255, 'b'));
    ar.WriteString(std::string(65533, 'c'));
    ar.WriteString(std::string(65534, 'd'));
    ar.WriteCount(0xFFFE);
    ar.WriteCount(0xFFFF);
    const Bytes& b = ar.Bytes();
    size_t at = 0;
    EXPECT_EQ(b[at], 254);
    at += 1 + 254;
    EXPECT_EQ(Bytes(b.begin() + at, b.begin() + at + 3), (Bytes{0xFF, 0xFF, 0x00}));
    at += 3 + 255;
    EXPECT_EQ(Bytes(b.begin() + at, b.begin() + at + 3), (Bytes{0xFF, 0xFD, 0xFF}));
    at += 3 + 65533;
    EXPECT_EQ(Bytes(b.begin() + at, b.begin() + at + 7),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));
    at += 7 + 65534;
    EXPECT_EQ(Bytes(b.begin() + at, b.end()), (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));

    ScwArchiveReader reader(b);
    EXPECT_EQ(reader.ReadString().size(), 254u);
    EXPECT_EQ(reader.ReadString().size(), 255u);
    EXPECT_EQ(reader.ReadString().size(), 65533u);
    EXPECT_EQ(reader.ReadString().size(), 65534u);
    EXPECT_EQ(reader.ReadCount(), 0xFFFEu);
    EXPECT_EQ(reader.ReadCount(), 0xFFFFu);
    EXPECT_TRUE(reader.AtEnd());
}

// From 0x7FFF on, class references need the long form, and the server
// count its escape.
TEST(ScwFile, LargeIndicesAndCounts) {
    Document doc;
    for (uint32_t i = 0; i < 70000; ++i)
        doc.servers.Append(std::make_unique<ServerInfo>(i + 1, 27015));
    doc.queries.push_back(std::make_unique<SearchQuery>("a", "a", 0));
    doc.queries.push_back(std::make_unique<SearchQuery>("b", "b", 0));
    const Bytes file = doc.Write();

    EXPECT_EQ(Bytes(file.begin() + 19, file.begin() + 25),
              (Bytes{0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}));
    // Index 1 document, 2 server class, 3..70002 servers, 70003 query
    // class, 70004 and 70005 queries, 70006 filter class.
    const size_t queryCount = 25 + 16 + 26 + 69999 * 28;
    EXPECT_EQ(file[queryCount - 28], 0x02); // the last server: its class is still index 2
    EXPECT_EQ(file[queryCount - 27], 0x80);
    const size_t secondQuery = queryCount + 2 + 6 + 11 + 8;
    EXPECT_EQ(Bytes(file.begin() + secondQuery, file.begin() + secondQuery + 6),
              (Bytes{0xFF, 0x7F, 0x73, 0x11, 0x01, 0x80}));
    const size_t master = secondQuery + 6 + 8 + 18 + 13;
    EXPECT_EQ(Bytes(file.begin() + master, file.begin() + master + 6),
              (Bytes{0xFF, 0x7F, 0x76, 0x11, 0x01, 0x80}));

    ScwContents contents;
    ASSERT_TRUE(Read(file, contents));
    EXPECT_EQ(contents.servers.size(), 70000u);
    EXPECT_EQ(contents.servers.back()->m_dwAddress, 70000u);
    EXPECT_EQ(contents.queries.size(), 2u);
    EXPECT_TRUE(contents.hasMasterFilter);
}

TEST(ScwFile, DocumentSchemaDecidesTrailingParts) {
    ServerFilter filter;
    filter.m_dwFlags = FILTER_PING;
    filter.m_nMaxPing = 77;
    const Query find("n", "e", QF_MATCHCASE);
    struct Case {
        uint16_t schema;
        bool filter, master, find;
    };
    for (const Case c : {Case{1, true, false, false}, Case{2, true, false, true},
                         Case{3, true, true, true}, Case{9, true, true, true}}) {
        SCOPED_TRACE(c.schema);
        ScwArchiveWriter ar;
        ar.WriteClass("CScoutwireDoc", c.schema);
        ar.WriteCount(0);
        ar.WriteCount(0);
        WriteTrailer(ar, std::min<uint16_t>(c.schema, 3), filter, find);
        if (c.schema >= 4) {
            ar.WriteClass("ServerExtra", 1);
            ar.WriteCount(0);
        }
        if (c.schema >= 5) {
            ar.WriteClass("Watches", 1);
            ar.WriteCount(0);
            ar.WriteCount(0);
        }
        ScwContents contents;
        ASSERT_TRUE(Read(ar.Bytes(), contents));
        EXPECT_EQ(contents.hasFilter, c.filter);
        EXPECT_EQ(contents.hasMasterFilter, c.master);
        EXPECT_EQ(contents.hasFindQuery, c.find);
        EXPECT_EQ(contents.filter.m_nMaxPing, 77u);
        EXPECT_EQ(contents.masterFilter.m_nMaxPing, c.master ? 77u : 400u);
        EXPECT_EQ(contents.findQuery.m_strExpression, c.find ? "e" : "");

        // Bytes after the last part are ignored, whatever the schema.
        Bytes longer = ar.Bytes();
        longer.insert(longer.end(), {0, 0xFF, 0x12});
        ASSERT_TRUE(Read(longer, contents));
        EXPECT_EQ(contents.findQuery.m_strExpression, c.find ? "e" : "");
    }
}

// Servers of today's protocol and from the Steam list need the schema-4
// part; the program of today reads every bit back, and a reader that knows
// only schema 3 still opens the file, keeps every server and shows the Steam
// ones as WON ones. A document of old-protocol servers stays schema 3.
TEST(ScwFile, SteamServersSurviveBothReaders) {
    Document doc;
    FillDocument(doc, 40);
    const Bytes classic = doc.Write();
    ASSERT_EQ(classic[2], 3);
    for (int i = 0; i < 40; i += 3) {
        ServerInfo& s = *doc.servers.GetAt(i);
        s.m_nProtocol = PROTOCOL_A2S;
        if (i % 2 == 0)
            s.m_dwFlags = (s.m_dwFlags & ~GROUP_WON) | GROUP_STEAM;
    }
    doc.servers.GetAt(1)->m_nProtocol = PROTOCOL_LEGACY;
    const Bytes file = doc.Write();
    ASSERT_EQ(file[2], 4);

    ScwContents now;
    ASSERT_TRUE(Read(file, now));
    ASSERT_EQ(now.servers.size(), 40u);
    ScwContents old;
    ASSERT_TRUE(ReadScwFile(file, true, old, 3));
    ASSERT_EQ(old.servers.size(), 40u);
    for (size_t i = 0; i < 40; ++i) {
        SCOPED_TRACE(i);
        const ServerInfo& written = *doc.servers.GetAt(static_cast<int>(i));
        ExpectSameServer(*now.servers[i], written);
        EXPECT_EQ(now.servers[i]->m_nProtocol, written.m_nProtocol);
        EXPECT_EQ(old.servers[i]->m_strName, written.m_strName);
        const uint32_t steam = written.m_dwFlags & GROUP_STEAM;
        EXPECT_EQ(old.servers[i]->m_dwFlags,
                  steam ? (written.m_dwFlags & ~GROUP_STEAM) | GROUP_WON : written.m_dwFlags);
    }
    EXPECT_EQ(old.queries.size(), now.queries.size());
    EXPECT_EQ(old.findQuery.m_strExpression, doc.findQuery.m_strExpression);

    // The extra part must describe exactly the servers before it.
    Bytes miscounted = file;
    const size_t countAt = file.size() - 40 * 5 - 2;
    ASSERT_EQ(miscounted[countAt], 40);
    miscounted[countAt] = 39;
    ScwContents damaged;
    EXPECT_FALSE(Read(miscounted, damaged));
}

TEST(ScwFile, EarlyFormWithoutDocumentRecord) {
    ScwArchiveWriter ar;
    ar.WriteCount(2);
    ar.WriteObjectClass("ServerInfo", 1);
    ar.WriteDword(0x01020304);
    ar.WriteWord(27015);
    ar.WriteDword(0);
    ar.WriteDword(GROUP_WON);
    ar.WriteByte(0);
    ar.WriteByte(0);
    ar.WriteString("one");
    ar.WriteString("");
    ar.WriteString("");
    ar.WriteObjectClass("ServerInfo", 1);
    ar.WriteDword(0x01020305);
    ar.WriteWord(27015);
    ar.WriteDword(0);
    ar.WriteDword(GROUP_WON);
    ar.WriteByte(0);
    ar.WriteByte(0);
    ar.WriteString("two");
    ar.WriteString("");
    ar.WriteString("");
    ar.WriteCount(1);
    ar.WriteObjectClass("SearchQuery", 1);
    ar.WriteString("bob");
    const Bytes file = ar.Bytes();
    ASSERT_FALSE(ScwHasHeader(file));

    ScwContents contents;
    ASSERT_TRUE(ReadScwFile(file, false, contents));
    ASSERT_EQ(contents.servers.size(), 2u);
    EXPECT_EQ(contents.servers[1]->m_strName, "two");
    ASSERT_EQ(contents.queries.size(), 1u);
    EXPECT_EQ(contents.queries[0]->m_strExpression, "bob");
    EXPECT_FALSE(contents.hasFilter || contents.hasMasterFilter || contents.hasFindQuery);

    ExpectRejected(file, true, "early form read as current");
    Bytes longer = file;
    longer.push_back(0);
    ASSERT_TRUE(ReadScwFile(longer, false, contents)) << "a trailing byte is ignored";
    EXPECT_EQ(contents.queries.size(), 1u);
    // An empty early-form file: a server count of 0 and a query count of 0.
    EXPECT_TRUE(ReadScwFile(Bytes{0, 0, 0, 0}, false, contents));
}

TEST(ScwFile, Utf16StringsBecomeWindows1252) {
    const auto utf16 = [](ScwArchiveWriter& ar, std::u16string_view text, bool wordLength) {
        ar.WriteByte(0xFF);
        ar.WriteWord(0xFFFE);
        if (wordLength) {
            ar.WriteByte(0xFF);
            ar.WriteWord(static_cast<uint16_t>(text.size()));
        } else {
            ar.WriteByte(static_cast<uint8_t>(text.size()));
        }
        for (char16_t unit : text)
            ar.WriteWord(unit);
    };
    ScwArchiveWriter ar;
    ar.WriteClass("CScoutwireDoc", 3);
    ar.WriteCount(1);
    ar.WriteObjectClass("ServerInfo", 5);
    ar.WriteDword(1);
    ar.WriteWord(27015);
    ar.WriteDword(0);
    ar.WriteDword(0);
    ar.WriteByte(0);
    ar.WriteByte(0);
    // Latin-1, the euro sign at 0x80, a snowman, an emoji (a surrogate
    // pair), a lone surrogate.
    utf16(ar, u"Zo\u00EB \u20AC5 \u2603 \U0001F600 \xD800!", false);
    utf16(ar, std::u16string(300, u'g'), true);
    utf16(ar, u"", false);
    ar.WriteByte('d');
    ar.WriteByte('l');
    ar.WriteByte(0);
    ar.WriteString("");
    utf16(ar, u"\u0153", false); // the scrambled password is UTF-16 too
    ar.WriteString("");
    ar.WriteByte(0);
    ar.WriteCount(0);
    WriteTrailer(ar, 3);

    ScwContents contents;
    ASSERT_TRUE(Read(ar.Bytes(), contents));
    const ServerInfo& s = *contents.servers[0];
    EXPECT_EQ(s.m_strName, "Zo\xEB \x80"
                           "5 ? ? ?!");
    EXPECT_EQ(s.m_strGame, std::string(300, 'g'));
    EXPECT_TRUE(s.m_strMap.empty());
    EXPECT_EQ(s.m_cServerType, 'd');
    EXPECT_EQ(s.m_strPassword, ScramblePassword("\x9C"));
}

TEST(ScwFile, FormatCheck) {
    const Bytes header = Cat({{0xFF, 0xFF, 0x03, 0x00, 0x0D, 0x00}, Text("CScoutwireDoc")});
    EXPECT_TRUE(ScwHasHeader(header));
    EXPECT_TRUE(ScwHasHeader({}));
    EXPECT_TRUE(ScwHasHeader(Bytes{0x00, 0x00, 0x00, 0x00, 0x00}));        // too short to tell
    EXPECT_TRUE(ScwHasHeader(Bytes(header.begin(), header.begin() + 18))); // name cut short
    EXPECT_FALSE(ScwHasHeader(Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(ScwHasHeader(Bytes{0xFF, 0xFF, 0x03, 0x00, 0x0B, 0x00}));
    EXPECT_FALSE(ScwHasHeader(Bytes{0xFF, 0xFF, 0x00, 0x00, 0x0D, 0x00}));
    EXPECT_FALSE(ScwHasHeader(Bytes{0xFF, 0xFF, 0x00, 0x80, 0x0D, 0x00})); // negative schema
    Bytes other = header;
    other[18] = 'x';
    EXPECT_FALSE(ScwHasHeader(other));
    other = header;
    other[3] = 0x7F; // a large, positive schema is still the current form
    EXPECT_TRUE(ScwHasHeader(other));
}

TEST(ScwFile, EveryTruncationFails) {
    Document doc;
    FillDocument(doc, 6);
    doc.servers.GetAt(5)->m_strName = "short"; // keep the file small
    doc.servers.GetAt(4)->m_strAnnotation = "annotation";
    doc.servers.GetAt(3)->m_strAnnotation = "annotation";
    const Bytes file = doc.Write();
    ASSERT_GT(file.size(), 1000u);
    ScwContents contents;
    ASSERT_TRUE(Read(file, contents));
    for (size_t length = 0; length < file.size(); ++length) {
        const Bytes prefix(file.begin(), file.begin() + static_cast<ptrdiff_t>(length));
        ExpectRejected(prefix, ScwHasHeader(prefix), "prefix " + std::to_string(length));
        ExpectRejected(prefix, false, "early prefix " + std::to_string(length));
        if (testing::Test::HasFailure())
            break;
    }
}

TEST(ScwFile, DamagedFilesFail) {
    // A file with one server and one query in which a test replaces one
    // piece of the layout.
    struct Pieces {
        std::function<void(ScwArchiveWriter&)> document = [](ScwArchiveWriter& ar) {
            ar.WriteClass("CScoutwireDoc", 3);
        };
        std::function<void(ScwArchiveWriter&)> servers = [](ScwArchiveWriter& ar) {
            ar.WriteCount(2);
            ar.WriteObjectClass("ServerInfo", 5);
            WritePlainServerMembers(ar, 1);
            ar.WriteObjectClass("ServerInfo", 5);
            WritePlainServerMembers(ar, 2);
        };
        std::function<void(ScwArchiveWriter&)> queries = [](ScwArchiveWriter& ar) {
            ar.WriteCount(1);
            ar.WriteObjectClass("SearchQuery", 3);
            ar.WriteString("n");
            ar.WriteString("e");
            ar.WriteDword(0);
        };
        std::function<void(ScwArchiveWriter&)> trailer = [](ScwArchiveWriter& ar) {
            WriteTrailer(ar, 3);
        };
        Bytes Build() const {
            ScwArchiveWriter ar;
            document(ar);
            servers(ar);
            queries(ar);
            trailer(ar);
            return ar.TakeBytes();
        }
    };
    const auto rawServer = [](uint16_t tag) {
        return [tag](ScwArchiveWriter& ar) {
            ar.WriteCount(2);
            ar.WriteObjectClass("ServerInfo", 5);
            WritePlainServerMembers(ar, 1);
            ar.WriteWord(tag);
            WritePlainServerMembers(ar, 2);
        };
    };
    const auto masterReference = [](std::function<void(ScwArchiveWriter&)> reference) {
        return [reference](ScwArchiveWriter& ar) {
            ar.WriteClass("ServerFilter", 1);
            ar.WriteDword(0);
            ar.WriteDword(400);
            ar.WriteByte(16);
            for (int i = 0; i < 4; ++i)
                ar.WriteString("");
            reference(ar);
            ar.WriteDword(0);
            ar.WriteDword(400);
            ar.WriteByte(16);
            for (int i = 0; i < 4; ++i)
                ar.WriteString("");
            ar.WriteClass("Query", 3);
            ar.WriteString("");
            ar.WriteString("");
            ar.WriteDword(1);
        };
    };

    Pieces valid;
    ScwContents contents;
    ASSERT_TRUE(Read(valid.Build(), contents));
    ASSERT_TRUE(Read(Pieces{.trailer = masterReference([](ScwArchiveWriter& ar) {
                                // 1 document, 2 server class, 3-4 servers,
                                // 5 query class, 6 query, 7 filter class
                                ar.WriteWord(0x8007);
                            })}
                         .Build(),
                     contents));

    std::vector<std::pair<std::string, Pieces>> cases;
    cases.push_back({"document class misspelled", {.document = [](ScwArchiveWriter& ar) {
                         ar.WriteClass("CScoutwireDox", 3);
                     }}});
    cases.push_back({"another document class",
                     {.document = [](ScwArchiveWriter& ar) { ar.WriteClass("CDocument", 3); }}});
    cases.push_back({"server of an unknown class", {.servers = [](ScwArchiveWriter& ar) {
                         ar.WriteCount(1);
                         ar.WriteObjectClass("CObject", 5);
                         WritePlainServerMembers(ar, 1);
                     }}});
    cases.push_back({"query in the server list", {.servers = [](ScwArchiveWriter& ar) {
                         ar.WriteCount(1);
                         ar.WriteObjectClass("SearchQuery", 3);
                         WritePlainServerMembers(ar, 1);
                     }}});
    cases.push_back({"server in the query list", {.queries = [](ScwArchiveWriter& ar) {
                         ar.WriteCount(1);
                         ar.WriteWord(0x8002);
                         WritePlainServerMembers(ar, 1);
                     }}});
    cases.push_back({"null tag in the server list", {.servers = rawServer(0x0000)}});
    cases.push_back({"back-reference to a server", {.servers = rawServer(0x0003)}});
    cases.push_back({"reference to the server object", {.servers = rawServer(0x8003)}});
    cases.push_back({"reference to index 0", {.servers = rawServer(0x8000)}});
    cases.push_back({"reference past the table", {.servers = rawServer(0x8050)}});
    cases.push_back({"reference to the document class", {.servers = rawServer(0x8001)}});
    cases.push_back({"long tag without the class bit", {.servers = [](ScwArchiveWriter& ar) {
                         ar.WriteCount(2);
                         ar.WriteObjectClass("ServerInfo", 5);
                         WritePlainServerMembers(ar, 1);
                         ar.WriteWord(0x7FFF);
                         ar.WriteDword(3);
                         WritePlainServerMembers(ar, 2);
                     }}});
    cases.push_back({"long tag past the table", {.servers = [](ScwArchiveWriter& ar) {
                         ar.WriteCount(2);
                         ar.WriteObjectClass("ServerInfo", 5);
                         WritePlainServerMembers(ar, 1);
                         ar.WriteWord(0x7FFF);
                         ar.WriteDword(0xFFFFFFFF);
                         WritePlainServerMembers(ar, 2);
                     }}});
    cases.push_back({"huge server count", {.servers = [](ScwArchiveWriter& ar) {
                         ar.WriteWord(0xFFFF);
                         ar.WriteDword(0xFFFFFFFF);
                     }}});
    cases.push_back({"server count one too many", {.servers = [](ScwArchiveWriter& ar) {
                         ar.WriteCount(3);
                         ar.WriteObjectClass("ServerInfo", 5);
                         WritePlainServerMembers(ar, 1);
                         ar.WriteObjectClass("ServerInfo", 5);
                         WritePlainServerMembers(ar, 2);
                     }}});
    cases.push_back({"huge query count", {.queries = [](ScwArchiveWriter& ar) {
                         ar.WriteWord(0xFFFF);
                         ar.WriteDword(0x00010000);
                     }}});
    cases.push_back({"huge string length", {.queries = [](ScwArchiveWriter& ar) {
                         ar.WriteCount(1);
                         ar.WriteObjectClass("SearchQuery", 3);
                         ar.WriteByte(0xFF);
                         ar.WriteWord(0xFFFF);
                         ar.WriteDword(0xFFFFFFFF);
                     }}});
    cases.push_back({"huge UTF-16 length", {.queries = [](ScwArchiveWriter& ar) {
                         ar.WriteCount(1);
                         ar.WriteObjectClass("SearchQuery", 3);
                         ar.WriteByte(0xFF);
                         ar.WriteWord(0xFFFE);
                         ar.WriteByte(0xFF);
                         ar.WriteWord(0xFFFF);
                         ar.WriteDword(0x7FFFFFFF);
                     }}});
    cases.push_back({"huge class name length", {.servers = [](ScwArchiveWriter& ar) {
                         ar.WriteCount(1);
                         ar.WriteWord(0xFFFF);
                         ar.WriteWord(5);
                         ar.WriteWord(0xFFFF);
                     }}});
    cases.push_back({"class name with a terminator", {.servers = [](ScwArchiveWriter& ar) {
                         ar.WriteCount(1);
                         ar.WriteObjectClass(std::string_view("ServerInfo\0", 11), 5);
                         WritePlainServerMembers(ar, 1);
                     }}});
    cases.push_back({"filter position holds a query", {.trailer = [](ScwArchiveWriter& ar) {
                         ar.WriteClass("Query", 3);
                         ar.WriteString("");
                         ar.WriteString("");
                         ar.WriteDword(1);
                     }}});
    cases.push_back(
        {"master filter refers to the server class",
         {.trailer = masterReference([](ScwArchiveWriter& ar) { ar.WriteWord(0x8002); })}});
    cases.push_back(
        {"master filter refers to an object",
         {.trailer = masterReference([](ScwArchiveWriter& ar) { ar.WriteWord(0x8006); })}});
    cases.push_back({"master filter with a null tag",
                     {.trailer = masterReference([](ScwArchiveWriter& ar) { ar.WriteWord(0); })}});
    cases.push_back({"find query missing", {.trailer = [](ScwArchiveWriter& ar) {
                         WriteTrailer(ar, 1);
                         WriteTrailer(ar, 1);
                     }}});
    for (const auto& [what, pieces] : cases)
        ExpectRejected(pieces.Build(), true, what);

    ExpectRejected(Bytes{}, true, "empty file");
    ExpectRejected(Bytes{}, false, "empty early file");
    // Another class name length: read as the early form, whose server count
    // is then far more than the file holds.
    Bytes other = valid.Build();
    other[4] = 0x0B;
    ASSERT_FALSE(ScwHasHeader(other));
    ExpectRejected(other, ScwHasHeader(other), "FF FF 03 00 0B 00");
    ExpectRejected(Bytes{0xFF, 0xFF, 0x03, 0x00, 0x0B, 0x00}, false, "only FF FF 03 00 0B 00");
}

// Each byte of a valid file replaced by other values: whatever is read
// must be whole or nothing.
TEST(ScwFile, MutatedFilesNeverHalfLoad) {
    Document doc;
    FillDocument(doc, 6);
    doc.servers.GetAt(5)->m_strName = "short";
    doc.servers.GetAt(4)->m_strAnnotation = "a";
    doc.servers.GetAt(3)->m_strAnnotation = "a";
    const Bytes file = doc.Write();
    for (size_t at = 0; at < file.size(); ++at) {
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0x80}, uint8_t{0xFE},
                              uint8_t{0xFF}, static_cast<uint8_t>(file[at] ^ 1)}) {
            Bytes damaged = file;
            damaged[at] = value;
            ScwContents contents;
            if (!Read(damaged, contents)) {
                SCOPED_TRACE("byte " + std::to_string(at) + " = " + std::to_string(value));
                ExpectEmpty(contents);
            } else {
                EXPECT_LE(contents.servers.size(), 6u);
            }
        }
        if (testing::Test::HasFailure())
            break;
    }
}

class SaveFileAtomicallyTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        // Readable for the unprivileged child below.
        std::filesystem::permissions(
            m_dir.path().toStdString(),
            std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                std::filesystem::perms::others_exec);
    }

    std::string PathOf(const std::string& name) const {
        return m_dir.path().toStdString() + "/" + name;
    }

    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static void Put(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    static Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

    QTemporaryDir m_dir;
};

TEST_F(SaveFileAtomicallyTest, ReplacesContentAndKeepsPermissions) {
    const std::string path = PathOf("doc.scw");
    EXPECT_TRUE(SaveFileAtomically(path, Of("first")));
    EXPECT_EQ(Contents(path), "first");

    namespace fs = std::filesystem;
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path, perms);
    EXPECT_TRUE(SaveFileAtomically(path, Of("second, longer")));
    EXPECT_EQ(Contents(path), "second, longer");
    EXPECT_EQ(fs::status(path).permissions(), perms);
    EXPECT_TRUE(SaveFileAtomically(path, {}));
    EXPECT_EQ(fs::file_size(path), 0u);

    // Nothing but the document is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path().toStdString()), {}), 1);
}

TEST_F(SaveFileAtomicallyTest, TargetThatIsADirectoryStaysIntact) {
    const std::string path = PathOf("folder");
    std::filesystem::create_directory(path);
    Put(path + "/inside", "kept");
    EXPECT_FALSE(SaveFileAtomically(path, Of("data")));
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_EQ(Contents(path + "/inside"), "kept");
}

// A folder closed to new files, holding a document the user may write: the
// file is written in place. Root may write into any directory, so the save
// then runs in a child process that has given up root.
TEST_F(SaveFileAtomicallyTest, ReadOnlyDirectoryWritesTheFileInPlace) {
    namespace fs = std::filesystem;
    const std::string folder = PathOf("ro");
    fs::create_directory(folder);
    const std::string path = folder + "/doc.scw";
    Put(path, "old content");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write | fs::perms::others_read |
                              fs::perms::others_write);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);

    const Bytes data = Of("new content");
    int result = -1;
    if (geteuid() != 0) {
        result = SaveFileAtomically(path, data) ? 0 : 1;
    } else {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(2);
            _exit(SaveFileAtomically(path, data) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        result = WEXITSTATUS(status);
    }
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(result, 0); // 2 would mean the child could not drop root
    EXPECT_EQ(Contents(path), "new content");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
}
