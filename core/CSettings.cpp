#include "core/CSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <limits>
#include <vector>

const char* const CSettings::kMasterHosts[3] = {
    "half-life.east.won.net",
    "half-life.west.won.net",
    "half-life.central.won.net",
};

namespace {

const char kSection[] = "Settings";

QString Key(const std::string& section, const std::string& key) {
    const QString name = QString::fromUtf8(key);
    return section.empty() ? name : QString::fromUtf8(section) + '/' + name;
}

// Record strings are bytes. Text that is valid UTF-8 is stored as a string,
// so that the store stays readable and editable; anything else is stored as
// a byte array, which gives every byte back unchanged.
QVariant ToStored(const std::string& value) {
    const QByteArray bytes(value.data(), static_cast<qsizetype>(value.size()));
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes)
        return text;
    return bytes;
}

std::string FromStored(const QVariant& value) {
    const QByteArray bytes =
        value.typeId() == QMetaType::QByteArray ? value.toByteArray() : value.toString().toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// The registry holds 32-bit values: anything in the signed or unsigned range
// is taken as those 32 bits; anything else (text, too large) is not a value.
bool ToInt32(const QVariant& value, int32_t& out) {
    bool ok = false;
    const qlonglong n = value.toLongLong(&ok);
    if (!ok || n < std::numeric_limits<int32_t>::min() ||
        n > static_cast<qlonglong>(std::numeric_limits<uint32_t>::max()))
        return false;
    out = static_cast<int32_t>(static_cast<uint32_t>(n));
    return true;
}

void LoadInt(const QSettings& store, const char* name, int32_t& member) {
    const QString key = Key(kSection, name);
    if (store.contains(key))
        ToInt32(store.value(key), member);
}

void LoadString(const QSettings& store, const char* name, std::string& member) {
    const QString key = Key(kSection, name);
    if (store.contains(key))
        member = FromStored(store.value(key));
}

template <class T> void AtLeast(T& value, T limit) {
    if (value < limit)
        value = limit;
}

// The old installer's default when nothing better is known; the game's
// directory gets a backslash unless it already ends in one or in a drive.
std::string AppendExecutable(std::string dir) {
    if (!dir.empty() && dir.back() != '\\' && dir.back() != ':')
        dir += '\\';
    return dir + "hl.exe";
}

constexpr char kOldDefaultDir[] = "c:\\games\\sierra\\half-life";

// The "path" values of a Steam libraryfolders.vdf. The format is nested
// quoted keys and values; only the strings matter here, so the text is split
// into quoted tokens and every token after a "path" key is taken.
std::vector<QString> ReadLibraryFolders(const QString& vdfPath) {
    std::vector<QString> folders;
    QFile file(vdfPath);
    // A library list is a few kilobytes; anything huge is not one.
    constexpr qint64 kMaxSize = 1 << 20;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSize)
        return folders;
    const QByteArray data = file.read(kMaxSize);

    std::vector<std::string> tokens;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data[i] != '"')
            continue;
        std::string token;
        ++i;
        while (i < data.size() && data[i] != '"') {
            if (data[i] == '\\' && i + 1 < data.size())
                ++i;
            token += data[i];
            ++i;
        }
        if (i >= data.size())
            break; // unterminated: ignore the rest
        tokens.push_back(std::move(token));
    }
    for (size_t k = 0; k + 1 < tokens.size(); ++k)
        if (tokens[k] == "path") {
            const QString folder = QString::fromUtf8(tokens[k + 1]);
            if (QDir::isAbsolutePath(folder))
                folders.push_back(folder);
        }
    return folders;
}

std::string GameIn(const QString& library) {
    const QString path = QDir(library).filePath("steamapps/common/Half-Life/hl.sh");
    if (QFileInfo(path).isFile())
        return QFile::encodeName(QDir::cleanPath(path)).toStdString();
    return {};
}

} // namespace

CSettings::CSettings() : m_pStore(std::make_unique<QSettings>("Tolvane", "Scoutwire")) {
    m_strWONMaster = kMasterHosts[2];
    m_strHLPath = DefaultGamePath();
}

CSettings::CSettings(const std::string& iniPath)
    : m_pStore(std::make_unique<QSettings>(QString::fromUtf8(iniPath), QSettings::IniFormat)) {
    m_strWONMaster = kMasterHosts[2];
    m_strHLPath = DefaultGamePath();
}

CSettings::~CSettings() = default;

void CSettings::Load() {
    const QSettings& store = *m_pStore;
    LoadInt(store, "CleanInterval", m_nCleanInterval);
    LoadInt(store, "RefreshInterval", m_nRefreshInterval);
    LoadInt(store, "SendInterval", m_nSendInterval);
    LoadInt(store, "SocketTimeout", m_nSocketTimeout);
    LoadInt(store, "MaxOpenSockets", m_nMaxOpenSockets);
    LoadInt(store, "QueriesPerSecond", m_nQueriesPerSecond);
    LoadInt(store, "WONTimeout", m_nWONTimeout);
    LoadInt(store, "WONRetries", m_nWONRetries);
    LoadString(store, "WONMaster", m_strWONMaster);
    LoadString(store, "HLPath", m_strHLPath);
    LoadString(store, "HLParams", m_strHLParams);
    int32_t flags = static_cast<int32_t>(m_dwFlags);
    LoadInt(store, "Flags", flags);
    m_dwFlags = static_cast<uint32_t>(flags);
    LoadString(store, "LastDoc", m_strLastDoc);
    LoadString(store, "SteamMaster", m_strSteamMaster);
    LoadInt(store, "SteamRegion", m_nSteamRegion);
    LoadString(store, "SteamApiUrl", m_strSteamApiUrl);
    LoadInt(store, "SteamListLimit", m_nSteamListLimit);
    LoadInt(store, "ListSource", m_nListSource);
    LoadInt(store, "SteamAppId", m_nSteamAppId);
    ApplyLimits();
}

void CSettings::Save() {
    ApplyLimits();
    WriteInt(kSection, "CleanInterval", m_nCleanInterval);
    WriteInt(kSection, "RefreshInterval", m_nRefreshInterval);
    WriteInt(kSection, "SendInterval", m_nSendInterval);
    WriteInt(kSection, "SocketTimeout", m_nSocketTimeout);
    WriteInt(kSection, "MaxOpenSockets", m_nMaxOpenSockets);
    WriteInt(kSection, "QueriesPerSecond", m_nQueriesPerSecond);
    WriteInt(kSection, "WONTimeout", m_nWONTimeout);
    WriteInt(kSection, "WONRetries", m_nWONRetries);
    WriteString(kSection, "WONMaster", m_strWONMaster);
    WriteString(kSection, "HLPath", m_strHLPath);
    WriteString(kSection, "HLParams", m_strHLParams);
    WriteInt(kSection, "Flags", static_cast<int32_t>(m_dwFlags));
    WriteString(kSection, "LastDoc", m_strLastDoc);
    WriteString(kSection, "SteamMaster", m_strSteamMaster);
    WriteInt(kSection, "SteamRegion", m_nSteamRegion);
    WriteString(kSection, "SteamApiUrl", m_strSteamApiUrl);
    WriteInt(kSection, "SteamListLimit", m_nSteamListLimit);
    WriteInt(kSection, "ListSource", m_nListSource);
    WriteInt(kSection, "SteamAppId", m_nSteamAppId);
    Sync();
}

void CSettings::ApplyLimits() {
    AtLeast(m_nSocketTimeout, 11);
    AtLeast(m_nCleanInterval, 11);
    AtLeast(m_nRefreshInterval, 1000);
    if (m_nMaxOpenSockets > kMaxQueriesInFlight)
        m_nMaxOpenSockets = kMaxQueriesInFlight;
    AtLeast(m_nSendInterval, 0);
    AtLeast(m_nQueriesPerSecond, -1);
    if (m_nQueriesPerSecond > kMaxQueriesPerSecond)
        m_nQueriesPerSecond = kMaxQueriesPerSecond;
    AtLeast(m_nWONTimeout, 11);
    AtLeast(m_nWONRetries, 0);
    // The region is one byte on the wire; anything else means every region.
    if (m_nSteamRegion < 0 || m_nSteamRegion > 0xFF)
        m_nSteamRegion = 0xFF;
    AtLeast(m_nSteamListLimit, 1);
    if (m_nListSource < LIST_SOURCE_WON || m_nListSource > LIST_SOURCE_STEAM_MASTER)
        m_nListSource = LIST_SOURCE_WON;
    // App ids are 32-bit unsigned on Steam, but every Half-Life one is small;
    // a negative value is "none".
    AtLeast(m_nSteamAppId, -1);
}

void CSettings::ResetAdvanced() {
    m_nCleanInterval = 500;
    m_nSocketTimeout = 2000;
    m_nMaxOpenSockets = 50;
    m_nSendInterval = 50;
    m_nQueriesPerSecond = -1;
}

int64_t SendPeriodMicros(const CSettings& settings) {
    if (settings.m_nQueriesPerSecond > 0)
        return 1000000 / settings.m_nQueriesPerSecond;
    if (settings.m_nQueriesPerSecond == 0)
        return 0;
    return settings.m_nSendInterval > 0 ? int64_t{settings.m_nSendInterval} * 1000 : 0;
}

int EffectiveMaxSockets(const CSettings& settings) {
    return settings.m_nMaxOpenSockets > 0 ? settings.m_nMaxOpenSockets : 1;
}

bool UsesFastEngine(const CSettings& settings) {
    return settings.m_nMaxOpenSockets > 99 || SendPeriodMicros(settings) < 1000;
}

std::string CSettings::DefaultGamePath() {
#ifdef Q_OS_WIN
    std::string dir = kOldDefaultDir;
    QSettings key("HKEY_LOCAL_MACHINE\\software\\sierra online\\setup\\halflife",
                  QSettings::NativeFormat);
    const QVariant value = key.value("directory");
    if (value.isValid()) {
        const std::string found = FromStored(value);
        // The installer's buffer held 260 bytes; a longer value was never read.
        if (found.size() < 260)
            dir = found;
    }
    return AppendExecutable(dir);
#else
    return DefaultGamePath(QDir::homePath().toStdString());
#endif
}

std::string CSettings::DefaultGamePath(const std::string& homeDir) {
    const QDir home(QString::fromUtf8(homeDir));
    std::vector<QString> libraries = {home.filePath(".steam/steam"),
                                      home.filePath(".local/share/Steam")};
    for (const char* vdf : {".steam/steam/steamapps/libraryfolders.vdf",
                            ".local/share/Steam/steamapps/libraryfolders.vdf"})
        for (QString& folder : ReadLibraryFolders(home.filePath(vdf)))
            libraries.push_back(std::move(folder));
    for (const QString& library : libraries) {
        std::string game = GameIn(library);
        if (!game.empty())
            return game;
    }
    return AppendExecutable(kOldDefaultDir);
}

int CSettings::ReadInt(const std::string& section, const std::string& key, int defaultValue) const {
    int32_t value = defaultValue;
    const QString name = Key(section, key);
    if (m_pStore->contains(name))
        ToInt32(m_pStore->value(name), value);
    return value;
}

void CSettings::WriteInt(const std::string& section, const std::string& key, int value) {
    m_pStore->setValue(Key(section, key), value);
}

std::string CSettings::ReadString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue) const {
    const QString name = Key(section, key);
    return m_pStore->contains(name) ? FromStored(m_pStore->value(name)) : defaultValue;
}

void CSettings::WriteString(const std::string& section, const std::string& key,
                            const std::string& value) {
    m_pStore->setValue(Key(section, key), ToStored(value));
}

void CSettings::Sync() {
    m_pStore->sync();
}
