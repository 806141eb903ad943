#include "panel/dialog_font.h"

#include <QFont>
#include <QStringList>
#include <array>

namespace {

constexpr const char* kDialogFontFamily = "MS UI Gothic";

// Proportional IPA Gothic first, as MS UI Gothic is proportional too; then the fixed-pitch IPA
// Gothic and the other Japanese faces a Linux desktop commonly has.
constexpr std::array kJapaneseFamilies{"IPAPGothic", "IPAGothic", "Noto Sans CJK JP", "VL Gothic"};

} // namespace

void InstallDialogFont() {
    QStringList substitutes;
    for (const char* family : kJapaneseFamilies) {
        substitutes.append(QString::fromLatin1(family));
    }
    QFont::insertSubstitutions(QString::fromLatin1(kDialogFontFamily), substitutes);
}
