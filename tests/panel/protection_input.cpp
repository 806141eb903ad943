#include "tests/panel/protection_input.h"

#include "tests/panel/input_events.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace {

void SetCheck(QDialog& dialog, const char* name, std::optional<bool> on) {
    auto* box = dialog.findChild<QCheckBox*>(QString::fromLatin1(name));
    if (on && box->isChecked() != *on) {
        FocusByClick(box);
        Key(box, Qt::Key_Space);
    }
}

void SetNumber(QDialog& dialog, const char* name, std::optional<int> value) {
    if (!value) {
        return;
    }
    auto* field = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    FocusByClick(field);
    Key(field, Qt::Key_A, Qt::ControlModifier);
    TypeText(field, QString::number(*value));
}

} // namespace

void TypeText(QWidget* anyWidget, const QString& text) {
    for (const QChar c : text) {
        Key(anyWidget, static_cast<Qt::Key>(c.toUpper().unicode()));
    }
}

ModalAnswerer::Answer FillingProtection(ProtectionInput input, QString* tripShown,
                                        ModalAnswerer::Answer others) {
    return [input, tripShown, others](const SeenBox& seen) {
        if (seen.className != QStringLiteral("COverCurrentDlg")) {
            return others(seen);
        }
        QPointer<QDialog> dialog = seen.dialog;
        QMetaObject::invokeMethod(
            dialog,
            [dialog, input, tripShown] {
                if (tripShown) {
                    *tripShown = dialog->findChild<QLabel*>(QStringLiteral("trip"))->text();
                }
                SetCheck(*dialog, "positiveEnabled", input.positiveOn);
                SetNumber(*dialog, "positiveLimit", input.positiveMa);
                SetCheck(*dialog, "negativeEnabled", input.negativeOn);
                SetNumber(*dialog, "negativeLimit", input.negativeMa);
                SetNumber(*dialog, "samples", input.samples);
                SetNumber(*dialog, "blanking", input.delaySeconds);
                if (input.clearTrip) {
                    auto* clear = dialog->findChild<QPushButton*>(QStringLiteral("clear"));
                    ClickMiddle(clear);
                }
                Key(dialog, input.cancel ? Qt::Key_Escape : Qt::Key_Return);
            },
            Qt::QueuedConnection);
        return QMessageBox::NoButton;
    };
}
