#pragma once

#include "rules/overcurrent_trip.h"

#include <QDialog>
#include <QString>
#include <optional>
#include <vector>

class CBoundedNumberField;
class QCheckBox;
class QLabel;
class QPushButton;

// The protection's settings for this session, and the latched trip with the one way to clear
// it. Nothing takes effect until OK, and OK takes only what the engine takes: a field that
// holds anything else is marked, the allowed range is said below the fields, and OK waits.
class COverCurrentDlg : public QDialog {
    Q_OBJECT

public:
    COverCurrentDlg(const pelmora::overcurrent::TripSettings& settings,
                    const std::optional<pelmora::overcurrent::TripRecord>& trip,
                    QWidget* parent = nullptr);

    pelmora::overcurrent::TripSettings Settings() const;
    // The user cleared the trip: the output may go on again.
    bool ClearTrip() const { return m_clearTrip; }
    // The protection's trip now, as the panel learns it while the dialog is open. A trip other
    // than the one shown replaces it, and a clearing asked for before it no longer stands.
    void ShowTrip(const std::optional<pelmora::overcurrent::TripRecord>& trip);

private:
    struct RailFields {
        QCheckBox* enabled = nullptr;
        CBoundedNumberField* limit = nullptr;
    };
    struct CheckedField {
        CBoundedNumberField* field = nullptr;
        QString name;
    };
    RailFields AddRail(class QGridLayout& grid, int row, const QString& name, const char* key,
                       const pelmora::overcurrent::RailLimit& limit);
    CBoundedNumberField* AddField(QGridLayout& grid, int row, const QString& name,
                                  const QString& objectName, double minimum, double maximum,
                                  int decimals, const QString& unit);
    // Marks each field that holds no value the engine takes, says why, and lets OK take the
    // settings only when there is none.
    void CheckFields();
    void ShowTripState();

    pelmora::overcurrent::TripSettings m_settings;
    RailFields m_positive;
    RailFields m_negative;
    CBoundedNumberField* m_samples = nullptr;
    CBoundedNumberField* m_blanking = nullptr;
    std::vector<CheckedField> m_checked;
    QLabel* m_problems = nullptr;
    QPushButton* m_ok = nullptr;
    std::optional<pelmora::overcurrent::TripRecord> m_trip;
    QLabel* m_tripText = nullptr;
    QPushButton* m_clear = nullptr;
    bool m_clearTrip = false;
};

// "123 mA", number and unit held together on one line wherever the text is wrapped.
QString Milliamps(int milliamps);

// "正側 512 mA > 500 mA (12:34:56)": the trip as the panel shows it.
QString TripText(const pelmora::overcurrent::TripRecord& trip);
