#include "ui/CServerPropertiesDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DisplayText.h"
#include "core/IUserInterface.h"
#include "core/ServerInfo.h"
#include "net/Address.h"
#include "ui/DialogControls.h"

namespace {

QString ByteText(char c) {
    return c ? DisplayText(std::string(1, c)) : QString();
}

// Annotations keep the CR LF line breaks they were always saved with; the
// editor works with plain line feeds.
QString AnnotationForEditor(const std::string& annotation) {
    return DisplayText(annotation).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString AnnotationForRecord(QString text) {
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

} // namespace

CServerPropertiesDlg::CServerPropertiesDlg(ServerInfo& server, IUserInterface& ui, QWidget* parent)
    : QDialog(parent), m_server(server), m_ui(ui) {
    setWindowTitle(tr("Server Properties"));
    QLineEdit* name = ReadOnlyEdit("name", this);
    QLineEdit* address = ReadOnlyEdit("address", this);
    QLineEdit* port = ReadOnlyEdit("port", this);
    QPushButton* lookup = PushButton(tr("&Lookup host name"), "lookupHostName", this);
    m_pHostName = ReadOnlyEdit("hostName", this);
    QPushButton* clear = PushButton(tr("&Clear host name"), "clearHostName", this);
    m_pConnectByHostName = CheckBox(tr("Connect by &host name"), "connectByHostName", this);
    QLineEdit* protocol = ReadOnlyEdit("protocol", this);
    QLineEdit* type = ReadOnlyEdit("serverType", this);
    QLineEdit* os = ReadOnlyEdit("os", this);
    QLineEdit* maxPlayers = ReadOnlyEdit("maxPlayers", this);
    m_pPassword = LineEdit("password", this);
    QLineEdit* required = ReadOnlyEdit("passwordRequired", this);
    QLineEdit* game = ReadOnlyEdit("mod", this);
    QLineEdit* error = ReadOnlyEdit("error", this);
    m_pAnnotation = new QPlainTextEdit(this);
    m_pAnnotation->setObjectName(QStringLiteral("annotation"));
    m_pAnnotation->setTabChangesFocus(true);
    m_pAnnotation->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pAnnotation->setFixedHeight(m_pAnnotation->fontMetrics().lineSpacing() * 5);
    QPushButton* ok = PushButton(tr("OK"), "ok", this);
    QPushButton* cancel = PushButton(tr("Cancel"), "cancel", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lookup, &QPushButton::clicked, this, &CServerPropertiesDlg::LookupHostName);
    connect(clear, &QPushButton::clicked, m_pHostName, &QLineEdit::clear);
    const auto enableConnect = [this] {
        m_pConnectByHostName->setEnabled(!m_pHostName->text().isEmpty());
    };
    connect(m_pHostName, &QLineEdit::textChanged, this, enableConnect);

    QLabel* errorLabel = MnemonicLabel(tr("&Error msg:"), error, this);
    errorLabel->setObjectName(QStringLiteral("errorLabel"));
    name->setMinimumWidth(DluX(this, 260));
    for (QLineEdit* narrow : {type, os, m_pPassword})
        narrow->setFixedWidth(DluX(this, 59));
    for (QLineEdit* narrow : {maxPlayers, required})
        narrow->setFixedWidth(DluX(this, 35));
    auto* grid = new QGridLayout;
    grid->addWidget(MnemonicLabel(tr("&Name:"), name, this), 0, 0);
    grid->addWidget(name, 0, 1, 1, 5);
    grid->addWidget(MnemonicLabel(tr("&IP address:"), address, this), 1, 0);
    grid->addWidget(address, 1, 1);
    grid->addWidget(MnemonicLabel(tr("Po&rt:"), port, this), 1, 2);
    grid->addWidget(port, 1, 3);
    grid->addWidget(lookup, 1, 4, 1, 2);
    grid->addWidget(MnemonicLabel(tr("Ho&st name:"), m_pHostName, this), 2, 0);
    grid->addWidget(m_pHostName, 2, 1, 1, 3);
    grid->addWidget(clear, 2, 4, 1, 2);
    grid->addWidget(m_pConnectByHostName, 3, 1, 1, 3);
    grid->addWidget(HintLabel(tr("Protocol:"), this), 3, 4);
    grid->addWidget(protocol, 3, 5);
    grid->addWidget(MnemonicLabel(tr("&Type:"), type, this), 4, 0);
    grid->addWidget(type, 4, 1, Qt::AlignLeft);
    grid->addWidget(MnemonicLabel(tr("&OS:"), os, this), 4, 2);
    grid->addWidget(os, 4, 3, Qt::AlignLeft);
    grid->addWidget(MnemonicLabel(tr("Ma&x. players:"), maxPlayers, this), 4, 4);
    grid->addWidget(maxPlayers, 4, 5, Qt::AlignLeft);
    grid->addWidget(MnemonicLabel(tr("&Password:"), m_pPassword, this), 5, 0);
    grid->addWidget(m_pPassword, 5, 1, Qt::AlignLeft);
    grid->addWidget(MnemonicLabel(tr("Re&quired:"), required, this), 5, 2);
    grid->addWidget(required, 5, 3, Qt::AlignLeft);
    grid->addWidget(MnemonicLabel(tr("&Mod:"), game, this), 5, 4);
    grid->addWidget(game, 5, 5);
    grid->addWidget(errorLabel, 6, 0);
    grid->addWidget(error, 6, 1, 1, 5);
    grid->addWidget(MnemonicLabel(tr("&Annotation:"), m_pAnnotation, this), 7, 0, Qt::AlignTop);
    grid->addWidget(m_pAnnotation, 7, 1, 1, 5);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(ButtonRow({ok, cancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    SetTabChain({name, address, port, lookup, m_pHostName, clear, m_pConnectByHostName, protocol,
                 type, os, maxPlayers, m_pPassword, required, game, error, m_pAnnotation, ok,
                 cancel});

    name->setText(DisplayText(server.m_strName));
    address->setText(QString::fromStdString(FormatIP(server.m_dwAddress)));
    port->setText(QString::number(server.m_wPort));
    m_pHostName->setText(DisplayText(server.m_strHostName));
    m_pConnectByHostName->setChecked(server.m_bConnectByHostName != 0);
    protocol->setText(ProtocolText(server.m_nProtocol));
    type->setText(TypeText(server.m_cServerType));
    os->setText(OSText(server.m_cOS));
    maxPlayers->setText(QString::number(server.m_nMaxPlayers));
    m_pPassword->setText(DisplayText(server.m_strPassword));
    required->setText(server.m_bPassword ? tr("Yes") : tr("No"));
    game->setText(DisplayText(server.m_strGame));
    error->setText(DisplayText(server.m_strError));
    errorLabel->setVisible(!server.m_strError.empty());
    error->setVisible(!server.m_strError.empty());
    m_pAnnotation->setPlainText(AnnotationForEditor(server.m_strAnnotation));
    enableConnect();
    if (server.m_strAnnotation.empty())
        m_pAnnotation->setFocus();
    else
        name->setFocus();
}

QString CServerPropertiesDlg::TypeText(char type) {
    switch (type) {
    case 'd':
        return tr("Dedicated");
    case 'l':
        return tr("Listen");
    default:
        return ByteText(type);
    }
}

QString CServerPropertiesDlg::OSText(char os) {
    switch (os) {
    case 'l':
        return tr("Linux");
    case 'w':
        return tr("Windows");
    default:
        return ByteText(os);
    }
}

QString CServerPropertiesDlg::ProtocolText(uint8_t protocol) {
    switch (protocol) {
    case PROTOCOL_A2S:
        return tr("A2S (Steam)");
    case PROTOCOL_LEGACY:
        return tr("Old (WON)");
    default:
        return tr("Unknown");
    }
}

void CServerPropertiesDlg::LookupHostName() {
    m_pHostName->setText(DisplayText(::LookupHostName(m_ui, m_server.m_dwAddress)));
}

void CServerPropertiesDlg::accept() {
    const QString hostName = m_pHostName->text();
    m_server.m_strPassword = RecordText(m_pPassword->text(), m_server.m_strPassword);
    const QString annotation = AnnotationForRecord(m_pAnnotation->toPlainText());
    m_server.m_strAnnotation = RecordText(annotation, m_server.m_strAnnotation);
    m_server.m_strHostName = RecordText(hostName, m_server.m_strHostName);
    m_server.m_bConnectByHostName =
        !hostName.isEmpty() && m_pConnectByHostName->isChecked() ? 1 : 0;
    QDialog::accept();
}
