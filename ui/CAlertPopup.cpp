#include "ui/CAlertPopup.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

constexpr int kMargin = 12;
constexpr int kWidth = 340;

} // namespace

CAlertPopup::CAlertPopup(QWidget* window) : QFrame(window) {
    setObjectName(QStringLiteral("alertPopup"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
    setFixedWidth(kWidth);
    m_pSummary = new QLabel(this);
    m_pBody = new QLabel(this);
    // Names come from game servers: never markup.
    for (QLabel* label : {m_pSummary, m_pBody}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
    }
    QFont bold = m_pSummary->font();
    bold.setBold(true);
    m_pSummary->setFont(bold);
    auto* join = new QPushButton(QStringLiteral("Join"), this);
    auto* show = new QPushButton(QStringLiteral("Show"), this);
    for (auto [button, action] : {std::pair{join, "join"}, std::pair{show, "show"}}) {
        button->setFocusPolicy(Qt::NoFocus);
        const QString key = QLatin1String(action);
        connect(button, &QPushButton::clicked, this, [this, key] {
            hide();
            emit ActionChosen(key, m_dwAddress, m_wPort);
        });
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(join);
    buttons->addWidget(show);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pSummary);
    layout->addWidget(m_pBody);
    layout->addLayout(buttons);
    m_hide.setSingleShot(true);
    m_hide.setInterval(kShowMs);
    connect(&m_hide, &QTimer::timeout, this, &QWidget::hide);
    window->installEventFilter(this);
    hide();
}

void CAlertPopup::ShowAlert(const QString& summary, const QString& body, uint32_t address,
                            uint16_t port) {
    m_pSummary->setText(summary);
    m_pBody->setText(body);
    m_dwAddress = address;
    m_wPort = port;
    adjustSize();
    Place();
    show();
    raise();
    m_hide.start();
}

QString CAlertPopup::Summary() const {
    return m_pSummary->text();
}
QString CAlertPopup::Body() const {
    return m_pBody->text();
}

bool CAlertPopup::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        Place();
    return false;
}

// Bottom right, clear of the status bar.
void CAlertPopup::Place() {
    const QWidget* window = parentWidget();
    int bottom = window->height();
    if (const auto* main = qobject_cast<const QMainWindow*>(window);
        main && main->statusBar()->isVisible())
        bottom = main->statusBar()->y();
    move(window->width() - width() - kMargin, bottom - height() - kMargin);
}
