#include "panel/overcurrent_dlg.h"

#include "panel/bounded_number_field.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <cmath>

using namespace pelmora::overcurrent;

namespace {

constexpr double kMsPerSecond = 1000.0;
// The delay is set to a tenth of a second: finer than that the poll period cannot tell apart.
constexpr int kBlankingDecimals = 1;
// The fields' column, between their names and their units.
constexpr int kFieldColumn = 1;
constexpr int kUnitColumn = 2;
// The problems are said in red, as the fields are marked.
constexpr QRgb kProblemText = 0xC00000;

double Seconds(std::chrono::milliseconds time) {
    return static_cast<double>(time.count()) / kMsPerSecond;
}

bool SameTrip(const std::optional<TripRecord>& a, const std::optional<TripRecord>& b) {
    if (!a || !b) {
        return a.has_value() == b.has_value();
    }
    return a->rail == b->rail && a->readingMa == b->readingMa && a->limitMa == b->limitMa &&
           a->when == b->when;
}

QString NumberText(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

} // namespace

QString Milliamps(int milliamps) {
    return QStringLiteral("%1\u00a0mA").arg(milliamps);
}

QString TripText(const TripRecord& trip) {
    const QString rail = trip.rail == pelmora::Rail::Positive ? COverCurrentDlg::tr("正側")
                                                              : COverCurrentDlg::tr("負側");
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(trip.when.time_since_epoch());
    const QString time =
        QDateTime::fromMSecsSinceEpoch(since.count()).toString(QStringLiteral("HH:mm:ss"));
    return COverCurrentDlg::tr("%1 %2 > %3 (%4)")
        .arg(rail, Milliamps(trip.readingMa), Milliamps(trip.limitMa), time);
}

COverCurrentDlg::COverCurrentDlg(const TripSettings& settings,
                                 const std::optional<TripRecord>& trip, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(tr("過電流保護"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    m_positive = AddRail(*grid, 0, tr("正側"), "positive", settings.positive);
    m_checked.push_back({m_positive.limit, tr("正側の制限値")});
    m_negative = AddRail(*grid, 1, tr("負側"), "negative", settings.negative);
    m_checked.push_back({m_negative.limit, tr("負側の制限値")});

    const QString samplesName = tr("連続サンプル数");
    m_samples =
        AddField(*grid, 2, samplesName, QStringLiteral("samples"), kMinSamples, kMaxSamples, 0, {});
    m_samples->SetValue(settings.samples);
    m_checked.push_back({m_samples, samplesName});

    const QString blankingName = tr("投入後の待ち時間");
    m_blanking = AddField(*grid, 3, blankingName, QStringLiteral("blanking"), Seconds(kMinBlanking),
                          Seconds(kMaxBlanking), kBlankingDecimals, QStringLiteral("s"));
    m_blanking->SetValue(Seconds(settings.blanking));
    m_checked.push_back({m_blanking, blankingName});

    m_problems = new QLabel;
    m_problems->setObjectName(QStringLiteral("problems"));
    m_problems->setWordWrap(true);
    QPalette problemColours = m_problems->palette();
    problemColours.setColor(QPalette::WindowText, QColor(kProblemText));
    m_problems->setPalette(problemColours);
    m_problems->hide();
    layout->addWidget(m_problems);

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
    connect(m_clear, &QPushButton::clicked, this, [this] {
        m_clearTrip = true;
        m_clear->setEnabled(false);
        m_tripText->setText(tr("トリップなし"));
    });
    auto* tripRow = new QHBoxLayout;
    tripRow->addWidget(m_tripText, 1);
    tripRow->addWidget(m_clear);
    layout->addLayout(tripRow);
    m_trip = trip;
    ShowTripState();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    for (const auto& checked : m_checked) {
        connect(checked.field, &QLineEdit::textChanged, this, &COverCurrentDlg::CheckFields);
    }
    CheckFields();
}

COverCurrentDlg::RailFields COverCurrentDlg::AddRail(QGridLayout& grid, int row,
                                                     const QString& name, const char* key,
                                                     const RailLimit& limit) {
    RailFields fields;
    fields.enabled = new QCheckBox(name);
    fields.enabled->setObjectName(QStringLiteral("%1Enabled").arg(QLatin1String(key)));
    fields.enabled->setChecked(limit.enabled);
    grid.addWidget(fields.enabled, row, 0);
    fields.limit = AddField(grid, row, {}, QStringLiteral("%1Limit").arg(QLatin1String(key)),
                            kMinLimitMa, kMaxLimitMa, 0, QStringLiteral("mA"));
    fields.limit->SetValue(limit.limitMa);
    return fields;
}

CBoundedNumberField* COverCurrentDlg::AddField(QGridLayout& grid, int row, const QString& name,
                                               const QString& objectName, double minimum,
                                               double maximum, int decimals, const QString& unit) {
    if (!name.isEmpty()) {
        grid.addWidget(new QLabel(name), row, 0);
    }
    auto* field = new CBoundedNumberField(minimum, maximum, decimals);
    field->setObjectName(objectName);
    grid.addWidget(field, row, kFieldColumn);
    if (!unit.isEmpty()) {
        grid.addWidget(new QLabel(unit), row, kUnitColumn);
    }
    return field;
}

void COverCurrentDlg::CheckFields() {
    QStringList problems;
    for (const auto& checked : m_checked) {
        const CBoundedNumberField& field = *checked.field;
        QString why;
        if (!field.Value()) {
            const QString lowest = NumberText(field.Minimum(), field.Decimals());
            const QString highest = NumberText(field.Maximum(), field.Decimals());
            why = field.Decimals() == 0
                      ? tr("%1には %2〜%3 の整数を入力してください。")
                            .arg(checked.name, lowest, highest)
                      : tr("%1には %2〜%3 の数を小数点以下 %4 桁までで入力してください。")
                            .arg(checked.name, lowest, highest)
                            .arg(field.Decimals());
            problems << why;
        }
        checked.field->MarkProblem(why);
    }
    m_problems->setText(problems.join(QLatin1Char('\n')));
    m_problems->setVisible(!problems.isEmpty());
    m_ok->setEnabled(problems.isEmpty());
}

void COverCurrentDlg::ShowTrip(const std::optional<TripRecord>& trip) {
    if (SameTrip(trip, m_trip)) {
        return;
    }
    m_trip = trip;
    m_clearTrip = false;
    ShowTripState();
}

void COverCurrentDlg::ShowTripState() {
    m_clear->setEnabled(m_trip.has_value());
    m_tripText->setText(m_trip ? tr("トリップ: %1").arg(TripText(*m_trip)) : tr("トリップなし"));
}

TripSettings COverCurrentDlg::Settings() const {
    // OK is taken only while every field holds a value; the settings the dialog opened with
    // stand for any that does not.
    TripSettings settings = m_settings;
    const auto whole = [](const CBoundedNumberField& field, int otherwise) {
        const auto value = field.Value();
        return value ? static_cast<int>(std::lround(*value)) : otherwise;
    };
    settings.positive = {m_positive.enabled->isChecked(),
                         whole(*m_positive.limit, m_settings.positive.limitMa)};
    settings.negative = {m_negative.enabled->isChecked(),
                         whole(*m_negative.limit, m_settings.negative.limitMa)};
    settings.samples = whole(*m_samples, m_settings.samples);
    if (const auto seconds = m_blanking->Value()) {
        settings.blanking =
            std::chrono::milliseconds(static_cast<long long>(std::lround(*seconds * kMsPerSecond)));
    }
    return settings;
}
