#include "panel/sequence_dlg.h"

#include "panel/window_placement.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kSecondsPerMinute = 60;
// A title bar holds the window's icon and its buttons beside the title, each about a line of
// text high and wide: room for six such squares. The title is drawn in a font the window
// manager chooses, often bold and larger than the window's own: room for it twice as wide.
constexpr int kTitleBarSquares = 6;
constexpr double kTitleFontScale = 2.0;

int TitleBarWidth(const QWidget& window) {
    const QFontMetrics metrics = window.fontMetrics();
    const double title = metrics.horizontalAdvance(window.windowTitle()) * kTitleFontScale;
    return static_cast<int>(title) + kTitleBarSquares * metrics.height();
}

} // namespace

CSequenceDlg::CSequenceDlg(const QString& fileName, const QWidget& panel) {
    setWindowTitle(tr("シーケンス実行"));
    setWindowIcon(panel.windowIcon());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(fileName));
    m_step = new QLabel;
    m_step->setObjectName(QStringLiteral("step"));
    layout->addWidget(m_step);
    m_left = new QLabel;
    m_left->setObjectName(QStringLiteral("left"));
    layout->addWidget(m_left);
    auto* stop = new QPushButton(tr("停止"));
    stop->setObjectName(QStringLiteral("stop"));
    stop->setDefault(true);
    connect(stop, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(stop);
    // A narrow window has its title cut down to nothing.
    setMinimumWidth(TitleBarWidth(*this));
    adjustSize();
    MoveBeside(*this, panel);
}

void CSequenceDlg::ShowProgress(int step, int steps, std::chrono::milliseconds left) {
    m_step->setText(tr("ステップ %1 / %2").arg(step).arg(steps));
    // Rounded up: "0:00" only once the program has ended.
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(left).count();
    m_left->setText(tr("残り %1:%2")
                        .arg(seconds / kSecondsPerMinute)
                        .arg(seconds % kSecondsPerMinute, 2, 10, QLatin1Char('0')));
}
