#pragma once

#include "rules/overcurrent_trip.h"

#include <QDialog>
#include <optional>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

// The protection's settings for this session, and the latched trip with the one way to clear
// it. Nothing takes effect until OK.
class COverCurrentDlg : public QDialog {
    Q_OBJECT

public:
    COverCurrentDlg(const pelmora::overcurrent::TripSettings& settings,
                    const std::optional<pelmora::overcurrent::TripRecord>& trip,
                    QWidget* parent = nullptr);

    pelmora::overcurrent::TripSettings Settings() const;
    // The user cleared the trip: the output may go on again.
    bool ClearTrip() const { return m_clearTrip; }

private:
    struct RailFields {
        QCheckBox* enabled = nullptr;
        QSpinBox* limit = nullptr;
    };
    RailFields AddRail(class QGridLayout& grid, int row, const QString& name, const char* key,
                       const pelmora::overcurrent::RailLimit& limit);

    RailFields m_positive;
    RailFields m_negative;
    QSpinBox* m_samples = nullptr;
    QDoubleSpinBox* m_blanking = nullptr;
    QLabel* m_tripText = nullptr;
    QPushButton* m_clear = nullptr;
    bool m_clearTrip = false;
};

// "正側 512 mA > 500 mA (12:34:56)": the trip as the panel shows it.
QString TripText(const pelmora::overcurrent::TripRecord& trip);
