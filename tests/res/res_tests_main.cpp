#include "panel/dialog_font.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The forms are checked offscreen; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    InstallDialogFont();
    return RUN_ALL_TESTS();
}
