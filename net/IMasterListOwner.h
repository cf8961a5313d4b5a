#pragma once

#include <cstdint>
#include <span>
#include <string>

struct MasterEntry;
struct SteamWebServer;

// Whoever runs a master exchange (the document, a test) hears from it here.
// An exchange never destroys itself: on OnMasterListComplete and
// OnMasterListFailed the owner ends it, and those calls are the last thing
// the exchange's handler does.
class IMasterListOwner {
public:
    virtual ~IMasterListOwner() = default;

    // A request for a new part of the list went out (not a re-send). id is
    // the WON batch id, or the number of the request for Steam's master.
    virtual void OnMasterRequestSent(uint32_t id) = 0;
    // Addresses the master listed.
    virtual void OnMasterEntries(std::span<const MasterEntry> entries) = 0;
    // Servers the web service listed together with what it knows of them.
    virtual void OnMasterServers(std::span<const SteamWebServer> servers) = 0;
    // The list is complete (or as complete as a misbehaving master allows).
    virtual void OnMasterListComplete() = 0;
    // The exchange cannot go on; message says why, in words for the user.
    virtual void OnMasterListFailed(const std::string& message) = 0;
    // A datagram from the master that is not part of the list; shown is the
    // exchange's own "unsupported reply box already shown" flag.
    virtual void OnMasterOtherReply(uint8_t type, std::span<const uint8_t> payload,
                                    uint32_t address, uint16_t port, bool* shown) = 0;
    // A socket call failed; errno still tells why.
    virtual void OnMasterSocketError(const std::string& context) = 0;
};
