#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

#include "core/ScwArchiveReader.h"
#include "core/ScwArchiveWriter.h"
#include "core/ScwFile.h"
#include "tests/ByteTestSupport.h"

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

// A server record up to its texts: address, port, ping, groups, deleted, most players.
void WriteServerStart(ScwArchiveWriter& ar, uint16_t schema, uint32_t address, uint32_t groups = 0,
                      uint16_t port = 27015, uint32_t ping = 0, uint8_t deleted = 0, uint8_t max = 0) {
    ar.WriteObjectClass("ServerInfo", schema);
    ar.WriteDword(address);
    ar.WriteWord(port);
    ar.WriteDword(ping);
    ar.WriteDword(groups);
    ar.WriteByte(deleted);
    ar.WriteByte(max);
}

struct Document {
    OwningServerList servers{1};
    std::vector<std::unique_ptr<SearchQuery>> queries;
    ServerFilter filter;
    ServerFilter masterFilter;
    Query findQuery;

    Bytes Write() const { return WriteScwFile(servers, queries, filter, masterFilter, findQuery); }
};

auto Members(const Query& q) {
    return std::tie(q.m_strName, q.m_strExpression, q.m_dwFlags);
}

bool Read(std::span<const uint8_t> file, ScwContents& contents) {
    return ReadScwFile(file, ScwHasHeader(file), contents);
}

void ExpectEmpty(const ScwContents& c) {
    EXPECT_EQ(std::make_tuple(c.servers.size(), c.queries.size(), c.hasFilter, c.hasMasterFilter,
                              c.hasFindQuery, c.findQuery.m_strName, c.findQuery.m_strExpression,
                              c.findQuery.m_dwFlags),
              std::make_tuple(0u, 0u, false, false, false, "", "", QF_REGEX));
    EXPECT_TRUE(c.filter == ServerFilter() && c.masterFilter == ServerFilter());
}

// A failed read must also drop what the caller's contents held before.
void ExpectRejected(std::span<const uint8_t> file, bool hasHeader, const std::string& what) {
    SCOPED_TRACE(what);
    ScwContents contents;
    contents.servers.push_back(std::make_unique<ServerInfo>(1, 2));
    contents.hasFilter = true;
    contents.filter.m_dwFlags = FILTER_GAME;
    EXPECT_FALSE(ReadScwFile(file, hasHeader, contents));
    ExpectEmpty(contents);
}

void ExpectSameServer(const ServerInfo& a, const ServerInfo& b) {
    const auto fields = [](const ServerInfo& s) {
        return std::tie(s.m_dwAddress, s.m_wPort, s.m_nPing, s.m_dwFlags, s.m_bDeleted,
                        s.m_nMaxPlayers, s.m_strName, s.m_strGame, s.m_strMap, s.m_cServerType,
                        s.m_cOS, s.m_bPassword, s.m_strAnnotation, s.m_strPassword,
                        s.m_strHostName, s.m_bConnectByHostName);
    };
    EXPECT_TRUE(fields(a) == fields(b)) << "server " << a.m_dwAddress;
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
            s->m_strPassword[2] = '\xAA'; // scrambles to 0
        }
        if (i % 6 == 0) {
            s->m_strHostName = "hl" + std::to_string(i) + ".example.net";
            s->m_bConnectByHostName = i % 12 == 0;
        }
        s->m_strError = "not stored";
        doc.servers.Append(std::move(s));
    }
    for (int i : {1, 2, 3, 4}) // both sides of both length forms' limits
        doc.servers.GetAt(i)->m_strAnnotation =
            std::string(i < 3 ? 253 + i : 65531 + i, char('a' + i));
    doc.servers.GetAt(5)->m_strName = std::string(70000, '\xFF');

    doc.queries.push_back(std::make_unique<SearchQuery>("Friends", "^\\[clan\\]", QF_REGEX));
    doc.queries.push_back(std::make_unique<SearchQuery>("", "J\xF6rg", QF_MATCHCASE));
    doc.queries.push_back(std::make_unique<SearchQuery>("long", std::string(300, 'x'), 0));
    doc.filter = {FILTER_GAME | FILTER_EMPTY | FILTER_EMPTY_YES,
                  150,
                  44,
                  "Dedicated",
                  "Win32",
                  "CSTRIKE",
                  "de_"};
    doc.masterFilter.m_dwFlags = FILTER_MAP;
    doc.masterFilter.m_strMap = "cs_italy";
    doc.findQuery = Query("find", "dust", QF_MATCHCASE);
}

} // namespace

// The new document's 86 bytes, and where the running index of classes and
// objects puts the master filter's class reference as servers and queries
// are added (from 0x7FFF on in the long form, with the count's escape).
TEST(ScwFile, NewDocumentAndTheRunningIndex) {
    const Bytes filterMembers = {0, 0, 0, 0, 0x90, 0x01, 0, 0, 0x10, 0, 0, 0, 0};
    const Bytes empty = Cat({{0xFF, 0xFF, 0x03, 0x00, 0x0D, 0x00}, Text("CScoutwireDoc"),
                             {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x0C, 0x00},
                             Text("ServerFilter"), filterMembers, {0x02, 0x80}, filterMembers,
                             {0xFF, 0xFF, 0x03, 0x00, 0x05, 0x00}, Text("Query"),
                             {0x00, 0x00, 0x01, 0x00, 0x00, 0x00}});
    EXPECT_EQ(Document().Write(), empty);
    const struct {
        uint32_t servers, queries;
        Bytes masterReference;
    } cases[] = {
        {0, 0, {0x02, 0x80}},
        {1, 0, {0x04, 0x80}}, // document, server class, server, filter class
        {2, 2, {0x08, 0x80}}, // the second server and query refer to their class
        {70000, 2, {0xFF, 0x7F, 0x76, 0x11, 0x01, 0x80}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.servers);
        Document doc;
        for (uint32_t i = 0; i < c.servers; ++i)
            doc.servers.Append(std::make_unique<ServerInfo>(i + 1, 27015));
        for (uint32_t i = 0; i < c.queries; ++i)
            doc.queries.push_back(std::make_unique<SearchQuery>("q", "e", 0));
        const Bytes file = doc.Write();
        // After the reference: the filter's members, the query class, its members.
        const size_t at = file.size() - 30 - c.masterReference.size();
        EXPECT_EQ(Bytes(file.begin() + long(at), file.end() - 30), c.masterReference);
        if (c.servers > 0xFFFE) {
            EXPECT_EQ(Bytes(file.begin() + 19, file.begin() + 25),
                      (Bytes{0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}));
        }
        ScwContents back;
        ASSERT_TRUE(Read(file, back));
        EXPECT_EQ(std::make_tuple(back.servers.size(), back.queries.size(),
                                  back.hasFilter && back.hasMasterFilter && back.hasFindQuery),
                  std::make_tuple(size_t(c.servers), size_t(c.queries), true));
    }
}

// A server record and the queries of each older schema: what they lack keeps its default.
TEST(ScwFile, OlderSchemasKeepDefaults) {
    for (uint16_t schema = 1; schema <= 6; ++schema) {
        SCOPED_TRACE(schema);
        const uint16_t query = std::min<uint16_t>(schema, 4);
        const auto members = [&](ScwArchiveWriter& ar, const std::string& prefix) {
            if (query >= 2)
                ar.WriteString(prefix + " name");
            ar.WriteString(prefix + " expression");
            if (query >= 3)
                ar.WriteDword(QF_MATCHCASE);
        };
        ScwArchiveWriter ar;
        ar.WriteClass("CScoutwireDoc", 3);
        ar.WriteCount(1);
        WriteServerStart(ar, schema, 0xC0A80001, GROUP_FAVOURITES, 27016, 42, 1, 20);
        for (const char* text : {"name", "tfc", "2fort"})
            ar.WriteString(text);
        if (schema >= 2) {
            for (uint8_t b : {uint8_t{'d'}, uint8_t{'l'}, uint8_t{1}})
                ar.WriteByte(b);
        }
        if (schema >= 3)
            ar.WriteString("note");
        if (schema >= 4)
            ar.WriteString("\x2C\x74"); // "pw": byte i XORed with 0xA7 * i + 0x5C
        if (schema >= 5) {
            ar.WriteString("host.example");
            ar.WriteByte(1);
        }
        ar.WriteCount(1);
        ar.WriteObjectClass("SearchQuery", query);
        members(ar, "query");
        WriteTrailer(ar, 1);
        WriteTrailer(ar, 1);
        ar.WriteClass("Query", query);
        members(ar, "find");

        ScwContents contents;
        ASSERT_TRUE(Read(ar.Bytes(), contents));
        ASSERT_EQ(std::make_pair(contents.servers.size(), contents.queries.size()),
                  std::make_pair(1ul, 1ul));
        const ServerInfo& s = *contents.servers[0];
        EXPECT_EQ(std::tie(s.m_dwAddress, s.m_wPort, s.m_nPing, s.m_dwFlags, s.m_bDeleted,
                           s.m_nMaxPlayers, s.m_strMap),
                  std::make_tuple(0xC0A80001u, 27016, 42u, GROUP_FAVOURITES, 1, 20, "2fort"));
        EXPECT_EQ(s.m_pPlayers, nullptr);
        const bool two = schema >= 2, five = schema >= 5;
        EXPECT_EQ(std::tie(s.m_cServerType, s.m_cOS, s.m_bPassword),
                  std::make_tuple(two ? 'd' : 0, two ? 'l' : 0, two ? 1 : 0));
        EXPECT_EQ(
            std::tie(s.m_strAnnotation, s.m_strPassword, s.m_strHostName, s.m_bConnectByHostName),
            std::make_tuple(schema >= 3 ? "note" : "", schema >= 4 ? "pw" : "",
                            five ? "host.example" : "", five ? 1 : 0));
        for (const Query* q :
             std::initializer_list<const Query*>{contents.queries[0].get(), &contents.findQuery}) {
            const std::string prefix = q == &contents.findQuery ? "find" : "query";
            EXPECT_EQ(Members(*q),
                      std::make_tuple(query >= 2 ? prefix + " name" : "", prefix + " expression",
                                      query >= 3 ? QF_MATCHCASE : QF_REGEX));
        }
    }
}

// Servers of today's protocol and from the Steam list need the schema-4
// part: the program of today reads every bit back, and a reader that knows
// only schema 3 still opens the file, keeps every server and shows the Steam
// ones as WON ones. A document of old-protocol servers stays schema 3.
TEST(ScwFile, RoundTripOfTenThousandServersIsByteIdentical) {
    Document doc;
    FillDocument(doc, 10000);
    EXPECT_EQ(doc.Write()[2], 3);
    for (int i = 0; i < 10000; i += 3) {
        ServerInfo& s = *doc.servers.GetAt(i);
        s.m_nProtocol = i % 9 == 0 ? PROTOCOL_LEGACY : PROTOCOL_A2S;
        if (i % 2 == 0)
            s.m_dwFlags = (s.m_dwFlags & ~GROUP_WON) | GROUP_STEAM;
    }
    const Bytes file = doc.Write();
    ASSERT_EQ(file[2], 4);

    ScwContents contents, old;
    ASSERT_TRUE(Read(file, contents));
    ASSERT_TRUE(ReadScwFile(file, true, old, 3));
    ASSERT_EQ(std::make_pair(contents.servers.size(), old.servers.size()),
              std::make_pair(10000ul, 10000ul));
    for (int i = 0; i < doc.servers.GetSize(); ++i) {
        const ServerInfo& written = *doc.servers.GetAt(i);
        ExpectSameServer(*contents.servers[static_cast<size_t>(i)], written);
        EXPECT_EQ(contents.servers[size_t(i)]->m_nProtocol, written.m_nProtocol);
        EXPECT_EQ(old.servers[size_t(i)]->m_strName, written.m_strName);
        const uint32_t steam = written.m_dwFlags & GROUP_STEAM;
        EXPECT_EQ(old.servers[size_t(i)]->m_dwFlags,
                  steam ? (written.m_dwFlags & ~GROUP_STEAM) | GROUP_WON : written.m_dwFlags);
        ASSERT_FALSE(testing::Test::HasFailure()) << "server " << i;
    }
    // Writer and reader could agree on losing a member: compare with what was built.
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(Members(*contents.queries.at(i)), Members(*doc.queries[i])) << i;
    EXPECT_EQ(std::tie(contents.filter, contents.masterFilter),
              std::tie(doc.filter, doc.masterFilter));
    EXPECT_EQ(std::tie(contents.findQuery.m_strName, contents.findQuery.m_dwFlags),
              std::make_tuple("find", QF_MATCHCASE));
    Document again{OwningServerList(1), std::move(contents.queries), contents.filter,
                   contents.masterFilter, contents.findQuery};
    for (auto& server : contents.servers)
        again.servers.Append(std::move(server));
    EXPECT_TRUE(again.Write() == file);

    // The extra part must describe exactly the servers before it.
    Bytes miscounted = file;
    const size_t countAt = file.size() - 10000 * 5 - 2;
    ASSERT_EQ(Bytes(miscounted.begin() + long(countAt), miscounted.begin() + long(countAt) + 2),
              (Bytes{0x10, 0x27}));
    miscounted[countAt] = 0x0F;
    EXPECT_FALSE(Read(miscounted, contents));
}

// Strings of 254, 255, 65533 and 65534 bytes, then counts 0xFFFE and 0xFFFF.
TEST(ScwFile, LengthAndCountEncodings) {
    ScwArchiveWriter ar;
    for (size_t length : {254, 255, 65533, 65534})
        ar.WriteString(std::string(length, 'a'));
    ar.WriteCount(0xFFFE);
    ar.WriteCount(0xFFFF);
    const Bytes& b = ar.Bytes();
    const auto at = [&](size_t from, Bytes expected) {
        EXPECT_EQ(Bytes(b.begin() + long(from), b.begin() + long(from + expected.size())), expected)
            << from;
    };
    at(0, {0xFE});
    at(255, {0xFF, 0xFF, 0x00});
    at(513, {0xFF, 0xFD, 0xFF});
    at(66049, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00});
    at(131590, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0});
    EXPECT_EQ(b.size(), 131598u);
}

TEST(ScwFile, DocumentSchemaDecidesTrailingParts) {
    ServerFilter filter;
    filter.m_dwFlags = FILTER_PING;
    filter.m_nMaxPing = 77;
    const Query find("n", "e", QF_MATCHCASE);
    struct Case {
        uint16_t schema;
        bool master, find;
    };
    for (const Case c :
         {Case{1, false, false}, Case{2, false, true}, Case{3, true, true}, Case{9, true, true}}) {
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
        // Bytes after the last part are ignored, whatever the schema.
        Bytes longer = ar.Bytes();
        longer.insert(longer.end(), {0, 0xFF, 0x12});
        for (const Bytes& file : {ar.Bytes(), longer}) {
            ScwContents contents;
            ASSERT_TRUE(Read(file, contents));
            EXPECT_EQ(std::make_tuple(contents.hasFilter, contents.hasMasterFilter,
                                      contents.hasFindQuery),
                      std::make_tuple(true, c.master, c.find));
            EXPECT_EQ(std::make_tuple(contents.filter.m_nMaxPing, contents.masterFilter.m_nMaxPing,
                                      contents.findQuery.m_strExpression),
                      std::make_tuple(77u, c.master ? 77u : 400u, c.find ? "e" : ""));
        }
    }
}

TEST(ScwFile, EarlyFormWithoutDocumentRecord) {
    ScwArchiveWriter ar;
    ar.WriteCount(2);
    for (uint32_t address : {0x01020304u, 0x01020305u}) {
        WriteServerStart(ar, 1, address, GROUP_WON);
        for (const char* text : {"name", "", ""})
            ar.WriteString(text);
    }
    ar.WriteCount(1);
    ar.WriteObjectClass("SearchQuery", 1);
    ar.WriteString("bob");
    Bytes file = ar.Bytes();
    ASSERT_FALSE(ScwHasHeader(file));
    ExpectRejected(file, true, "early form read as current");
    file.push_back(0); // a trailing byte is ignored
    ScwContents contents;
    ASSERT_TRUE(ReadScwFile(file, false, contents));
    ASSERT_EQ(std::make_pair(contents.servers.size(), contents.queries.size()),
              std::make_pair(2ul, 1ul));
    EXPECT_EQ(
        std::make_pair(contents.servers[1]->m_dwAddress, contents.queries[0]->m_strExpression),
        std::make_pair(0x01020305u, std::string("bob")));
    EXPECT_FALSE(contents.hasFilter || contents.hasMasterFilter || contents.hasFindQuery);
    EXPECT_TRUE(ReadScwFile(Bytes{0, 0, 0, 0}, false, contents)) << "no servers, no queries";
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
    WriteServerStart(ar, 5, 1);
    // Latin-1, the euro sign at 0x80, a snowman, an emoji (a surrogate
    // pair), a lone surrogate.
    utf16(ar, u"Zo\u00EB \u20AC5 \u2603 \U0001F600 \xD800!", false);
    utf16(ar, std::u16string(300, u'g'), true);
    utf16(ar, u"", false);
    for (uint8_t b : Bytes{'d', 'l', 0, 0}) // the last: an empty annotation
        ar.WriteByte(b);
    utf16(ar, u"\u0153", false); // the scrambled password is UTF-16 too
    for (uint8_t b : Bytes(4, 0)) // host name, by host name, no queries
        ar.WriteByte(b);
    WriteTrailer(ar, 3);

    ScwContents contents;
    ASSERT_TRUE(Read(ar.Bytes(), contents));
    const ServerInfo& s = *contents.servers[0];
    EXPECT_EQ(s.m_strName, "Zo\xEB \x80"
                           "5 ? ? ?!");
    EXPECT_EQ(std::tie(s.m_strGame, s.m_strMap, s.m_cServerType, s.m_strPassword),
              std::make_tuple(std::string(300, 'g'), "", 'd', ScramblePassword("\x9C")));
}

TEST(ScwFile, FormatCheck) {
    const Bytes header = Cat({{0xFF, 0xFF, 0x03, 0x00, 0x0D, 0x00}, Text("CScoutwireDoc")});
    const auto with = [&](size_t at, uint8_t value) {
        Bytes changed = header;
        changed[at] = value;
        return changed;
    };
    const struct {
        const char* name;
        Bytes start;
        bool hasHeader;
    } cases[] = {
        {"document record", header, true},
        {"five bytes: too short to tell", Bytes(5, 0), true},
        {"name cut short", Bytes(header.begin(), header.begin() + 18), true},
        {"large positive schema", with(3, 0x7F), true},
        {"a count", Bytes(6, 0), false},
        {"schema 0", with(2, 0x00), false},
        {"negative schema", with(3, 0x80), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScwHasHeader(c.start), c.hasHeader) << c.name;
}


// A valid file of two servers and one query with one piece of its layout
// replaced: each must be refused whole.
TEST(ScwFile, DamagedFilesFail) {
    Document doc;
    doc.servers.Insert(std::make_unique<ServerInfo>(1, 27015));
    doc.servers.Insert(std::make_unique<ServerInfo>(2, 27015));
    doc.queries.push_back(std::make_unique<SearchQuery>("n", "e", 0));
    const Bytes valid = doc.Write();
    // At 19 server count, 21 class, 37/65 members, 63 class reference, 91 query count, 93 class,
    // 110 members, 118 filter class, 149 master filter's reference, 164 find query's class.
    ASSERT_EQ(valid.size(), 181u);
    ASSERT_EQ(Bytes(valid.begin() + 63, valid.begin() + 65), (Bytes{0x02, 0x80}));
    ASSERT_EQ(Bytes(valid.begin() + 149, valid.begin() + 151), (Bytes{0x07, 0x80}));
    const auto slice = [&](size_t at, size_t n) {
        return Bytes(valid.begin() + long(at), valid.begin() + long(at + n));
    };
    // valid with n bytes at `at` replaced by `insert`.
    const auto patched = [&](size_t at, size_t n, const Bytes& insert) {
        return Cat({slice(0, at), insert, slice(at + n, valid.size() - at - n)});
    };
    const auto name = [](uint16_t length, std::string_view text) {
        return Cat({{uint8_t(length), uint8_t(length >> 8)}, Bytes(text.begin(), text.end())});
    };
    const std::pair<const char*, Bytes> cases[] = {
        {"document class misspelled", patched(18, 1, {'x'})},
        {"another document class", patched(4, 15, name(9, "CDocument"))},
        {"server of an unknown class", patched(25, 12, name(7, "CObject"))},
        {"query in the server list", patched(25, 12, name(11, "SearchQuery"))},
        {"class name with a terminator", patched(25, 12, name(11, {"ServerInfo\0", 11}))},
        {"huge class name length", patched(25, 2, {0xFF, 0xFF})},
        {"server in the query list", patched(93, 25, Cat({{0x02, 0x80}, slice(37, 26)}))},
        {"null tag in the server list", patched(63, 2, {0x00, 0x00})},
        {"back-reference to a server", patched(63, 2, {0x03, 0x00})},
        {"reference to the server object", patched(63, 2, {0x03, 0x80})},
        {"reference to index 0", patched(63, 2, {0x00, 0x80})},
        {"reference past the table", patched(63, 2, {0x50, 0x80})},
        {"reference to the document class", patched(63, 2, {0x01, 0x80})},
        {"long tag without the class bit", patched(63, 2, {0xFF, 0x7F, 3, 0, 0, 0})},
        {"long tag past the table", patched(63, 2, {0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"huge server count", patched(19, 2, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"server count one too many", patched(19, 2, {0x03, 0x00})},
        {"huge query count", patched(91, 2, {0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00})},
        {"huge string length", patched(110, 2, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"huge UTF-16 length", patched(110, 2, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                0xFF, 0x7F})},
        {"filter position holds a query", patched(118, 46, {})},
        {"master filter refers to the server class", patched(149, 2, {0x02, 0x80})},
        {"master filter refers to an object", patched(149, 2, {0x06, 0x80})},
        {"master filter with a null tag", patched(149, 2, {0x00, 0x00})},
        {"find query missing", slice(0, 164)},
        // Another class name length: read as the early form, whose server
        // count is then far more than the file holds.
        {"FF FF 03 00 0B 00", patched(4, 1, {0x0B})},
    };
    for (const auto& [what, file] : cases)
        ExpectRejected(file, ScwHasHeader(file), what);
    ExpectRejected(Bytes{}, false, "empty early file");
}

// Every prefix of a file, read either way: whole or nothing, never half
// loaded (random damage is the fuzz target's).
TEST(ScwFile, TruncatedFilesNeverHalfLoad) {
    Document doc;
    FillDocument(doc, 6);
    doc.servers.GetAt(5)->m_strName = "short"; // keep the file small
    doc.servers.GetAt(4)->m_strAnnotation = doc.servers.GetAt(3)->m_strAnnotation = "annotation";
    Bytes file = doc.Write();
    file.pop_back(); // the whole file is read by the round trip
    ForEachPrefix(file, [](std::span<const uint8_t> prefix, size_t) {
        ExpectRejected(prefix, ScwHasHeader(prefix), "as checked");
        ExpectRejected(prefix, false, "as the early form");
    });
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The file is replaced whole and keeps its permissions. A folder closed to
// new files, holding a document the user may write: the file is written in
// place. Root may write into any directory, so that save runs in a child
// process that has given up root.
TEST(SaveFileAtomically, ReplacesTheFileOrWritesInPlaceInAReadOnlyFolder) {
    namespace fs = std::filesystem;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString() + "/ro", path = folder + "/doc.scw";
    fs::create_directory(folder);
    EXPECT_TRUE(SaveFileAtomically(path, Text("first")));
    // No execute bit: as root Qt reads any one as the owner's.
    const auto perms = fs::perms(0666);
    fs::permissions(path, perms);
    EXPECT_TRUE(SaveFileAtomically(path, Text("second, longer")));
    EXPECT_EQ(Contents(path), "second, longer");
    EXPECT_EQ(fs::status(path).permissions(), perms);

    fs::permissions(dir.path().toStdString(), fs::perms(0755));
    fs::permissions(folder, fs::perms(0555));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        _exit(SaveFileAtomically(path, Text("new content")) ? 0 : 1);
    }
    int status = 0, result = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status))
        result = WEXITSTATUS(status);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(result, 0); // 2 would mean the child could not drop root
    EXPECT_EQ(Contents(path), "new content");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1) << "nothing left beside it";
}
