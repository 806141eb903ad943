#include "tests/panel/sequence_fixture.h"

#include "link/supply_protocol.h"
#include "panel/drop_down_list.h"
#include "tests/panel/protection_input.h"

#include <QApplication>
#include <QPushButton>
#include <algorithm>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

std::string Voltages(const char* positiveCode, const char* negativeCode) {
    return pelmora::protocol::BuildVoltageCommand(positiveCode, negativeCode);
}

Sequences::Sequences(pelmora::sim::SimConfig config)
    : m_sim(std::move(config)),
      m_dir(fs::temp_directory_path() / ("pelmora-sequences-" + std::to_string(::getpid()))) {
    fs::create_directories(m_dir);
}

Sequences::~Sequences() {
    fs::remove_all(m_dir);
}

fs::path Sequences::Write(const char* name, const std::string& text) {
    const fs::path file = m_dir / name;
    std::ofstream(file) << text;
    return file;
}

void Sequences::Run(const fs::path& file, ModalAnswerer::Answer others) {
    const auto choose = ModalAnswerer::ChoosingFile(QString::fromStdString(file.string()));
    m_answerer.SetAnswer(FillingProtection({}, nullptr, [choose, others](const SeenBox& seen) {
        if (seen.className == QStringLiteral("CSequenceDlg")) {
            return QMessageBox::NoButton;
        }
        if (seen.className == QStringLiteral("QFileDialog")) {
            return choose(seen);
        }
        return others(seen);
    }));
    m_sentBefore = Commands(m_sim.supply).size();
    const std::size_t seenBefore = m_answerer.Seen().size();
    // The entry in the language the test runs the panel in.
    ChooseFromContextMenu(m_panel,
                          QCoreApplication::translate("CSupplyPanelDlg", "シーケンス実行…"));
    // The file is read aside; the file dialog was one box.
    ProcessEventsUntil([&] { return Progress() || m_answerer.Seen().size() > seenBefore + 1; });
}

std::vector<std::string> Sequences::SettingsSent() {
    const auto commands = Commands(m_sim.supply);
    std::vector<std::string> settings;
    std::copy_if(commands.begin() + static_cast<std::ptrdiff_t>(m_sentBefore), commands.end(),
                 std::back_inserter(settings),
                 [](const std::string& command) { return command != kPoll; });
    return settings;
}

QDialog* Sequences::Progress() {
    for (auto* window : QApplication::topLevelWidgets()) {
        if (window->inherits("CSequenceDlg") && window->isVisible()) {
            return qobject_cast<QDialog*>(window);
        }
    }
    return nullptr;
}

QPushButton* Sequences::OnOff() {
    return m_panel.findChild<QPushButton*>(QStringLiteral("IDC_ONOFF"));
}

CDropDownList* Sequences::List(const char* name) {
    return m_panel.findChild<CDropDownList*>(QString::fromLatin1(name));
}

bool Sequences::Locked() {
    return !OnOff()->isEnabled() && !List("IDC_POS_VOLTAGE")->isEnabled() &&
           !List("IDC_NEG_VOLTAGE")->isEnabled();
}

bool Sequences::Unlocked() {
    return OnOff()->isEnabled() && List("IDC_POS_VOLTAGE")->isEnabled() &&
           List("IDC_NEG_VOLTAGE")->isEnabled();
}
