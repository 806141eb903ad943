#pragma once

#include "panel/current_trace.h"

#include <QWidget>
#include <array>
#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QLineSeries;
class QPushButton;
class QValueAxis;

// The current graph: both rails' readings and their ten-sample averages over the last minutes,
// drawn from the readings the panel takes anyway. A window of its own beside the panel, not
// modal. It redraws at most once a second, and not at all while hidden or paused.
class CCurrentGraphWnd : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRedrawPeriodMs = 1000;

    CCurrentGraphWnd(const CurrentTrace& trace, QWidget* parent);

    // Draws the trace as it is now, unless paused.
    void Redraw();
    bool IsPaused() const;
    // The seconds shown, up to now.
    double SpanSeconds() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // Four lines a period of output on, made as periods come and reused after.
    using PeriodLines = std::array<QLineSeries*, 4>;

    void EnsurePeriodLines(std::size_t count);
    void SaveAsPng();
    void CopyPicture();

    const CurrentTrace& m_trace;
    QChart* m_chart = nullptr;
    QChartView* m_view = nullptr;
    QValueAxis* m_timeAxis = nullptr;
    QValueAxis* m_currentAxis = nullptr;
    QComboBox* m_span = nullptr;
    QPushButton* m_pause = nullptr;
    std::vector<PeriodLines> m_lines;
    int m_redrawTimer = 0;
};
