#include "panel/panel_status.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Room for the connection on one line and for the protection's text, a trip's included, on
// two, so that the panel keeps its height as they change.
constexpr int kReservedLines = 3;
constexpr QRgb kTripText = 0xC00000;

QLabel* AddLine(QVBoxLayout& layout, const char* objectName) {
    auto* line = new QLabel;
    line->setObjectName(QString::fromLatin1(objectName));
    line->setWordWrap(true);
    line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout.addWidget(line);
    return line;
}

} // namespace

CPanelStatus::CPanelStatus(QWidget& panel) : QWidget(&panel) {
    setObjectName(QStringLiteral("status"));
    auto* layout = new QVBoxLayout(this);
    auto* rule = new QFrame;
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule);
    m_connection = AddLine(*layout, "connection");
    m_protection = AddLine(*layout, "protection");
    layout->addStretch();

    const int top = panel.height();
    setGeometry(0, top, panel.width(), 0);
    const QMargins margins = layout->contentsMargins();
    m_minimumHeight = margins.top() + margins.bottom() + rule->sizeHint().height() +
                      layout->spacing() * 2 + fontMetrics().lineSpacing() * kReservedLines;
    FitHeight();
}

void CPanelStatus::Show(const QString& connection, const QString& protection, bool tripped) {
    m_connection->setText(connection);
    m_connection->setToolTip(connection);
    m_protection->setText(protection);
    QPalette colours = palette();
    if (tripped) {
        colours.setColor(QPalette::WindowText, QColor(kTripText));
    }
    m_protection->setPalette(colours);
    FitHeight();
}

QString CPanelStatus::ConnectionText() const {
    return m_connection->text();
}

QString CPanelStatus::ProtectionText() const {
    return m_protection->text();
}

void CPanelStatus::FitHeight() {
    const int needed = std::max(m_minimumHeight, heightForWidth(width()));
    if (needed != height()) {
        resize(width(), needed);
        parentWidget()->setFixedHeight(y() + needed);
    }
    // The lines take their new room now, not at the next turn of the event loop.
    layout()->activate();
}
