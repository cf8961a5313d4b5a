#pragma once

// Talking to the lab byte by byte, with a reader written for the tests alone
// (never net/'s decoders): a connected UDP socket, a bounds-checked reader,
// and checks of the replies both generations share against the manifest.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LabProcess.h"

// A connected UDP socket, as the client uses: it only sees datagrams whose
// source is exactly the peer it asked.
class UdpPeer {
public:
    UdpPeer(uint32_t address, uint16_t port) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr.s_addr = htonl(address);
        peer.sin_port = htons(port);
        ::connect(m_fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    }
    ~UdpPeer() { ::close(m_fd); }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    void Send(const QByteArray& bytes) {
        ASSERT_EQ(::send(m_fd, bytes.data(), size_t(bytes.size()), 0), bytes.size());
    }
    void SendCommand(const char* word) { Send(QByteArray("\xFF\xFF\xFF\xFF") + word + '\0'); }

    // Sleeps in poll() until a datagram arrives or the time is up.
    std::optional<QByteArray> Receive(int timeoutMs) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1)
            return std::nullopt;
        char buffer[65536];
        const ssize_t length = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (length < 0)
            return std::nullopt;
        return QByteArray(buffer, qsizetype(length));
    }

private:
    int m_fd = -1;
};

// Reads a reply; every read past the end fails the test instead of reading on.
class Reader {
public:
    explicit Reader(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    bool AtEnd() const { return m_pos == m_bytes.size(); }
    bool Ok() const { return m_ok; }
    uint32_t U8() { return Take(1) ? uint8_t(m_bytes[m_pos - 1]) : 0; }
    // Each byte read in its own statement: the operands of | are unsequenced.
    uint32_t U16() {
        const uint32_t low = U8();
        return low | U8() << 8;
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | U16() << 16;
    }
    uint64_t U64() {
        const uint64_t low = U32();
        return low | uint64_t{U32()} << 32;
    }
    uint32_t BigU16() {
        const uint32_t high = U8();
        return high << 8 | U8();
    }
    uint32_t BigU32() {
        const uint32_t high = BigU16();
        return high << 16 | BigU16();
    }
    float F32() {
        const uint32_t bits = U32();
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    QByteArray String() {
        const qsizetype end = m_bytes.indexOf('\0', m_pos);
        if (end < 0) {
            m_ok = false;
            m_pos = m_bytes.size();
            return {};
        }
        const QByteArray text = m_bytes.mid(m_pos, end - m_pos);
        m_pos = end + 1;
        return text;
    }

private:
    bool Take(qsizetype n) {
        if (m_pos + n > m_bytes.size()) {
            m_ok = false;
            return false;
        }
        m_pos += n;
        return true;
    }
    QByteArray m_bytes;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

inline QByteArray Header(char type) {
    return QByteArray("\xFF\xFF\xFF\xFF") + type;
}

inline void ExpectDetails(const QByteArray& reply, const QJsonObject& server,
                          const QString& endpoint) {
    const QJsonObject d = server["details"].toObject();
    ASSERT_TRUE(reply.startsWith(Header('m')));
    Reader r(reply.mid(5));
    EXPECT_EQ(r.String(), endpoint.toLatin1());
    EXPECT_EQ(r.String(), LabProcess::Bytes(d, "name"));
    EXPECT_EQ(r.String(), d["map"].toString().toLatin1());
    EXPECT_EQ(r.String(), d["game"].toString().toLatin1());
    EXPECT_EQ(r.String(), d["description"].toString().toLatin1());
    EXPECT_EQ(int(r.U8()), d["players"].toInt());
    EXPECT_EQ(int(r.U8()), d["maxPlayers"].toInt());
    EXPECT_EQ(int(r.U8()), d["protocol"].toInt());
    EXPECT_EQ(QChar(r.U8()), d["type"].toString().at(0));
    EXPECT_EQ(QChar(r.U8()), d["os"].toString().at(0));
    EXPECT_EQ(r.U8() != 0, d["password"].toBool());
    const QString trailer = d["trailer"].toString();
    if (trailer != "none") {
        EXPECT_EQ(r.U8(), trailer == "mod" ? 1u : 0u);
        if (trailer == "mod") {
            const QJsonObject mod = d["mod"].toObject();
            EXPECT_EQ(r.String(), mod["infoUrl"].toString().toLatin1());
            EXPECT_EQ(r.String(), mod["downloadUrl"].toString().toLatin1());
            EXPECT_EQ(r.String(), QByteArray());
            EXPECT_EQ(int32_t(r.U32()), mod["version"].toInt());
            EXPECT_EQ(int32_t(r.U32()), mod["size"].toInt());
            EXPECT_EQ(r.U8() != 0, mod["serverOnly"].toBool());
            EXPECT_EQ(r.U8() != 0, mod["customDll"].toBool());
        }
        EXPECT_EQ(r.U8() != 0, d["secure"].toBool());
        EXPECT_EQ(int(r.U8()), d["bots"].toInt());
    }
    EXPECT_TRUE(r.Ok() && r.AtEnd()) << "details reply of " << endpoint.toStdString();
}

inline void ExpectPlayers(const QByteArray& reply, const QJsonObject& server, int answerNumber) {
    const QJsonArray players = server["players"].toArray();
    ASSERT_TRUE(reply.startsWith(Header('D')));
    Reader r(reply.mid(5));
    ASSERT_EQ(int(r.U8()), players.size());
    // A2S servers send 0 for everyone or a running count, not the slot.
    const QString indexForm = server["playerIndex"].toString();
    for (qsizetype k = 0; k < players.size(); ++k) {
        const QJsonObject p = players[k].toObject();
        const int index = indexForm == "zero"    ? 0
                          : indexForm == "count" ? int(k)
                                                 : p["index"].toInt();
        EXPECT_EQ(int(r.U8()), index);
        EXPECT_EQ(r.String(), LabProcess::Bytes(p, "name"));
        EXPECT_EQ(int32_t(r.U32()), p["frags"].toInt() + answerNumber * p["fragsDelta"].toInt());
        EXPECT_EQ(r.F32(), float(p["time"].toDouble()));
    }
    EXPECT_TRUE(r.Ok() && r.AtEnd());
}

inline void ExpectRules(const QByteArray& reply, const QJsonObject& server) {
    const QJsonArray rules = server["rules"].toArray();
    ASSERT_TRUE(reply.startsWith(Header('E')));
    Reader r(reply.mid(5));
    ASSERT_EQ(int(r.U16()), rules.size());
    for (const QJsonValue& value : rules) {
        EXPECT_EQ(r.String(), value["key"].toString().toLatin1());
        EXPECT_EQ(r.String(), value["value"].toString().toLatin1());
    }
    EXPECT_TRUE(r.Ok() && r.AtEnd());
}
