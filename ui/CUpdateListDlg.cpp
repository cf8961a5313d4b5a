#include "ui/CUpdateListDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/CSettings.h"
#include "core/DisplayText.h"
#include "search/ServerFilter.h"
#include "ui/DialogControls.h"
#include "ui/SteamChoices.h"

CUpdateListDlg::CUpdateListDlg(ServerFilter& filter, CSettings& settings,
                               const std::vector<std::string>& games,
                               const std::vector<std::string>& maps, QWidget* parent)
    : QDialog(parent), m_filter(filter), m_settings(settings) {
    setWindowTitle(tr("Update server list"));
    auto* source = new QGroupBox(tr("List"), this);
    m_pWon = RadioButton(tr("W&ON master"), "sourceWon", source);
    m_pSteamWeb = RadioButton(tr("Steam &web service"), "sourceSteamWeb", source);
    m_pSteamMaster = RadioButton(tr("Steam mas&ter"), "sourceSteamMaster", source);
    m_pRegion = ChoiceCombo("region", source);
    m_pAppId = ChoiceCombo("appId", source);
    for (QRadioButton* button : {m_pWon, m_pSteamWeb, m_pSteamMaster})
        connect(button, &QRadioButton::toggled, this, &CUpdateListDlg::EnableSteamChoices);
    auto* group = new QGroupBox(tr("Filter"), this);
    m_pGameCheck = CheckBox(tr("&Game:"), "gameCheck", group);
    m_pGame = DropDownCombo("game", group);
    m_pMapCheck = CheckBox(tr("&Map:"), "mapCheck", group);
    m_pMap = DropDownCombo("map", group);
    m_pEmptyCheck = CheckBox(tr("&Empty"), "emptyCheck", group);
    m_pEmpty = YesNoCombo("emptyValue", group);
    m_pTypeCheck = CheckBox(tr("&Server Type:"), "typeCheck", group);
    m_pType = DropDownCombo("serverType", group);
    QPushButton* update = PushButton(tr("Update"), "ok", this);
    QPushButton* cancel = PushButton(tr("Cancel"), "cancel", this);
    update->setDefault(true);
    connect(update, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // The master servers honour only the game and the map from this dialog.
    for (QWidget* fixed :
         std::initializer_list<QWidget*>{m_pEmptyCheck, m_pEmpty, m_pTypeCheck, m_pType})
        fixed->setEnabled(false);

    for (QComboBox* combo : {m_pGame, m_pMap, m_pType})
        combo->setFixedWidth(DluX(this, 81));
    m_pEmpty->setFixedWidth(DluX(this, 46));
    for (QComboBox* combo : {m_pRegion, m_pAppId})
        combo->setMinimumWidth(DluX(this, 81));

    auto* sourceGrid = new QGridLayout(source);
    sourceGrid->addWidget(m_pWon, 0, 0, 1, 2);
    sourceGrid->addWidget(m_pSteamWeb, 1, 0, 1, 2);
    sourceGrid->addWidget(m_pSteamMaster, 2, 0, 1, 2);
    sourceGrid->addWidget(MnemonicLabel(tr("&Region:"), m_pRegion, source), 3, 0);
    sourceGrid->addWidget(m_pRegion, 3, 1, Qt::AlignLeft);
    sourceGrid->addWidget(MnemonicLabel(tr("&App ID:"), m_pAppId, source), 4, 0);
    sourceGrid->addWidget(m_pAppId, 4, 1, Qt::AlignLeft);

    auto* grid = new QGridLayout(group);
    grid->addWidget(m_pGameCheck, 0, 0);
    grid->addWidget(m_pGame, 0, 1, Qt::AlignLeft);
    grid->addWidget(m_pMapCheck, 1, 0);
    grid->addWidget(m_pMap, 1, 1, Qt::AlignLeft);
    grid->addWidget(m_pEmptyCheck, 2, 0);
    grid->addWidget(m_pEmpty, 2, 1, Qt::AlignLeft);
    grid->addWidget(m_pTypeCheck, 3, 0);
    grid->addWidget(m_pType, 3, 1, Qt::AlignLeft);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(source);
    layout->addWidget(group);
    layout->addLayout(ButtonRow({update, cancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    SetTabChain({m_pWon, m_pSteamWeb, m_pSteamMaster, m_pRegion, m_pAppId, m_pGameCheck, m_pGame,
                 m_pMapCheck, m_pMap, m_pEmptyCheck, m_pTypeCheck, m_pType, update, cancel,
                 m_pEmpty});

    AddItems(m_pGame, games);
    AddItems(m_pMap, maps);
    m_pType->addItems({tr("Dedicated"), tr("Listen")});

    const uint32_t flags = filter.m_dwFlags;
    m_pGameCheck->setChecked(flags & FILTER_GAME);
    m_pMapCheck->setChecked(flags & FILTER_MAP);
    m_pEmptyCheck->setChecked(flags & FILTER_EMPTY);
    m_pTypeCheck->setChecked(flags & FILTER_TYPE);
    m_pGame->setCurrentText(DisplayText(filter.m_strGame));
    m_pMap->setCurrentText(DisplayText(filter.m_strMap));
    m_pType->setCurrentText(DisplayText(filter.m_strServerType));
    m_pEmpty->setCurrentIndex(flags & FILTER_EMPTY_YES ? 1 : 0);

    FillSteamChoices(m_pRegion, SteamRegions(), settings.m_nSteamRegion);
    FillSteamChoices(m_pAppId, SteamAppIds(), settings.m_nSteamAppId);
    switch (settings.m_nListSource) {
    case LIST_SOURCE_STEAM_WEB:
        m_pSteamWeb->setChecked(true);
        break;
    case LIST_SOURCE_STEAM_MASTER:
        m_pSteamMaster->setChecked(true);
        break;
    default:
        m_pWon->setChecked(true);
        break;
    }
    EnableSteamChoices();
    m_pGameCheck->setFocus();
}

void CUpdateListDlg::EnableSteamChoices() {
    // Only the master server takes a region; both Steam lists take an app id.
    m_pRegion->setEnabled(m_pSteamMaster->isChecked());
    m_pAppId->setEnabled(!m_pWon->isChecked());
}

void CUpdateListDlg::accept() {
    uint32_t& flags = m_filter.m_dwFlags;
    SetBit(flags, FILTER_GAME, m_pGameCheck->isChecked());
    SetBit(flags, FILTER_MAP, m_pMapCheck->isChecked());
    SetBit(flags, FILTER_EMPTY, m_pEmptyCheck->isChecked());
    SetBit(flags, FILTER_TYPE, m_pTypeCheck->isChecked());
    SetBit(flags, FILTER_EMPTY_YES, m_pEmpty->currentIndex() != 0);
    m_filter.m_strGame = RecordText(m_pGame, m_filter.m_strGame);
    m_filter.m_strMap = RecordText(m_pMap, m_filter.m_strMap);
    m_filter.m_strServerType = RecordText(m_pType, m_filter.m_strServerType);
    m_settings.m_nListSource = m_pSteamMaster->isChecked() ? LIST_SOURCE_STEAM_MASTER
                               : m_pSteamWeb->isChecked()  ? LIST_SOURCE_STEAM_WEB
                                                           : LIST_SOURCE_WON;
    m_settings.m_nSteamRegion = SteamChoiceValue(m_pRegion);
    m_settings.m_nSteamAppId = SteamChoiceValue(m_pAppId);
    QDialog::accept();
}
