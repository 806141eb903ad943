#pragma once

#include <QLineEdit>
#include <optional>

// A field for a number between two bounds with at most `decimals` places after the point.
// What the user types stays as it was typed, whatever it is: a spin box would quietly turn it
// into a number it takes ("999" into 99 when 998 is the most), here Value() is empty until the
// text is such a number, and the dialog says what is wrong. Up and Down step the number by its
// last place, within the bounds.
class CBoundedNumberField : public QLineEdit {
    Q_OBJECT

public:
    CBoundedNumberField(double minimum, double maximum, int decimals, QWidget* parent = nullptr);

    void SetValue(double value);
    // The number typed, while it is one between the bounds with no more places than allowed.
    // Full-width digits, as a Japanese input method types them, count as digits.
    std::optional<double> Value() const;
    // Marks the field as holding what cannot be taken, `why` its tip; an empty `why` clears it.
    void MarkProblem(const QString& why);

    double Minimum() const { return m_minimum; }
    double Maximum() const { return m_maximum; }
    int Decimals() const { return m_decimals; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    double m_minimum;
    double m_maximum;
    int m_decimals;
};
