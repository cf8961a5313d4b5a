#include "core/ScwFile.h"

#include <QFile>
#include <algorithm>
#include <QSaveFile>

#include "core/ScwArchiveReader.h"
#include "core/ScwArchiveWriter.h"

namespace {

constexpr std::string_view kDocClass = "CScoutwireDoc";
constexpr std::string_view kServerClass = "ServerInfo";
constexpr std::string_view kSearchQueryClass = "SearchQuery";
constexpr std::string_view kFilterClass = "ServerFilter";
constexpr std::string_view kQueryClass = "Query";
constexpr std::string_view kServerExtraClass = "ServerExtra";
constexpr std::string_view kWatchesClass = "Watches";

// Schema 3 is what every reader since the filters came understands; schema 4
// appends what servers of today's protocol need, and is written only when a
// server needs it, so that a document of old-protocol servers stays byte for
// byte what it always was. Schema 5 appends the watch marks after that part,
// and is written only when some query or server is watched.
constexpr uint16_t kClassicDocSchema = 3;
constexpr uint16_t kServerExtraDocSchema = 4;
constexpr uint16_t kServerExtraSchema = 1;
constexpr uint16_t kWatchesSchema = 1;
constexpr uint16_t kServerSchema = 5;
constexpr uint16_t kQuerySchema = 3;
constexpr uint16_t kFilterSchema = 1;

// The least a stored object can occupy (a two-byte class reference and its
// shortest members), so that a count is checked against the bytes left
// before anything is reserved for it.
constexpr size_t kMinServerBytes = 2 + 4 + 2 + 4 + 4 + 1 + 1 + 3;
constexpr size_t kMinQueryBytes = 2 + 1;
constexpr size_t kServerExtraBytes = 4 + 1;
constexpr size_t kWatchQueryBytes = 1;
constexpr size_t kWatchServerBytes = 1 + 4;
constexpr uint8_t kWatchOn = 1;
constexpr uint8_t kWatchLeaving = 2;

bool HasWatches(const OwningServerList& servers,
                const std::vector<std::unique_ptr<SearchQuery>>& queries) {
    return std::any_of(queries.begin(), queries.end(),
                       [](const auto& q) { return q->m_bWatch || q->m_bWatchLeaving; }) ||
           std::any_of(servers.begin(), servers.end(),
                       [](const auto& s) { return s->m_nWatchKind != WATCH_NONE; });
}

// Whether a server carries anything the classic records cannot hold.
bool NeedsExtra(const ServerInfo& server) {
    return server.m_nProtocol == PROTOCOL_A2S || (server.m_dwFlags & GROUP_STEAM) != 0;
}

// The flags a reader of the classic records sees. It knows no Steam group, so
// a server listed by Steam is shown there as a master server's (WON) entry:
// it stays visible and is kept, and the extra part restores the truth.
uint32_t ClassicFlags(uint32_t flags) {
    if (!(flags & GROUP_STEAM))
        return flags;
    return (flags & ~GROUP_STEAM) | GROUP_WON;
}

void WriteServer(ScwArchiveWriter& ar, const ServerInfo& server) {
    ar.WriteDword(server.m_dwAddress);
    ar.WriteWord(server.m_wPort);
    ar.WriteDword(server.m_nPing);
    ar.WriteDword(ClassicFlags(server.m_dwFlags));
    ar.WriteByte(server.m_bDeleted);
    ar.WriteByte(server.m_nMaxPlayers);
    ar.WriteString(server.m_strName);
    ar.WriteString(server.m_strGame);
    ar.WriteString(server.m_strMap);
    ar.WriteByte(static_cast<uint8_t>(server.m_cServerType));
    ar.WriteByte(static_cast<uint8_t>(server.m_cOS));
    ar.WriteByte(server.m_bPassword);
    ar.WriteString(server.m_strAnnotation);
    ar.WriteString(ScramblePassword(server.m_strPassword));
    ar.WriteString(server.m_strHostName);
    ar.WriteByte(server.m_bConnectByHostName);
}

void WriteQuery(ScwArchiveWriter& ar, const Query& query) {
    ar.WriteString(query.m_strName);
    ar.WriteString(query.m_strExpression);
    ar.WriteDword(query.m_dwFlags);
}

void WriteFilter(ScwArchiveWriter& ar, const ServerFilter& filter) {
    ar.WriteDword(filter.m_dwFlags);
    ar.WriteDword(filter.m_nMaxPing);
    ar.WriteByte(filter.m_nMaxPlayers);
    ar.WriteString(filter.m_strServerType);
    ar.WriteString(filter.m_strOS);
    ar.WriteString(filter.m_strGame);
    ar.WriteString(filter.m_strMap);
}

// Fields a schema did not have yet keep their construction defaults.
std::unique_ptr<ServerInfo> ReadServer(ScwArchiveReader& ar) {
    const uint16_t schema = ar.ReadObjectClass(kServerClass);
    auto server = std::make_unique<ServerInfo>();
    server->m_dwAddress = ar.ReadDword();
    server->m_wPort = ar.ReadWord();
    server->m_nPing = ar.ReadDword();
    server->m_dwFlags = ar.ReadDword();
    server->m_bDeleted = ar.ReadByte();
    server->m_nMaxPlayers = ar.ReadByte();
    server->m_strName = ar.ReadString();
    server->m_strGame = ar.ReadString();
    server->m_strMap = ar.ReadString();
    if (schema >= 2) {
        server->m_cServerType = static_cast<char>(ar.ReadByte());
        server->m_cOS = static_cast<char>(ar.ReadByte());
        server->m_bPassword = ar.ReadByte();
    }
    if (schema >= 3)
        server->m_strAnnotation = ar.ReadString();
    if (schema >= 4)
        server->m_strPassword = ScramblePassword(ar.ReadString());
    if (schema >= 5) {
        server->m_strHostName = ar.ReadString();
        server->m_bConnectByHostName = ar.ReadByte();
    }
    return ar.Failed() ? nullptr : std::move(server);
}

void ReadQueryMembers(ScwArchiveReader& ar, uint16_t schema, Query& query) {
    if (schema >= 2)
        query.m_strName = ar.ReadString();
    query.m_strExpression = ar.ReadString();
    if (schema >= 3)
        query.m_dwFlags = ar.ReadDword();
}

void ReadFilter(ScwArchiveReader& ar, ServerFilter& filter) {
    ar.ReadClass(kFilterClass);
    // The filter's members never changed: its schema is not consulted.
    filter.m_dwFlags = ar.ReadDword();
    filter.m_nMaxPing = ar.ReadDword();
    filter.m_nMaxPlayers = ar.ReadByte();
    filter.m_strServerType = ar.ReadString();
    filter.m_strOS = ar.ReadString();
    filter.m_strGame = ar.ReadString();
    filter.m_strMap = ar.ReadString();
}

bool ReadServers(ScwArchiveReader& ar, std::vector<std::unique_ptr<ServerInfo>>& servers) {
    const uint32_t count = ar.ReadCount();
    if (ar.Failed() || count > ar.Remaining() / kMinServerBytes)
        return false;
    servers.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto server = ReadServer(ar);
        if (!server)
            return false;
        servers.push_back(std::move(server));
    }
    return true;
}

bool ReadQueries(ScwArchiveReader& ar, std::vector<std::unique_ptr<SearchQuery>>& queries) {
    const uint32_t count = ar.ReadCount();
    if (ar.Failed() || count > ar.Remaining() / kMinQueryBytes)
        return false;
    queries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t schema = ar.ReadObjectClass(kSearchQueryClass);
        auto query = std::make_unique<SearchQuery>();
        ReadQueryMembers(ar, schema, *query);
        if (ar.Failed())
            return false;
        queries.push_back(std::move(query));
    }
    return true;
}

// The extra part: for each server in file order, its true group bits and
// its protocol. A count that does not match the servers is damage.
bool ReadServerExtra(ScwArchiveReader& ar, std::vector<std::unique_ptr<ServerInfo>>& servers) {
    ar.ReadClass(kServerExtraClass);
    const uint32_t count = ar.ReadCount();
    if (ar.Failed() || count != servers.size() || count > ar.Remaining() / kServerExtraBytes)
        return false;
    for (auto& server : servers) {
        server->m_dwFlags = ar.ReadDword();
        const uint8_t protocol = ar.ReadByte();
        server->m_nProtocol = protocol <= PROTOCOL_A2S ? protocol : PROTOCOL_UNKNOWN;
    }
    return !ar.Failed();
}

// The watch part: a flag byte per query, then a kind byte and a count per
// server, both in file order. Counts that do not match are damage.
bool ReadWatches(ScwArchiveReader& ar, ScwContents& contents) {
    ar.ReadClass(kWatchesClass);
    const uint32_t queries = ar.ReadCount();
    if (ar.Failed() || queries != contents.queries.size() ||
        queries > ar.Remaining() / kWatchQueryBytes)
        return false;
    for (auto& query : contents.queries) {
        const uint8_t flags = ar.ReadByte();
        query->m_bWatch = (flags & kWatchOn) != 0;
        query->m_bWatchLeaving = (flags & kWatchLeaving) != 0;
    }
    const uint32_t servers = ar.ReadCount();
    if (ar.Failed() || servers != contents.servers.size() ||
        servers > ar.Remaining() / kWatchServerBytes)
        return false;
    for (auto& server : contents.servers) {
        const uint8_t kind = ar.ReadByte();
        server->m_nWatchKind = kind <= WATCH_MIN_PLAYERS ? kind : WATCH_NONE;
        server->m_nWatchCount = static_cast<int32_t>(ar.ReadDword());
    }
    return !ar.Failed();
}

bool ReadParts(ScwArchiveReader& ar, bool hasHeader, uint16_t knownDocSchema,
               ScwContents& contents) {
    uint16_t docSchema = 0;
    if (hasHeader) {
        docSchema = ar.ReadClass(kDocClass);
        if (ar.Failed())
            return false;
    }
    if (!ReadServers(ar, contents.servers) || !ReadQueries(ar, contents.queries))
        return false;

    // The document's schema says which trailing parts exist; they always
    // come in this order.
    if (hasHeader && docSchema >= 1) {
        ReadFilter(ar, contents.filter);
        contents.hasFilter = true;
    }
    if (hasHeader && docSchema >= 3) {
        ReadFilter(ar, contents.masterFilter);
        contents.hasMasterFilter = true;
    }
    if (hasHeader && docSchema >= 2) {
        const uint16_t schema = ar.ReadClass(kQueryClass);
        ReadQueryMembers(ar, schema, contents.findQuery);
        contents.hasFindQuery = true;
    }
    if (ar.Failed())
        return false;
    if (hasHeader && docSchema >= 4 && knownDocSchema >= 4 &&
        !ReadServerExtra(ar, contents.servers))
        return false;
    if (hasHeader && docSchema >= 5 && knownDocSchema >= 5 && !ReadWatches(ar, contents))
        return false;

    // Whatever follows the last part is left unread: nothing in the format
    // makes it damage, and a newer document schema may append parts of its
    // own.
    return true;
}

} // namespace

bool ScwHasHeader(std::span<const uint8_t> fileStart) {
    if (fileStart.size() < 6)
        return true;
    const auto word = [&](size_t at) {
        return static_cast<uint16_t>(fileStart[at] | fileStart[at + 1] << 8);
    };
    const uint16_t tag = word(0);
    const auto schema = static_cast<int16_t>(word(2));
    const uint16_t length = word(4);
    if (tag != 0xFFFF || length != kDocClass.size() || schema < 1)
        return false;
    if (fileStart.size() < 6 + kDocClass.size())
        return true;
    return std::equal(kDocClass.begin(), kDocClass.end(), fileStart.begin() + 6,
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

std::vector<uint8_t> WriteScwFile(const OwningServerList& servers,
                                  const std::vector<std::unique_ptr<SearchQuery>>& queries,
                                  const ServerFilter& filter, const ServerFilter& masterFilter,
                                  const Query& findQuery) {
    const bool watches = HasWatches(servers, queries);
    const bool extra =
        watches || std::any_of(servers.begin(), servers.end(),
                               [](const auto& server) { return NeedsExtra(*server); });
    ScwArchiveWriter ar;
    ar.WriteClass(kDocClass, watches ? kScwDocSchema
                             : extra ? kServerExtraDocSchema
                                     : kClassicDocSchema);

    ar.WriteCount(static_cast<uint32_t>(servers.GetSize()));
    for (const auto& server : servers) {
        ar.WriteObjectClass(kServerClass, kServerSchema);
        WriteServer(ar, *server);
    }

    ar.WriteCount(static_cast<uint32_t>(queries.size()));
    for (const auto& query : queries) {
        ar.WriteObjectClass(kSearchQueryClass, kQuerySchema);
        WriteQuery(ar, *query);
    }

    // The filters and the find query are members of the document, not
    // objects of their own: a class marker, then the members.
    ar.WriteClass(kFilterClass, kFilterSchema);
    WriteFilter(ar, filter);
    ar.WriteClass(kFilterClass, kFilterSchema);
    WriteFilter(ar, masterFilter);
    ar.WriteClass(kQueryClass, kQuerySchema);
    WriteQuery(ar, findQuery);

    if (extra) {
        ar.WriteClass(kServerExtraClass, kServerExtraSchema);
        ar.WriteCount(static_cast<uint32_t>(servers.GetSize()));
        for (const auto& server : servers) {
            ar.WriteDword(server->m_dwFlags);
            ar.WriteByte(server->m_nProtocol);
        }
    }
    if (watches) {
        ar.WriteClass(kWatchesClass, kWatchesSchema);
        ar.WriteCount(static_cast<uint32_t>(queries.size()));
        for (const auto& query : queries)
            ar.WriteByte(static_cast<uint8_t>((query->m_bWatch ? kWatchOn : 0) |
                                              (query->m_bWatchLeaving ? kWatchLeaving : 0)));
        ar.WriteCount(static_cast<uint32_t>(servers.GetSize()));
        for (const auto& server : servers) {
            ar.WriteByte(server->m_nWatchKind);
            ar.WriteDword(static_cast<uint32_t>(server->m_nWatchCount));
        }
    }
    return ar.TakeBytes();
}

bool ReadScwFile(std::span<const uint8_t> file, bool hasHeader, ScwContents& contents,
                 uint16_t knownDocSchema) {
    ScwArchiveReader ar(file);
    ScwContents read;
    const bool ok = ReadParts(ar, hasHeader, knownDocSchema, read);
    contents = ok ? std::move(read) : ScwContents();
    return ok;
}

std::string ScramblePassword(const std::string& password) {
    std::string stored = password;
    for (size_t i = 0; i < stored.size(); ++i) {
        const auto key = static_cast<uint8_t>(kScrambleMultiplier * i + kScrambleOffset);
        stored[i] = static_cast<char>(static_cast<uint8_t>(stored[i]) ^ key);
    }
    return stored;
}

bool SaveFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    // QSaveFile writes a temporary file beside the target, flushes it to
    // disk and renames it over the target only on commit; it gives the new
    // file the old one's permissions. In a folder the user may not add files
    // to, a file they may write is written in place instead.
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
