#pragma once

#include <QTimer>

#include <functional>
#include <unordered_set>

struct ServerInfo;

// During a bulk refresh replies arrive by the thousand per second: a view
// notes the servers they touched and repaints their rows once per batch,
// never once per reply. Outside a refresh the batch goes at the next turn of
// the event loop; during one, a few times a second. The pointers are only
// compared with the rows', never followed.
class CRedrawBatch {
public:
    using Servers = std::unordered_set<const ServerInfo*>;
    // flush(servers, all): all is true when every shown row is to be redrawn.
    explicit CRedrawBatch(std::function<void(const Servers&, bool)> flush)
        : m_flush(std::move(flush)) {
        m_timer.setSingleShot(true);
        m_timer.callOnTimeout([this] { Flush(); });
    }

    static constexpr int kRefreshingDelayMs = 50;

    // nullptr: every row.
    void Add(const ServerInfo* server, bool refreshing) {
        if (server)
            m_servers.insert(server);
        else
            m_bAll = true;
        const int delay = refreshing ? kRefreshingDelayMs : 0;
        if (!m_timer.isActive() || m_timer.interval() > delay)
            m_timer.start(delay);
    }
    // What is pending goes: the rows it pointed at are about to change.
    void Clear() {
        m_timer.stop();
        m_servers.clear();
        m_bAll = false;
    }
    void Flush() {
        m_timer.stop();
        if (m_servers.empty() && !m_bAll)
            return;
        Servers servers;
        servers.swap(m_servers);
        const bool all = m_bAll;
        m_bAll = false;
        m_flush(servers, all);
    }

private:
    std::function<void(const Servers&, bool)> m_flush;
    Servers m_servers;
    bool m_bAll = false;
    QTimer m_timer;
};
