#pragma once

#include "panel/supply_panel_dlg.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"

#include <QString>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class CDropDownList;
class QDialog;
class QPushButton;

inline const QString kRunSequence = QStringLiteral("シーケンス実行…");
// A program of a few seconds at most, however slow the machine.
inline constexpr int kProgramBoundMs = 10'000;

std::string Voltages(const char* positiveCode, const char* negativeCode);

// A panel on a simulated supply, with a directory for the sequence files a test writes.
class Sequences : public ::testing::Test {
protected:
    explicit Sequences(pelmora::sim::SimConfig config = {});
    ~Sequences() override;

    std::filesystem::path Write(const char* name, const std::string& text);
    // Chooses the file in the file dialog and waits for what follows: the program's window,
    // left open, or a box that says why there is none. Other boxes are answered as `others`
    // does, OK by default.
    void Run(
        const std::filesystem::path& file,
        ModalAnswerer::Answer others = [](const SeenBox&) { return QMessageBox::Ok; });
    // Settings sent since the program was chosen: no polls.
    std::vector<std::string> SettingsSent();
    // The program's window while it is shown.
    QDialog* Progress();
    QPushButton* OnOff();
    CDropDownList* List(const char* name);
    bool Locked();
    bool Unlocked();

    ModalAnswerer m_answerer;
    SupplyOnCom3 m_sim;
    std::filesystem::path m_dir;
    std::size_t m_sentBefore = 0;
    CSupplyPanelDlg m_panel;
};
