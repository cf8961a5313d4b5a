#pragma once

#include <cstdint>
#include <memory>
#include <string>

class QSettings;

constexpr uint32_t OPT_UPDATE_QUERIES = 0x1;
constexpr uint32_t OPT_KEEP_PLAYERS = 0x2;
constexpr uint32_t OPT_LOAD_LAST_DOC = 0x4;
constexpr uint32_t OPT_SHOW_UPDATE_DIALOG = 0x8;
constexpr uint32_t OPT_CLEAR_BEFORE_UPDATE = 0x10;
constexpr uint32_t OPT_REFRESH_NEW_SERVERS = 0x20;
// Closing the window while watches run leaves the program in the tray.
constexpr uint32_t OPT_KEEP_IN_TRAY = 0x40;

// Where Update Server List fetches the list from.
constexpr int32_t LIST_SOURCE_WON = 0;
constexpr int32_t LIST_SOURCE_STEAM_WEB = 1;
constexpr int32_t LIST_SOURCE_STEAM_MASTER = 2;

// The program's options, held for the whole run. They live in the per-user
// store of organisation "Tolvane", application "Scoutwire", section
// "Settings" (the registry on Windows, an INI file elsewhere), or in the file
// given to the constructor.
class CSettings {
public:
    // The user's own settings store.
    CSettings();
    // A settings file of its own (an INI file), as tests and --settings use.
    explicit CSettings(const std::string& iniPath);
    ~CSettings();
    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    // Reads every value (missing ones keep their current value), then
    // applies the limits.
    void Load();
    // Applies the limits, then writes every value.
    void Save();
    // The socket time-out, cleaning and refresh intervals, open sockets, send
    // interval, queries per second, master time-out and retries are brought
    // within their limits, in that order; then the Steam region, list limit,
    // list source and app id.
    void ApplyLimits();
    // The "Advanced" group back to its defaults.
    void ResetAdvanced();

    // Queries in flight beyond 99 and sends closer than 1 ms apart need the
    // fast engine; this is as far as it goes.
    static constexpr int32_t kMaxQueriesInFlight = 8192;
    static constexpr int32_t kMaxQueriesPerSecond = 1000000;

    // The three preset master hosts: east, west and central.
    static const char* const kMasterHosts[3];
    // The game's executable where it is installed, else the old default.
    static std::string DefaultGamePath();
    // The Steam look-up of the game under the given home folder, else the
    // old default; DefaultGamePath uses it with the user's home elsewhere
    // than on Windows.
    static std::string DefaultGamePath(const std::string& homeDir);

    // Other values of the same section ("DefQuery_Flags", the pane sizes)
    // and of the store ("Recent File List").
    int ReadInt(const std::string& section, const std::string& key, int defaultValue) const;
    void WriteInt(const std::string& section, const std::string& key, int value);
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void Sync();
    QSettings& Store() { return *m_pStore; }

    int32_t m_nCleanInterval = 500;
    int32_t m_nRefreshInterval = 10000;
    int32_t m_nSendInterval = 50;
    int32_t m_nSocketTimeout = 2000;
    // What the window calls "Queries in flight".
    int32_t m_nMaxOpenSockets = 50;
    // -1: queries go out m_nSendInterval ms apart; 0: as fast as the socket
    // takes them; N: N queries per second.
    int32_t m_nQueriesPerSecond = -1;
    int32_t m_nWONTimeout = 4000;
    int32_t m_nWONRetries = 3;
    uint16_t m_wWONPort = 27010;
    std::string m_strWONMaster;
    std::string m_strHLPath;
    std::string m_strHLParams = "-console -numericping";
    uint32_t m_dwFlags = 0x38;
    std::string m_strLastDoc;
    // Steam's list sources. The master is "host" or "host:port"; the web
    // service's base address stands in for https://api.steampowered.com.
    std::string m_strSteamMaster = "hl2master.steampowered.com:27011";
    int32_t m_nSteamRegion = 0xFF; // all regions
    std::string m_strSteamApiUrl = "https://api.steampowered.com";
    int32_t m_nSteamListLimit = 50000;
    int32_t m_nListSource = LIST_SOURCE_WON;
    int32_t m_nSteamAppId = -1; // -1: the filter names no app id
    // The user's own web API key. Held for the run only and never written
    // with the other values: a key belongs in the desktop's keyring.
    std::string m_strSteamApiKey;

private:
    std::unique_ptr<QSettings> m_pStore;
};

// The time between two new queries of a bulk refresh, in microseconds
// (0: unpaced).
int64_t SendPeriodMicros(const CSettings& settings);
// Queries in flight at once; at least one, or a bulk refresh would wait for ever.
int EffectiveMaxSockets(const CSettings& settings);
// More in flight or faster than the classic engine was built for.
bool UsesFastEngine(const CSettings& settings);
