#pragma once

#include <QDialog>
#include <functional>

class CSettings;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// "Options": the settings record, edited directly. It reloads the record
// (and the Steam web service key, from the keyring or the settings file)
// from the store when it opens; OK stores the fields and saves, "Defaults"
// stores the fields and puts the advanced values back to their defaults
// (kept for the run even if the dialog is then cancelled), "Reset" reloads
// from the store.
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    explicit COptionsDlg(CSettings& settings, QWidget* parent = nullptr);

    // Shows the dialog modally; true when it was closed with OK, and the
    // caller then applies the new timer intervals.
    static bool Edit(CSettings& settings, QWidget* parent);

    void accept() override;

    // Asks for an existing executable, starting at the given file; an empty
    // answer leaves the field alone. A file dialog unless replaced.
    void SetFileChooser(std::function<QString(const QString&)> chooser) {
        m_chooseFile = std::move(chooser);
    }

private:
    void Fill();
    void LoadSteamKey();
    // False when a field was refused; the record is then unchanged.
    bool Store();
    void Browse();
    void OnDefaults();
    void OnReset();
    // A preset fills the speed fields; typing in them selects the preset
    // they now match, or "Custom".
    void OnPreset(int index);
    void ShowMatchingPreset();

    CSettings& m_settings;
    QLineEdit* m_pHLPath;
    QLineEdit* m_pHLParams;
    QCheckBox* m_pLoadLastDoc;
    QCheckBox* m_pUpdateQueries;
    QCheckBox* m_pKeepPlayers;
    QLineEdit* m_pRefreshInterval;
    QComboBox* m_pWONMaster;
    QLineEdit* m_pWONTimeout;
    QLineEdit* m_pWONRetries;
    QCheckBox* m_pClearBeforeUpdate;
    QCheckBox* m_pShowUpdateDialog;
    QCheckBox* m_pRefreshNewServers;
    QCheckBox* m_pKeepInTray;
    QComboBox* m_pSpeedPreset;
    QLineEdit* m_pQueriesInFlight; // the same value as m_pMaxOpenSockets
    QLineEdit* m_pQueriesPerSecond;
    bool m_bSyncingSpeed = false;
    QLineEdit* m_pMaxOpenSockets;
    QLineEdit* m_pSocketTimeout;
    QLineEdit* m_pSendInterval;
    QLineEdit* m_pCleanInterval;
    QLineEdit* m_pSteamKey;
    QLineEdit* m_pSteamMaster;
    QComboBox* m_pSteamRegion;
    QLabel* m_pSteamKeyNote;
    std::function<QString(const QString&)> m_chooseFile;
};
