#include "panel/overcurrent_dlg.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

using namespace pelmora::overcurrent;

namespace {

constexpr double kMsPerSecond = 1000.0;
// The delay is set to a tenth of a second: finer than that the poll period cannot tell apart.
constexpr int kBlankingDecimals = 1;
constexpr double kBlankingStep = 0.1;

} // namespace

QString TripText(const TripRecord& trip) {
    const QString rail = trip.rail == pelmora::Rail::Positive ? COverCurrentDlg::tr("正側")
                                                              : COverCurrentDlg::tr("負側");
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(trip.when.time_since_epoch());
    const QString time =
        QDateTime::fromMSecsSinceEpoch(since.count()).toString(QStringLiteral("HH:mm:ss"));
    return COverCurrentDlg::tr("%1 %2 mA > %3 mA (%4)")
        .arg(rail)
        .arg(trip.readingMa)
        .arg(trip.limitMa)
        .arg(time);
}

COverCurrentDlg::COverCurrentDlg(const TripSettings& settings,
                                 const std::optional<TripRecord>& trip, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("過電流保護"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    m_positive = AddRail(*grid, 0, tr("正側"), "positive", settings.positive);
    m_negative = AddRail(*grid, 1, tr("負側"), "negative", settings.negative);

    grid->addWidget(new QLabel(tr("連続サンプル数")), 2, 0);
    m_samples = new QSpinBox;
    m_samples->setObjectName(QStringLiteral("samples"));
    m_samples->setRange(kMinSamples, kMaxSamples);
    m_samples->setValue(settings.samples);
    grid->addWidget(m_samples, 2, 1);

    grid->addWidget(new QLabel(tr("投入後の待ち時間")), 3, 0);
    m_blanking = new QDoubleSpinBox;
    m_blanking->setObjectName(QStringLiteral("blanking"));
    m_blanking->setDecimals(kBlankingDecimals);
    m_blanking->setSingleStep(kBlankingStep);
    m_blanking->setRange(static_cast<double>(kMinBlanking.count()) / kMsPerSecond,
                         static_cast<double>(kMaxBlanking.count()) / kMsPerSecond);
    m_blanking->setSuffix(QStringLiteral(" s"));
    m_blanking->setValue(static_cast<double>(settings.blanking.count()) / kMsPerSecond);
    grid->addWidget(m_blanking, 3, 1);

    // Said where the feature is set, so that no one takes it for the supply's own protection.
    auto* note = new QLabel(tr("ソフトウェアによる保護です。出力が切れるまで最大で "
                               "サンプル数 × ポーリング周期 + 1 回の通信がかかります。"));
    note->setWordWrap(true);
    layout->addWidget(note);

    m_tripText = new QLabel;
    m_tripText->setObjectName(QStringLiteral("trip"));
    m_clear = new QPushButton(tr("トリップを解除"));
    m_clear->setObjectName(QStringLiteral("clear"));
    m_clear->setAutoDefault(false);
    if (trip) {
        m_tripText->setText(tr("トリップ: %1").arg(TripText(*trip)));
    } else {
        m_tripText->setText(tr("トリップなし"));
        m_clear->setEnabled(false);
    }
    connect(m_clear, &QPushButton::clicked, this, [this] {
        m_clearTrip = true;
        m_clear->setEnabled(false);
        m_tripText->setText(tr("トリップなし"));
    });
    auto* tripRow = new QHBoxLayout;
    tripRow->addWidget(m_tripText, 1);
    tripRow->addWidget(m_clear);
    layout->addLayout(tripRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

COverCurrentDlg::RailFields COverCurrentDlg::AddRail(QGridLayout& grid, int row,
                                                     const QString& name, const char* key,
                                                     const RailLimit& limit) {
    RailFields fields;
    fields.enabled = new QCheckBox(name);
    fields.enabled->setObjectName(QStringLiteral("%1Enabled").arg(QLatin1String(key)));
    fields.enabled->setChecked(limit.enabled);
    fields.limit = new QSpinBox;
    fields.limit->setObjectName(QStringLiteral("%1Limit").arg(QLatin1String(key)));
    fields.limit->setRange(kMinLimitMa, kMaxLimitMa);
    fields.limit->setSuffix(QStringLiteral(" mA"));
    fields.limit->setValue(limit.limitMa);
    grid.addWidget(fields.enabled, row, 0);
    grid.addWidget(fields.limit, row, 1);
    return fields;
}

TripSettings COverCurrentDlg::Settings() const {
    TripSettings settings;
    settings.positive = {m_positive.enabled->isChecked(), m_positive.limit->value()};
    settings.negative = {m_negative.enabled->isChecked(), m_negative.limit->value()};
    settings.samples = m_samples->value();
    settings.blanking = std::chrono::milliseconds(
        static_cast<long long>(std::lround(m_blanking->value() * kMsPerSecond)));
    return settings;
}
