#pragma once

#include <QDialog>
#include <string>
#include <vector>

class CSettings;
class QCheckBox;
class QComboBox;
class QRadioButton;
class ServerFilter;

// "Update server list": which list to ask (the WON master, the Steam web
// service or the Steam master server, with its region and the app id for
// Steam) and the filter sent with the request. Only the game and map can be
// changed; the empty and server type criteria are shown greyed out and
// stored back as they were shown. OK writes the source, region and app id to
// the settings record.
class CUpdateListDlg : public QDialog {
    Q_OBJECT
public:
    CUpdateListDlg(ServerFilter& filter, CSettings& settings, const std::vector<std::string>& games,
                   const std::vector<std::string>& maps, QWidget* parent = nullptr);

    void accept() override;

private:
    void EnableSteamChoices();

    ServerFilter& m_filter;
    CSettings& m_settings;
    QRadioButton* m_pWon;
    QRadioButton* m_pSteamWeb;
    QRadioButton* m_pSteamMaster;
    QComboBox* m_pRegion;
    QComboBox* m_pAppId;
    QCheckBox* m_pGameCheck;
    QComboBox* m_pGame;
    QCheckBox* m_pMapCheck;
    QComboBox* m_pMap;
    QCheckBox* m_pEmptyCheck;
    QComboBox* m_pEmpty;
    QCheckBox* m_pTypeCheck;
    QComboBox* m_pType;
};
