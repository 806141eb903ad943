#include "panel/bounded_number_field.h"

#include <QKeyEvent>
#include <QPalette>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kDecimalBase = 10.0;
// A pale red behind the text: the text itself stays readable.
constexpr QRgb kProblemBackground = 0xFFD8D8;

} // namespace

CBoundedNumberField::CBoundedNumberField(double minimum, double maximum, int decimals,
                                         QWidget* parent)
    : QLineEdit(parent), m_minimum(minimum), m_maximum(maximum), m_decimals(decimals) {}

void CBoundedNumberField::SetValue(double value) {
    setText(QString::number(value, 'f', m_decimals));
}

std::optional<double> CBoundedNumberField::Value() const {
    const QString typed = text().normalized(QString::NormalizationForm_KC).trimmed();
    const QString pattern = m_decimals > 0
                                ? QStringLiteral("[0-9]+(\\.[0-9]{1,%1})?").arg(m_decimals)
                                : QStringLiteral("[0-9]+");
    const QRegularExpression number(QRegularExpression::anchoredPattern(pattern));
    if (!number.match(typed).hasMatch()) {
        return std::nullopt;
    }
    const double value = typed.toDouble();
    if (value < m_minimum || value > m_maximum) {
        return std::nullopt;
    }
    return value;
}

void CBoundedNumberField::MarkProblem(const QString& why) {
    QPalette colours = palette();
    colours.setColor(QPalette::Base,
                     why.isEmpty() ? QPalette().color(QPalette::Base) : QColor(kProblemBackground));
    setPalette(colours);
    setToolTip(why);
}

void CBoundedNumberField::keyPressEvent(QKeyEvent* event) {
    const int direction = event->key() == Qt::Key_Up ? 1 : (event->key() == Qt::Key_Down ? -1 : 0);
    const auto value = Value();
    if (direction == 0 || !value) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const double step = std::pow(kDecimalBase, -m_decimals);
    SetValue(std::clamp(*value + direction * step, m_minimum, m_maximum));
}
