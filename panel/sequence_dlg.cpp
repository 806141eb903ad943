#include "panel/sequence_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kSecondsPerMinute = 60;

} // namespace

CSequenceDlg::CSequenceDlg(const QString& fileName, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("シーケンス実行"));
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
}

void CSequenceDlg::ShowProgress(int step, int steps, std::chrono::milliseconds left) {
    m_step->setText(tr("ステップ %1 / %2").arg(step).arg(steps));
    // Rounded up: "0:00" only once the program has ended.
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(left).count();
    m_left->setText(tr("残り %1:%2")
                        .arg(seconds / kSecondsPerMinute)
                        .arg(seconds % kSecondsPerMinute, 2, 10, QLatin1Char('0')));
}
