#include "app/supply_app.h"
#include "panel/dialog_font.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Panel tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    CSupplyApp app(argc, argv);
    // As the program starts when no language is asked for.
    app.UseLanguage("ja");
    InstallDialogFont();
    return RUN_ALL_TESTS();
}
