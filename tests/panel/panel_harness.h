#pragma once

#include "link/supply_protocol.h"
#include "sim/simulated_supply.h"
#include "tests/support/pty_peer.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class CSupplyPanelDlg;
class QImage;

// Test failures show texts as text.
void PrintTo(const QString& text, std::ostream* out);

// Runs the panel modally, as the application does, and calls `whileRunning` once it is shown.
// The panel is closed afterwards if the test left it open.
void RunPanel(CSupplyPanelDlg& panel, const std::function<void()>& whileRunning);

// The bytes of the supply's poll and of its reset, as a supply's log holds them.
inline const std::string kPoll{pelmora::protocol::kCurrentRequest};
inline const std::string kReset{pelmora::protocol::kResetCommand};
// A supply that comes back is found within a few looks.
inline constexpr int kReconnectBoundMs = 5000;

// Lets the panel's event loop run until the condition holds; false when it did not within
// the bound.
bool ProcessEventsUntil(const std::function<bool()>& condition, int boundMs = 5000);
// Lets the panel's event loop run for this long, ticks included.
void ProcessEventsFor(int ms);

// The commands a simulated supply received, as text, oldest first.
std::vector<std::string> Commands(const pelmora::sim::SimulatedSupply& supply);
int CountCommand(const pelmora::sim::SimulatedSupply& supply, const std::string& command);
// The last command other than a poll, which come and go with the output on.
std::string LastSetting(const pelmora::sim::SimulatedSupply& supply);

// The text of a named control on the panel.
QString ControlText(CSupplyPanelDlg& panel, const char* objectName);
// Colour at the centre of the output lamp as the panel draws it now.
QRgb LampCentre(CSupplyPanelDlg& panel);
inline constexpr QRgb kLampOnRed = 0xFF0000;
inline constexpr QRgb kLampOffGrey = 0xB2B2B2;

// The keyboard's two ways to a context menu.
enum class MenuKey { Menu, ShiftF10 };
// Opens the panel's context menu by pressing `key` where the focus is, and chooses the entry
// with this text (none when empty). Returns the entries offered, with whether each could be
// chosen; none when no menu opened.
QStringList ChooseFromContextMenu(CSupplyPanelDlg& panel, const QString& entry,
                                  MenuKey key = MenuKey::Menu);

// The program's texts in English while it lives, as with --lang en; Japanese again after.
class InEnglish {
public:
    InEnglish();
    ~InEnglish();
    InEnglish(const InEnglish&) = delete;
    InEnglish& operator=(const InEnglish&) = delete;
};

// One simulated supply listed as COM3, the first port the search reaches.
struct SupplyOnCom3 {
    explicit SupplyOnCom3(pelmora::sim::SimConfig config = {});
    pelmora::sim::SimulatedSupply supply;
    ListedPorts listed;
};
