#include "net/SteamWebList.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Everything but the unreserved characters as %XX, so that the filter's
// backslashes and a key's any byte reach the service as they are.
void AppendEncoded(std::string& url, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
            byte == '~') {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0x0F];
        }
    }
}

// "a.b.c.d:port" exactly: four numbers 0-255, a port 0-65535.
bool ParseAddr(const QString& text, uint32_t& address, uint16_t& port) {
    uint32_t parts[5] = {};
    int part = 0;
    int digits = 0;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c >= u'0' && c <= u'9') {
            if (++digits > 5)
                return false;
            parts[part] = parts[part] * 10 + static_cast<uint32_t>(c - u'0');
            continue;
        }
        const char16_t separator = part < 3 ? u'.' : u':';
        if (c != separator || digits == 0 || part == 4)
            return false;
        ++part;
        digits = 0;
    }
    if (part != 4 || digits == 0 || parts[4] > 65535)
        return false;
    address = 0;
    for (int i = 0; i < 4; ++i) {
        if (parts[i] > 255)
            return false;
        address = (address << 8) | parts[i];
    }
    port = static_cast<uint16_t>(parts[4]);
    return true;
}

// A number's whole part where it fits an int, or 0 for anything else.
int IntOf(const QJsonValue& value) {
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(number);
}

// A player count as a record holds it: 0 to 255.
int CountOf(const QJsonValue& value) {
    return std::clamp(IntOf(value), 0, 255);
}

std::string StringOf(const QJsonValue& value) {
    return value.isString() ? value.toString().toStdString() : std::string();
}

// The service sends booleans; a 0 or 1 is read as one as well.
bool BoolOf(const QJsonValue& value) {
    return value.isBool() ? value.toBool() : IntOf(value) != 0;
}

} // namespace

std::string BuildSteamWebListUrl(std::string_view baseUrl, std::string_view key,
                                 std::string_view filter, int limit) {
    while (!baseUrl.empty() && baseUrl.back() == '/')
        baseUrl.remove_suffix(1);
    std::string url(baseUrl);
    url += "/IGameServersService/GetServerList/v1/?key=";
    AppendEncoded(url, key);
    url += "&filter=";
    AppendEncoded(url, filter);
    if (limit > 0)
        url += "&limit=" + std::to_string(limit);
    return url;
}

SteamWebListResult ParseSteamWebList(std::span<const uint8_t> json) {
    SteamWebListResult result;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(json.data()),
                                                     static_cast<qsizetype>(json.size()));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.error = "The Steam web service's answer is not JSON (" +
                       parseError.errorString().toStdString() + " at byte " +
                       std::to_string(parseError.offset) + ")";
        return result;
    }
    const QJsonValue response = document.object().value(QLatin1String("response"));
    if (!document.isObject() || !response.isObject()) {
        result.error = "The Steam web service's answer holds no server list";
        return result;
    }
    // The service leaves "servers" out when no server matches the filter.
    const QJsonValue servers = response.toObject().value(QLatin1String("servers"));
    if (!servers.isUndefined() && !servers.isArray()) {
        result.error = "The Steam web service's answer holds no server list";
        return result;
    }
    result.ok = true;
    const QJsonArray list = servers.toArray();
    result.servers.reserve(static_cast<size_t>(list.size()));
    for (const QJsonValue& item : list) {
        const QJsonObject o = item.toObject();
        SteamWebServer server;
        // Without its query address a server cannot be used at all.
        if (!ParseAddr(o.value(QLatin1String("addr")).toString(), server.address, server.port) ||
            server.address == 0 || server.port == 0)
            continue;
        server.name = StringOf(o.value(QLatin1String("name")));
        server.map = StringOf(o.value(QLatin1String("map")));
        server.gamedir = StringOf(o.value(QLatin1String("gamedir")));
        server.version = StringOf(o.value(QLatin1String("version")));
        server.product = StringOf(o.value(QLatin1String("product")));
        server.appId = IntOf(o.value(QLatin1String("appid")));
        server.players = CountOf(o.value(QLatin1String("players")));
        server.maxPlayers = CountOf(o.value(QLatin1String("max_players")));
        server.bots = CountOf(o.value(QLatin1String("bots")));
        server.dedicated = BoolOf(o.value(QLatin1String("dedicated")));
        server.secure = BoolOf(o.value(QLatin1String("secure")));
        const std::string os = StringOf(o.value(QLatin1String("os")));
        server.os = os.empty() ? 0 : os[0];
        result.servers.push_back(std::move(server));
    }
    return result;
}
