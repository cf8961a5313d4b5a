#pragma once

#include <string>

class CSettings;

// The user's key for the Steam web service. It is kept in the desktop's
// keyring where there is one, never in a document; without a keyring (a
// headless machine, a desktop without a secret service) it falls back to the
// settings file, and the Options dialog says so. Each settings store has a
// keyring entry of its own. The document reads the key from the settings
// record's m_strSteamApiKey, which holds it for the run.
class CSteamKeyStore {
public:
    enum class Place { Keyring, SettingsFile };

    // Reads the key into m_strSteamApiKey and tells where it is kept.
    static Place Load(CSettings& settings);
    // Keeps the key (an empty one removes it) and sets m_strSteamApiKey.
    static Place Store(CSettings& settings, const std::string& key);
};
