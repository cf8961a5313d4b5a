#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/CMasterSocket.h"

class IMasterListOwner;

// Where a server list comes from.
enum class MasterSource { Won, SteamMaster, SteamWeb };

// What one exchange asks for, fixed when it starts: the settings and the
// master filter as they were then.
struct MasterListQuery {
    // The master's host name and port (the UDP masters).
    std::string host;
    uint16_t port = 0;
    // The web service's base address, the user's key and the most servers
    // to ask for.
    std::string apiUrl;
    std::string apiKey;
    int limit = 0;
    // The filter. An empty text asks for any.
    std::string game;
    std::string map;
    bool hasType = false;
    bool dedicated = false;
    bool hasEmpty = false;
    bool empty = false;
    bool hasFull = false;
    bool full = false;
    bool hasPassword = false;
    bool password = false;
    char os = 0;    // 'l' or 'w' when asked for
    int appId = -1; // -1: none sent
    uint8_t region = 0xFF;
    // Patience: a silent request is re-sent this many times, each after
    // timeoutMs without an answer.
    int timeoutMs = 4000;
    int retries = 3;
};

// The Steam filter text ("\appid\70\gamedir\cstrike...") that asks for what
// the query asks for; both Steam sources use it.
std::string SteamFilterText(const MasterListQuery& query);

// One fetch of the server list from a master. The owner starts it, lets the
// cleaning pass look at it, and ends it when it reports completion or
// failure. Every handler holds the busy counter, so that an owner that ends
// the exchange from inside one can put off freeing it.
class CMasterExchange {
public:
    CMasterExchange(IMasterListOwner& owner, MasterListQuery query)
        : m_owner(owner), m_query(std::move(query)) {}
    virtual ~CMasterExchange() = default;
    CMasterExchange(const CMasterExchange&) = delete;
    CMasterExchange& operator=(const CMasterExchange&) = delete;

    virtual MasterSource Source() const = 0;
    // Opens what the exchange needs and sends the first request. A failure
    // is reported through the owner.
    virtual void Start() = 0;
    // The cleaning pass: re-sends a silent request or gives up on it.
    virtual void OnCleaningPass(uint64_t now) = 0;
    // Stops all traffic; nothing reaches the owner afterwards.
    virtual void Close() = 0;
    virtual bool IsBusy() const { return m_nBusy > 0; }

    const MasterListQuery& Query() const { return m_query; }
    // Requests sent so far, re-sends included.
    int RequestsSent() const { return m_nRequestsSent; }
    // "host:port" or the web service's base address, for status texts.
    virtual std::string PeerText() const;

protected:
    // Holds the busy counter for a scope.
    class Busy {
    public:
        explicit Busy(CMasterExchange& exchange) : m_exchange(exchange) { ++m_exchange.m_nBusy; }
        ~Busy() { --m_exchange.m_nBusy; }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        CMasterExchange& m_exchange;
    };

    // The UDP socket to the master, created and connected; null once the
    // failure is reported and the exchange ended.
    std::unique_ptr<CMasterSocket> OpenMasterSocket(CMasterSocket::DatagramHandler onDatagram,
                                                    const std::string& connectError);

    IMasterListOwner& m_owner;
    MasterListQuery m_query;
    int m_nRequestsSent = 0;
    int m_nBusy = 0;
};
