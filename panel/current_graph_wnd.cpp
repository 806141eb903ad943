#include "panel/current_graph_wnd.h"

#include "panel/file_choice.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <limits>

namespace {

using Line = CurrentTrace::Line;

constexpr std::array kLines = {Line::Positive, Line::PositiveAverage, Line::Negative,
                               Line::NegativeAverage};
constexpr std::array kSpanMinutes = {1, 10, 60};
constexpr int kDefaultSpanIndex = 1;
constexpr double kSecondsPerMinute = 60.0;
constexpr QSize kInitialSize{720, 420};
// Room above and below the readings, as a share of their range, and the least range shown.
constexpr double kCurrentMargin = 0.1;
constexpr double kLeastCurrentRange = 10.0;
constexpr int kAverageLineWidth = 2;

QColor ColourOf(Line line) {
    switch (line) {
    case Line::Positive:
        return QColor(240, 150, 140);
    case Line::PositiveAverage:
        return QColor(200, 30, 20);
    case Line::Negative:
        return QColor(140, 170, 240);
    case Line::NegativeAverage:
        return QColor(20, 60, 200);
    }
    return Qt::black;
}

QString NameOf(Line line) {
    switch (line) {
    case Line::Positive:
        return CCurrentGraphWnd::tr("正電源");
    case Line::PositiveAverage:
        return CCurrentGraphWnd::tr("正電源 平均");
    case Line::Negative:
        return CCurrentGraphWnd::tr("負電源");
    case Line::NegativeAverage:
        return CCurrentGraphWnd::tr("負電源 平均");
    }
    return {};
}

} // namespace

CCurrentGraphWnd::CCurrentGraphWnd(const CurrentTrace& trace, QWidget* parent)
    : QWidget(parent, Qt::Window), m_trace(trace) {
    setWindowTitle(tr("電流グラフ"));
    resize(kInitialSize);

    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_timeAxis = new QValueAxis;
    m_timeAxis->setTitleText(tr("経過時間 [s]"));
    m_timeAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_currentAxis = new QValueAxis;
    m_currentAxis->setTitleText(tr("電流 [mA]"));
    m_currentAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_currentAxis, Qt::AlignLeft);
    m_view = new QChartView(m_chart, this);
    m_view->setRenderHint(QPainter::Antialiasing);

    m_span = new QComboBox(this);
    for (const int minutes : kSpanMinutes) {
        m_span->addItem(tr("%1 分").arg(minutes), minutes);
    }
    m_span->setCurrentIndex(kDefaultSpanIndex);
    connect(m_span, &QComboBox::currentIndexChanged, this, [this] { Redraw(); });
    m_pause = new QPushButton(tr("一時停止"), this);
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        m_pause->setText(paused ? tr("再開") : tr("一時停止"));
        Redraw();
    });
    auto* save = new QPushButton(tr("PNGで保存…"), this);
    connect(save, &QPushButton::clicked, this, &CCurrentGraphWnd::SaveAsPng);
    auto* copy = new QPushButton(tr("コピー"), this);
    connect(copy, &QPushButton::clicked, this, &CCurrentGraphWnd::CopyPicture);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("表示範囲"), this));
    controls->addWidget(m_span);
    controls->addStretch();
    controls->addWidget(m_pause);
    controls->addWidget(save);
    controls->addWidget(copy);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addLayout(controls);
    EnsurePeriodLines(1);
}

bool CCurrentGraphWnd::IsPaused() const {
    return m_pause->isChecked();
}

double CCurrentGraphWnd::SpanSeconds() const {
    return m_span->currentData().toInt() * kSecondsPerMinute;
}

void CCurrentGraphWnd::EnsurePeriodLines(std::size_t count) {
    while (m_lines.size() < count) {
        PeriodLines lines{};
        for (std::size_t i = 0; i < kLines.size(); ++i) {
            auto* series = new QLineSeries;
            QPen pen(ColourOf(kLines[i]));
            const bool average =
                kLines[i] == Line::PositiveAverage || kLines[i] == Line::NegativeAverage;
            pen.setWidth(average ? kAverageLineWidth : 1);
            series->setPen(pen);
            series->setName(NameOf(kLines[i]));
            m_chart->addSeries(series);
            series->attachAxis(m_timeAxis);
            series->attachAxis(m_currentAxis);
            // The legend names each line once, however many periods it is drawn in.
            if (!m_lines.empty()) {
                for (auto* marker : m_chart->legend()->markers(series)) {
                    marker->setVisible(false);
                }
            }
            lines[i] = series;
        }
        m_lines.push_back(lines);
    }
}

void CCurrentGraphWnd::Redraw() {
    if (IsPaused()) {
        return;
    }
    const double span = SpanSeconds();
    const double to = std::max(m_trace.LatestSeconds(), span);
    const double from = to - span;
    // No more points than the plot has columns of pixels; before the chart is first laid out,
    // the view's width stands in for the plot's.
    const double plotWidth = m_chart->plotArea().width() > 0 ? m_chart->plotArea().width()
                                                             : static_cast<double>(m_view->width());
    const auto columns = static_cast<std::size_t>(std::max(1.0, plotWidth));
    EnsurePeriodLines(m_trace.PeriodCount());
    double lowest = std::numeric_limits<double>::max();
    double highest = std::numeric_limits<double>::lowest();
    for (std::size_t period = 0; period < m_lines.size(); ++period) {
        for (std::size_t i = 0; i < kLines.size(); ++i) {
            QList<QPointF> points;
            for (const auto& point : m_trace.LinePoints(period, kLines[i], from, to, columns)) {
                points.append(QPointF(point.seconds, point.value));
                lowest = std::min(lowest, static_cast<double>(point.value));
                highest = std::max(highest, static_cast<double>(point.value));
            }
            m_lines[period][i]->replace(points);
        }
    }
    if (lowest > highest) {
        lowest = 0.0;
        highest = kLeastCurrentRange;
    }
    const double margin = std::max((highest - lowest) * kCurrentMargin, 1.0);
    m_timeAxis->setRange(from, to);
    m_currentAxis->setRange(lowest - margin,
                            std::max(highest + margin, lowest - margin + kLeastCurrentRange));
    // Round figures at the ticks.
    m_currentAxis->applyNiceNumbers();
}

void CCurrentGraphWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Redraw();
    if (m_redrawTimer == 0) {
        m_redrawTimer = startTimer(kRedrawPeriodMs);
    }
}

void CCurrentGraphWnd::hideEvent(QHideEvent* event) {
    if (m_redrawTimer != 0) {
        killTimer(m_redrawTimer);
        m_redrawTimer = 0;
    }
    QWidget::hideEvent(event);
}

void CCurrentGraphWnd::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_redrawTimer) {
        Redraw();
        return;
    }
    QWidget::timerEvent(event);
}

void CCurrentGraphWnd::SaveAsPng() {
    const QString suggested =
        QStringLiteral("pelmora-%1.png")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path =
        ChooseFileToWrite(this, tr("PNGで保存"), suggested, QStringLiteral("PNG (*.png)"));
    if (path.isEmpty()) {
        return;
    }
    if (!m_view->grab().save(path, "PNG")) {
        QMessageBox failed(QMessageBox::Warning, QApplication::applicationName(),
                           tr("%1 に保存できませんでした。").arg(path), QMessageBox::Ok, this);
        // Modal to the graph alone: a running sequence's window stays free.
        failed.setWindowModality(Qt::WindowModal);
        failed.exec();
    }
}

void CCurrentGraphWnd::CopyPicture() {
    QApplication::clipboard()->setPixmap(m_view->grab());
}
