#include "ui/CSteamKeyStore.h"

#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include "core/CSettings.h"

namespace {

const QString kService = QStringLiteral("Scoutwire");
constexpr char kSection[] = "Settings";
constexpr char kFileKey[] = "SteamKey";
// A keyring may ask the user to unlock it first; a secret service that never
// answers must not hold the window for ever.
constexpr int kJobTimeoutMs = 30000;

struct JobResult {
    QKeychain::Error error = QKeychain::OtherError;
    QString text;
};

// Runs a keyring job to its end in a nested event loop. The job deletes
// itself when it finishes, even after a time-out here.
JobResult Run(QKeychain::Job* job) {
    JobResult result;
    bool finished = false;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        result.error = done->error();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done))
            result.text = read->textData();
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(kJobTimeoutMs, &loop, &QEventLoop::quit);
    job->setAutoDelete(true);
    job->start();
    if (!finished)
        loop.exec();
    return result;
}

bool KeyringWorks(QKeychain::Error error) {
    return error == QKeychain::NoError || error == QKeychain::EntryNotFound;
}

// One keyring entry per settings store: a run with a settings file of its
// own (a demo, --settings) neither reads nor replaces the user's key.
QString KeyName(CSettings& settings) {
    return QStringLiteral("Steam web API key: ") + settings.Store().fileName();
}

std::string FileKey(const CSettings& settings) {
    return settings.ReadString(kSection, kFileKey, std::string());
}

void RemoveFileKey(CSettings& settings) {
    settings.Store().remove(QString::fromLatin1(kSection) + '/' + QString::fromLatin1(kFileKey));
    settings.Sync();
}

} // namespace

CSteamKeyStore::Place CSteamKeyStore::Load(CSettings& settings) {
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(KeyName(settings));
    const JobResult result = Run(job);
    if (result.error == QKeychain::NoError) {
        settings.m_strSteamApiKey = result.text.toStdString();
        return Place::Keyring;
    }
    const std::string fileKey = FileKey(settings);
    settings.m_strSteamApiKey = fileKey;
    if (!KeyringWorks(result.error))
        return Place::SettingsFile;
    // A keyring that has appeared since the key went to the file takes it.
    return fileKey.empty() ? Place::Keyring : Store(settings, fileKey);
}

CSteamKeyStore::Place CSteamKeyStore::Store(CSettings& settings, const std::string& key) {
    settings.m_strSteamApiKey = key;
    QKeychain::Job* job = nullptr;
    if (key.empty()) {
        job = new QKeychain::DeletePasswordJob(kService);
    } else {
        auto* write = new QKeychain::WritePasswordJob(kService);
        write->setTextData(QString::fromStdString(key));
        job = write;
    }
    job->setKey(KeyName(settings));
    const JobResult result = Run(job);
    if (KeyringWorks(result.error)) {
        RemoveFileKey(settings);
        return Place::Keyring;
    }
    if (key.empty())
        RemoveFileKey(settings);
    else
        settings.WriteString(kSection, kFileKey, key);
    settings.Sync();
    return Place::SettingsFile;
}
