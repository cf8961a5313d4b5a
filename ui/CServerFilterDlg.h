#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class ServerFilter;

// "Server Filter": every criterion of the server filter, edited in place on
// OK. No control enables another: a criterion keeps its values while it is
// switched off.
class CServerFilterDlg : public QDialog {
    Q_OBJECT
public:
    CServerFilterDlg(ServerFilter& filter, const std::vector<std::string>& games,
                     const std::vector<std::string>& maps, QWidget* parent = nullptr);

    void accept() override;

private:
    ServerFilter& m_filter;
    QCheckBox* m_pGameCheck;
    QComboBox* m_pGame;
    QCheckBox* m_pMapCheck;
    QComboBox* m_pMap;
    QCheckBox* m_pPingCheck;
    QLineEdit* m_pPing;
    QCheckBox* m_pPlayersCheck;
    QLineEdit* m_pPlayers;
    QCheckBox* m_pEmptyCheck;
    QComboBox* m_pEmpty;
    QCheckBox* m_pFullCheck;
    QComboBox* m_pFull;
    QCheckBox* m_pPasswordCheck;
    QComboBox* m_pPassword;
    QCheckBox* m_pTypeCheck;
    QComboBox* m_pType;
    QCheckBox* m_pOSCheck;
    QComboBox* m_pOS;
};
