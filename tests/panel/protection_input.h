#pragma once

#include "tests/panel/modal_answerer.h"

#include <QString>
#include <optional>

// What a user types into the over-current protection dialog; a field left empty is left as
// it is.
struct ProtectionInput {
    std::optional<bool> positiveOn{};
    std::optional<int> positiveMa{};
    std::optional<bool> negativeOn{};
    std::optional<int> negativeMa{};
    std::optional<int> samples{};
    std::optional<int> delaySeconds{};
    bool clearTrip = false;
    // Escape instead of OK.
    bool cancel = false;
};

// Answers the protection dialog with clicks and keys as `input` says, then OK (or Escape),
// and takes every other box as `others` does. `tripShown` receives the dialog's trip text.
ModalAnswerer::Answer FillingProtection(
    ProtectionInput input, QString* tripShown = nullptr,
    ModalAnswerer::Answer others = [](const SeenBox&) { return QMessageBox::Ok; });

// Types `text` key by key into whatever has the focus in `anyWidget`'s window.
void TypeText(QWidget* anyWidget, const QString& text);
