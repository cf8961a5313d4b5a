#include "ui/COptionsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <limits>

#include "core/CSettings.h"
#include "core/DisplayText.h"
#include "ui/CSteamKeyStore.h"
#include "ui/DialogControls.h"
#include "ui/SteamChoices.h"

namespace {

// The executable is a file name of this system, so typed text is stored in
// the file system's encoding; an untouched field keeps its bytes.
std::string PathForRecord(const QString& text, const std::string& original) {
    if (text == DisplayText(original))
        return original;
    const QByteArray bytes = QFile::encodeName(text);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Seconds typed into the field as milliseconds; a number of seconds too large
// for the record stays the largest interval it can hold instead of wrapping.
int32_t SecondsToMilliseconds(int32_t seconds) {
    const int64_t ms = static_cast<int64_t>(seconds) * 1000;
    return static_cast<int32_t>(std::clamp<int64_t>(ms, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

void ShowNumber(QLineEdit* edit, int32_t value) {
    edit->setText(QString::number(value));
}

// Refresh speeds named by the connection they suit, as games offer their
// server-browser rates. The first one is the classic pacing: a query every
// 50 ms, 50 at most in flight.
struct SpeedPreset {
    const char* name;
    int32_t inFlight;
    int32_t queriesPerSecond; // -1: by the send packet interval
    int32_t sendInterval;     // -1: left as it is
};
const SpeedPreset kSpeedPresets[] = {
    {QT_TRANSLATE_NOOP("COptionsDlg", "Default (50 in flight, 20 per second)"), 50, -1, 50},
    {QT_TRANSLATE_NOOP("COptionsDlg", "DSL (150 in flight, 300 per second)"), 150, 300, -1},
    {QT_TRANSLATE_NOOP("COptionsDlg", "Cable (500 in flight, 1,000 per second)"), 500, 1000, -1},
    {QT_TRANSLATE_NOOP("COptionsDlg", "Fibre (1,500 in flight, 5,000 per second)"), 1500, 5000, -1},
    {QT_TRANSLATE_NOOP("COptionsDlg", "LAN (4,000 in flight, as fast as possible)"), 4000, 0, -1},
};
constexpr int kCustomPreset = static_cast<int>(std::size(kSpeedPresets));

// An empty rate field paces by the send packet interval.
void ShowRate(QLineEdit* edit, int32_t queriesPerSecond) {
    edit->setText(queriesPerSecond < 0 ? QString() : QString::number(queriesPerSecond));
}

bool ReadRate(QLineEdit* edit, int32_t& queriesPerSecond) {
    if (edit->text().trimmed().isEmpty()) {
        queriesPerSecond = -1;
        return true;
    }
    return ReadSignedInt(edit, queriesPerSecond);
}

} // namespace

COptionsDlg::COptionsDlg(CSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(tr("Options"));
    m_pHLPath = LineEdit("hlPath", this);
    m_pHLPath->setMinimumWidth(DluX(this, 185));
    QPushButton* browse = PushButton(tr("Browse..."), "browse", this);
    m_pHLParams = LineEdit("hlParams", this);
    m_pLoadLastDoc = CheckBox(tr("&Load last used document"), "loadLastDoc", this);
    m_pUpdateQueries =
        CheckBox(tr("Update &queries while refreshing servers"), "updateQueries", this);
    m_pKeepPlayers =
        CheckBox(tr("Keep &player list if server is not responding"), "keepPlayers", this);
    m_pKeepInTray =
        CheckBox(tr("Keep watching in the tra&y when the window closes"), "keepInTray", this);
    m_pRefreshInterval = DigitsEdit("refreshInterval", this);
    m_pWONMaster = DropDownCombo("wonMaster", this);
    m_pWONTimeout = DigitsEdit("wonTimeout", this);
    m_pWONRetries = DigitsEdit("wonRetries", this);
    m_pShowUpdateDialog =
        CheckBox(tr("Show dialog be&fore server list update"), "showUpdateDialog", this);
    m_pClearBeforeUpdate =
        CheckBox(tr("Clear server list &before update"), "clearBeforeUpdate", this);
    m_pRefreshNewServers =
        CheckBox(tr("Refresh new ser&vers after update"), "refreshNewServers", this);
    auto* steam = new QGroupBox(tr("Steam"), this);
    m_pSteamKey = LineEdit("steamKey", steam);
    // A secret: shown only while it is being typed.
    m_pSteamKey->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    m_pSteamKey->setMinimumWidth(DluX(this, 150));
    m_pSteamMaster = LineEdit("steamMaster", steam);
    m_pSteamMaster->setMinimumWidth(DluX(this, 150));
    m_pSteamRegion = ChoiceCombo("steamRegion", steam);
    m_pSteamKeyNote = HintLabel(tr("No keyring: the key is kept in the settings file."), steam);
    m_pSteamKeyNote->setObjectName(QStringLiteral("steamKeyNote"));
    auto* speed = new QGroupBox(tr("Refresh speed"), this);
    m_pSpeedPreset = ChoiceCombo("speedPreset", speed);
    for (const SpeedPreset& preset : kSpeedPresets)
        m_pSpeedPreset->addItem(tr(preset.name));
    m_pSpeedPreset->addItem(tr("Custom"));
    m_pQueriesInFlight = DigitsEdit("queriesInFlight", speed);
    m_pQueriesPerSecond = DigitsEdit("queriesPerSecond", speed);
    auto* advanced = new QGroupBox(tr("Advanced"), this);
    m_pMaxOpenSockets = DigitsEdit("maxOpenSockets", advanced);
    m_pSocketTimeout = DigitsEdit("socketTimeout", advanced);
    m_pSendInterval = DigitsEdit("sendInterval", advanced);
    m_pCleanInterval = DigitsEdit("cleanInterval", advanced);
    QPushButton* defaults = PushButton(tr("Defaults"), "defaults", advanced);
    QPushButton* ok = PushButton(tr("OK"), "ok", this);
    QPushButton* cancel = PushButton(tr("Cancel"), "cancel", this);
    QPushButton* reset = PushButton(tr("Reset"), "reset", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, &COptionsDlg::Browse);
    connect(defaults, &QPushButton::clicked, this, &COptionsDlg::OnDefaults);
    connect(reset, &QPushButton::clicked, this, &COptionsDlg::OnReset);
    connect(m_pSpeedPreset, &QComboBox::currentIndexChanged, this, &COptionsDlg::OnPreset);
    // The two in-flight fields show one value.
    const auto mirror = [this](QLineEdit* to) {
        return [this, to](const QString& text) {
            if (to->text() != text)
                to->setText(text);
            ShowMatchingPreset();
        };
    };
    connect(m_pQueriesInFlight, &QLineEdit::textChanged, this, mirror(m_pMaxOpenSockets));
    connect(m_pMaxOpenSockets, &QLineEdit::textChanged, this, mirror(m_pQueriesInFlight));
    connect(m_pQueriesPerSecond, &QLineEdit::textChanged, this, &COptionsDlg::ShowMatchingPreset);
    connect(m_pSendInterval, &QLineEdit::textChanged, this, &COptionsDlg::ShowMatchingPreset);

    for (const char* host : CSettings::kMasterHosts)
        m_pWONMaster->addItem(QString::fromLatin1(host));
    m_pWONMaster->setMinimumWidth(DluX(this, 93));
    m_pRefreshInterval->setFixedWidth(DluX(this, 23));
    for (QLineEdit* number :
         {m_pWONTimeout, m_pWONRetries, m_pMaxOpenSockets, m_pSocketTimeout, m_pSendInterval,
          m_pCleanInterval, m_pQueriesInFlight, m_pQueriesPerSecond})
        number->setFixedWidth(DluX(this, 40));

    auto* paths = new QGridLayout;
    paths->addWidget(MnemonicLabel(tr("&Half-Life executable:"), m_pHLPath, this), 0, 0);
    paths->addWidget(m_pHLPath, 0, 1);
    paths->addWidget(browse, 0, 2);
    paths->addWidget(MnemonicLabel(tr("&Startup parameters:"), m_pHLParams, this), 1, 0);
    paths->addWidget(m_pHLParams, 1, 1, 1, 2);

    auto* left = new QGridLayout;
    left->addWidget(m_pLoadLastDoc, 0, 0, 1, 3);
    left->addWidget(m_pUpdateQueries, 1, 0, 1, 3);
    left->addWidget(m_pKeepPlayers, 2, 0, 1, 3);
    left->addWidget(MnemonicLabel(tr("&Auto refresh interval:"), m_pRefreshInterval, this), 3, 0);
    left->addWidget(m_pRefreshInterval, 3, 1);
    left->addWidget(HintLabel(tr("s  ( > 0 )"), this), 3, 2);
    left->addWidget(m_pKeepInTray, 4, 0, 1, 3);
    left->setColumnStretch(2, 1);
    left->setRowStretch(5, 1);

    auto* right = new QGridLayout;
    right->addWidget(MnemonicLabel(tr("&WON master:"), m_pWONMaster, this), 0, 0);
    right->addWidget(m_pWONMaster, 0, 1, 1, 2);
    right->addWidget(MnemonicLabel(tr("W&ON time-out:"), m_pWONTimeout, this), 1, 0);
    right->addWidget(m_pWONTimeout, 1, 1);
    right->addWidget(HintLabel(tr("ms  ( > 10 )"), this), 1, 2);
    right->addWidget(MnemonicLabel(tr("WO&N retries:"), m_pWONRetries, this), 2, 0);
    right->addWidget(m_pWONRetries, 2, 1);
    right->addWidget(m_pShowUpdateDialog, 3, 0, 1, 3);
    right->addWidget(m_pClearBeforeUpdate, 4, 0, 1, 3);
    right->addWidget(m_pRefreshNewServers, 5, 0, 1, 3);
    right->setColumnStretch(2, 1);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    auto* steamGrid = new QGridLayout(steam);
    steamGrid->addWidget(MnemonicLabel(tr("Steam web API &key:"), m_pSteamKey, steam), 0, 0);
    steamGrid->addWidget(m_pSteamKey, 0, 1);
    steamGrid->addWidget(m_pSteamKeyNote, 1, 1);
    steamGrid->addWidget(MnemonicLabel(tr("St&eam master:"), m_pSteamMaster, steam), 2, 0);
    steamGrid->addWidget(m_pSteamMaster, 2, 1);
    steamGrid->addWidget(MnemonicLabel(tr("Re&gion:"), m_pSteamRegion, steam), 3, 0);
    steamGrid->addWidget(m_pSteamRegion, 3, 1, Qt::AlignLeft);
    steamGrid->setColumnStretch(2, 1);

    auto* speedGrid = new QGridLayout(speed);
    speedGrid->addWidget(MnemonicLabel(tr("Connect&ion:"), m_pSpeedPreset, speed), 0, 0);
    speedGrid->addWidget(m_pSpeedPreset, 0, 1, 1, 2, Qt::AlignLeft);
    speedGrid->addWidget(MnemonicLabel(tr("Q&ueries in flight:"), m_pQueriesInFlight, speed), 1, 0);
    speedGrid->addWidget(m_pQueriesInFlight, 1, 1);
    speedGrid->addWidget(HintLabel(tr("( 1 - %1 )").arg(CSettings::kMaxQueriesInFlight), speed), 1,
                         2);
    speedGrid->addWidget(MnemonicLabel(tr("Queries per secon&d:"), m_pQueriesPerSecond, speed), 2,
                         0);
    speedGrid->addWidget(m_pQueriesPerSecond, 2, 1);
    speedGrid->addWidget(
        HintLabel(tr("( 0 = as fast as possible, empty = by the send packet interval )"), speed), 2,
        2);
    speedGrid->setColumnStretch(2, 1);

    auto* grid = new QGridLayout(advanced);
    grid->addWidget(
        MnemonicLabel(tr("&Maximum number of open sockets:"), m_pMaxOpenSockets, advanced), 0, 0);
    grid->addWidget(m_pMaxOpenSockets, 0, 1);
    grid->addWidget(HintLabel(tr("( <= %1 )").arg(CSettings::kMaxQueriesInFlight), advanced), 0, 2);
    grid->addWidget(MnemonicLabel(tr("Socket &time-out:"), m_pSocketTimeout, advanced), 1, 0);
    grid->addWidget(m_pSocketTimeout, 1, 1);
    grid->addWidget(HintLabel(tr("ms  ( > 10 )"), advanced), 1, 2);
    grid->addWidget(
        MnemonicLabel(tr("Server &refresh send packet interval:"), m_pSendInterval, advanced), 2,
        0);
    grid->addWidget(m_pSendInterval, 2, 1);
    grid->addWidget(HintLabel(tr("ms  ( >= 0 )"), advanced), 2, 2);
    grid->addWidget(
        MnemonicLabel(tr("Socket &cache cleaning interval:"), m_pCleanInterval, advanced), 3, 0);
    grid->addWidget(m_pCleanInterval, 3, 1);
    grid->addWidget(HintLabel(tr("ms  ( > 10 )"), advanced), 3, 2);
    grid->addWidget(defaults, 3, 4);
    grid->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(paths);
    layout->addLayout(columns);
    layout->addWidget(steam);
    layout->addWidget(speed);
    layout->addWidget(advanced);
    layout->addLayout(ButtonRow({ok, cancel, reset}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // "Refresh new servers" and "Keep watching in the tray" joined the dialog
    // last and are reached last.
    SetTabChain({m_pHLPath,
                 browse,
                 m_pHLParams,
                 m_pLoadLastDoc,
                 m_pUpdateQueries,
                 m_pKeepPlayers,
                 m_pRefreshInterval,
                 m_pWONMaster,
                 m_pWONTimeout,
                 m_pWONRetries,
                 m_pClearBeforeUpdate,
                 m_pShowUpdateDialog,
                 m_pSteamKey,
                 m_pSteamMaster,
                 m_pSteamRegion,
                 m_pSpeedPreset,
                 m_pQueriesInFlight,
                 m_pQueriesPerSecond,
                 m_pMaxOpenSockets,
                 m_pSocketTimeout,
                 m_pSendInterval,
                 m_pCleanInterval,
                 defaults,
                 ok,
                 cancel,
                 reset,
                 m_pRefreshNewServers,
                 m_pKeepInTray});

    m_settings.Load();
    LoadSteamKey();
    Fill();
    m_pHLPath->setFocus();
}

void COptionsDlg::LoadSteamKey() {
    const bool inFile = CSteamKeyStore::Load(m_settings) == CSteamKeyStore::Place::SettingsFile;
    m_pSteamKeyNote->setVisible(inFile);
}

bool COptionsDlg::Edit(CSettings& settings, QWidget* parent) {
    COptionsDlg dlg(settings, parent);
    return dlg.exec() == QDialog::Accepted;
}

void COptionsDlg::Fill() {
    const CSettings& s = m_settings;
    m_pHLPath->setText(DisplayText(s.m_strHLPath));
    m_pHLParams->setText(DisplayText(s.m_strHLParams));
    m_pLoadLastDoc->setChecked(s.m_dwFlags & OPT_LOAD_LAST_DOC);
    m_pUpdateQueries->setChecked(s.m_dwFlags & OPT_UPDATE_QUERIES);
    m_pKeepPlayers->setChecked(s.m_dwFlags & OPT_KEEP_PLAYERS);
    ShowNumber(m_pRefreshInterval, s.m_nRefreshInterval / 1000);
    m_pWONMaster->setCurrentText(DisplayText(s.m_strWONMaster));
    ShowNumber(m_pWONTimeout, s.m_nWONTimeout);
    ShowNumber(m_pWONRetries, s.m_nWONRetries);
    m_pShowUpdateDialog->setChecked(s.m_dwFlags & OPT_SHOW_UPDATE_DIALOG);
    m_pClearBeforeUpdate->setChecked(s.m_dwFlags & OPT_CLEAR_BEFORE_UPDATE);
    m_pRefreshNewServers->setChecked(s.m_dwFlags & OPT_REFRESH_NEW_SERVERS);
    m_pKeepInTray->setChecked(s.m_dwFlags & OPT_KEEP_IN_TRAY);
    ShowNumber(m_pMaxOpenSockets, s.m_nMaxOpenSockets);
    ShowNumber(m_pSocketTimeout, s.m_nSocketTimeout);
    ShowNumber(m_pSendInterval, s.m_nSendInterval);
    ShowNumber(m_pCleanInterval, s.m_nCleanInterval);
    ShowRate(m_pQueriesPerSecond, s.m_nQueriesPerSecond);
    m_pSteamKey->setText(QString::fromStdString(s.m_strSteamApiKey));
    m_pSteamMaster->setText(DisplayText(s.m_strSteamMaster));
    FillSteamChoices(m_pSteamRegion, SteamRegions(), s.m_nSteamRegion);
}

bool COptionsDlg::Store() {
    // Every number is read before anything is stored: a refused one leaves
    // the record as it was.
    int32_t refresh = 0;
    int32_t wonTimeout = 0;
    int32_t wonRetries = 0;
    int32_t maxSockets = 0;
    int32_t socketTimeout = 0;
    int32_t sendInterval = 0;
    int32_t cleanInterval = 0;
    int32_t queriesPerSecond = -1;
    if (!ReadSignedInt(m_pRefreshInterval, refresh) || !ReadSignedInt(m_pWONTimeout, wonTimeout) ||
        !ReadSignedInt(m_pWONRetries, wonRetries) ||
        !ReadSignedInt(m_pMaxOpenSockets, maxSockets) ||
        !ReadSignedInt(m_pSocketTimeout, socketTimeout) ||
        !ReadSignedInt(m_pSendInterval, sendInterval) ||
        !ReadSignedInt(m_pCleanInterval, cleanInterval) ||
        !ReadRate(m_pQueriesPerSecond, queriesPerSecond))
        return false;
    CSettings& s = m_settings;
    s.m_strHLPath = PathForRecord(m_pHLPath->text(), s.m_strHLPath);
    s.m_strHLParams = RecordText(m_pHLParams->text(), s.m_strHLParams);
    SetBit(s.m_dwFlags, OPT_LOAD_LAST_DOC, m_pLoadLastDoc->isChecked());
    SetBit(s.m_dwFlags, OPT_UPDATE_QUERIES, m_pUpdateQueries->isChecked());
    SetBit(s.m_dwFlags, OPT_KEEP_PLAYERS, m_pKeepPlayers->isChecked());
    s.m_nRefreshInterval = SecondsToMilliseconds(refresh);
    s.m_strWONMaster = RecordText(m_pWONMaster, s.m_strWONMaster);
    s.m_nWONTimeout = wonTimeout;
    s.m_nWONRetries = wonRetries;
    SetBit(s.m_dwFlags, OPT_SHOW_UPDATE_DIALOG, m_pShowUpdateDialog->isChecked());
    SetBit(s.m_dwFlags, OPT_CLEAR_BEFORE_UPDATE, m_pClearBeforeUpdate->isChecked());
    SetBit(s.m_dwFlags, OPT_REFRESH_NEW_SERVERS, m_pRefreshNewServers->isChecked());
    SetBit(s.m_dwFlags, OPT_KEEP_IN_TRAY, m_pKeepInTray->isChecked());
    s.m_nMaxOpenSockets = maxSockets;
    s.m_nSocketTimeout = socketTimeout;
    s.m_nSendInterval = sendInterval;
    s.m_nCleanInterval = cleanInterval;
    s.m_nQueriesPerSecond = queriesPerSecond;
    s.m_strSteamMaster = RecordText(m_pSteamMaster->text(), s.m_strSteamMaster);
    s.m_nSteamRegion = SteamChoiceValue(m_pSteamRegion);
    return true;
}

void COptionsDlg::Browse() {
    const QString initial = m_pHLPath->text();
    QString chosen;
    if (m_chooseFile)
        chosen = m_chooseFile(initial);
    else
        chosen = QFileDialog::getOpenFileName(this, QString(), initial,
                                              tr("Executable Files (*.exe *.bat *.sh)") +
                                                  QStringLiteral(";;") + tr("All Files (*)"));
    if (!chosen.isEmpty())
        m_pHLPath->setText(QDir::toNativeSeparators(chosen));
}

void COptionsDlg::OnPreset(int index) {
    if (m_bSyncingSpeed || index < 0 || index >= kCustomPreset)
        return;
    const SpeedPreset& preset = kSpeedPresets[index];
    m_bSyncingSpeed = true;
    ShowNumber(m_pQueriesInFlight, preset.inFlight);
    ShowRate(m_pQueriesPerSecond, preset.queriesPerSecond);
    if (preset.sendInterval >= 0)
        ShowNumber(m_pSendInterval, preset.sendInterval);
    m_bSyncingSpeed = false;
}

void COptionsDlg::ShowMatchingPreset() {
    if (m_bSyncingSpeed)
        return;
    const auto number = [](QLineEdit* edit, int32_t empty) {
        const QString text = edit->text().trimmed();
        bool ok = true;
        const int32_t value = text.isEmpty() ? empty : text.toInt(&ok);
        return ok ? value : std::numeric_limits<int32_t>::min();
    };
    const int32_t inFlight = number(m_pQueriesInFlight, 0);
    const int32_t rate = number(m_pQueriesPerSecond, -1);
    const int32_t interval = number(m_pSendInterval, 0);
    int match = kCustomPreset;
    for (int i = 0; i < kCustomPreset; ++i) {
        const SpeedPreset& p = kSpeedPresets[i];
        if (p.inFlight == inFlight && p.queriesPerSecond == rate &&
            (p.sendInterval < 0 || p.sendInterval == interval)) {
            match = i;
            break;
        }
    }
    m_bSyncingSpeed = true;
    m_pSpeedPreset->setCurrentIndex(match);
    m_bSyncingSpeed = false;
}

void COptionsDlg::OnDefaults() {
    if (!Store())
        return;
    m_settings.ResetAdvanced();
    Fill();
}

void COptionsDlg::OnReset() {
    m_settings.Load();
    LoadSteamKey();
    Fill();
}

void COptionsDlg::accept() {
    if (!Store())
        return;
    m_settings.Save();
    // Pasted keys often bring a space or a line break along.
    const std::string key = m_pSteamKey->text().trimmed().toStdString();
    if (key != m_settings.m_strSteamApiKey)
        CSteamKeyStore::Store(m_settings, key);
    QDialog::accept();
}
