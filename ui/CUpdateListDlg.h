#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class ServerFilter;

// "Update server list": the master-server filter sent with the next list
// request. Only the game and map can be changed; the empty and server type
// criteria are shown greyed out and stored back as they were shown.
class CUpdateListDlg : public QDialog {
    Q_OBJECT
public:
    CUpdateListDlg(ServerFilter& filter, const std::vector<std::string>& games,
                   const std::vector<std::string>& maps, QWidget* parent = nullptr);

    void accept() override;

private:
    ServerFilter& m_filter;
    QCheckBox* m_pGameCheck;
    QComboBox* m_pGame;
    QCheckBox* m_pMapCheck;
    QComboBox* m_pMap;
    QCheckBox* m_pEmptyCheck;
    QComboBox* m_pEmpty;
    QCheckBox* m_pTypeCheck;
    QComboBox* m_pType;
};
