#include "ui/CServerFilterDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DisplayText.h"
#include "search/ServerFilter.h"
#include "ui/DialogControls.h"

CServerFilterDlg::CServerFilterDlg(ServerFilter& filter, const std::vector<std::string>& games,
                                   const std::vector<std::string>& maps, QWidget* parent)
    : QDialog(parent), m_filter(filter) {
    setWindowTitle(tr("Server Filter"));
    m_pGameCheck = CheckBox(tr("&Game:"), "gameCheck", this);
    m_pGame = DropDownCombo("game", this);
    m_pMapCheck = CheckBox(tr("&Map:"), "mapCheck", this);
    m_pMap = DropDownCombo("map", this);
    m_pPingCheck = CheckBox(tr("Max. &Ping:"), "pingCheck", this);
    m_pPing = DigitsEdit("maxPing", this);
    m_pPlayersCheck = CheckBox(tr("Max. Pla&yers:"), "maxPlayersCheck", this);
    m_pPlayers = DigitsEdit("maxPlayers", this);
    m_pEmptyCheck = CheckBox(tr("&Empty"), "emptyCheck", this);
    m_pEmpty = YesNoCombo("emptyValue", this);
    m_pFullCheck = CheckBox(tr("&Full"), "fullCheck", this);
    m_pFull = YesNoCombo("fullValue", this);
    m_pPasswordCheck = CheckBox(tr("Pass&word"), "passwordCheck", this);
    m_pPassword = YesNoCombo("passwordValue", this);
    m_pTypeCheck = CheckBox(tr("&Server Type:"), "typeCheck", this);
    m_pType = DropDownCombo("serverType", this);
    m_pOSCheck = CheckBox(tr("&OS Type:"), "osCheck", this);
    m_pOS = DropDownCombo("os", this);
    QPushButton* ok = PushButton(tr("OK"), "ok", this);
    QPushButton* cancel = PushButton(tr("Cancel"), "cancel", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    const int comboWidth = DluX(this, 81);
    for (QComboBox* combo : {m_pGame, m_pMap, m_pType, m_pOS})
        combo->setFixedWidth(comboWidth);
    for (QLineEdit* edit : {m_pPing, m_pPlayers})
        edit->setFixedWidth(DluX(this, 38));
    for (QComboBox* combo : {m_pEmpty, m_pFull, m_pPassword})
        combo->setFixedWidth(DluX(this, 46));

    auto* grid = new QGridLayout;
    const std::pair<QWidget*, QWidget*> rows[] = {
        {m_pGameCheck, m_pGame},         {m_pMapCheck, m_pMap},     {m_pPingCheck, m_pPing},
        {m_pPlayersCheck, m_pPlayers},   {m_pEmptyCheck, m_pEmpty}, {m_pFullCheck, m_pFull},
        {m_pPasswordCheck, m_pPassword}, {m_pTypeCheck, m_pType},   {m_pOSCheck, m_pOS}};
    int row = 0;
    for (const auto& [check, control] : rows) {
        grid->addWidget(check, row, 0);
        grid->addWidget(control, row, 1, Qt::AlignLeft);
        ++row;
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(EtchedLine(this));
    layout->addLayout(ButtonRow({ok, cancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The value lists were added to the dialog last and come last.
    SetTabChain(
        {m_pGameCheck,    m_pGame,    m_pMapCheck,   m_pMap,       m_pPingCheck,     m_pPing,
         m_pPlayersCheck, m_pPlayers, m_pEmptyCheck, m_pFullCheck, m_pPasswordCheck, m_pTypeCheck,
         m_pType,         m_pOSCheck, m_pOS,         ok,           cancel,           m_pEmpty,
         m_pFull,         m_pPassword});

    AddItems(m_pGame, games);
    AddItems(m_pMap, maps);
    m_pType->addItems({tr("Dedicated"), tr("Listen")});
    m_pOS->addItems({tr("Linux"), tr("Win32")});

    const uint32_t flags = filter.m_dwFlags;
    m_pGameCheck->setChecked(flags & FILTER_GAME);
    m_pMapCheck->setChecked(flags & FILTER_MAP);
    m_pPingCheck->setChecked(flags & FILTER_PING);
    m_pPlayersCheck->setChecked(flags & FILTER_MAXPLAYERS);
    m_pEmptyCheck->setChecked(flags & FILTER_EMPTY);
    m_pFullCheck->setChecked(flags & FILTER_FULL);
    m_pPasswordCheck->setChecked(flags & FILTER_PASSWORD);
    m_pTypeCheck->setChecked(flags & FILTER_TYPE);
    m_pOSCheck->setChecked(flags & FILTER_OS);
    m_pGame->setCurrentText(DisplayText(filter.m_strGame));
    m_pMap->setCurrentText(DisplayText(filter.m_strMap));
    m_pPing->setText(QString::number(static_cast<int32_t>(filter.m_nMaxPing)));
    m_pPlayers->setText(QString::number(filter.m_nMaxPlayers));
    m_pType->setCurrentText(DisplayText(filter.m_strServerType));
    m_pOS->setCurrentText(DisplayText(filter.m_strOS));
    m_pEmpty->setCurrentIndex(flags & FILTER_EMPTY_YES ? 1 : 0);
    m_pFull->setCurrentIndex(flags & FILTER_FULL_YES ? 1 : 0);
    m_pPassword->setCurrentIndex(flags & FILTER_PASSWORD_YES ? 1 : 0);
    m_pGameCheck->setFocus();
}

void CServerFilterDlg::accept() {
    int32_t ping = 0;
    int32_t players = 0;
    if (!ReadSignedInt(m_pPing, ping) || !ReadSignedInt(m_pPlayers, players))
        return;
    uint32_t& flags = m_filter.m_dwFlags;
    SetBit(flags, FILTER_GAME, m_pGameCheck->isChecked());
    SetBit(flags, FILTER_MAP, m_pMapCheck->isChecked());
    SetBit(flags, FILTER_PING, m_pPingCheck->isChecked());
    SetBit(flags, FILTER_MAXPLAYERS, m_pPlayersCheck->isChecked());
    SetBit(flags, FILTER_EMPTY, m_pEmptyCheck->isChecked());
    SetBit(flags, FILTER_FULL, m_pFullCheck->isChecked());
    SetBit(flags, FILTER_PASSWORD, m_pPasswordCheck->isChecked());
    SetBit(flags, FILTER_TYPE, m_pTypeCheck->isChecked());
    SetBit(flags, FILTER_OS, m_pOSCheck->isChecked());
    SetBit(flags, FILTER_EMPTY_YES, m_pEmpty->currentIndex() != 0);
    SetBit(flags, FILTER_FULL_YES, m_pFull->currentIndex() != 0);
    SetBit(flags, FILTER_PASSWORD_YES, m_pPassword->currentIndex() != 0);
    m_filter.m_strGame = RecordText(m_pGame, m_filter.m_strGame);
    m_filter.m_strMap = RecordText(m_pMap, m_filter.m_strMap);
    m_filter.m_strServerType = RecordText(m_pType, m_filter.m_strServerType);
    m_filter.m_strOS = RecordText(m_pOS, m_filter.m_strOS);
    m_filter.m_nMaxPing = static_cast<uint32_t>(ping);
    // The record holds eight bits; a larger number keeps its low byte.
    m_filter.m_nMaxPlayers = static_cast<uint8_t>(players);
    QDialog::accept();
}
