#include "link/serial_channel.h"
#include "panel/not_found_message.h"
#include "panel/search_report.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"
#include "tests/support/exclusive_holder.h"
#include "tests/support/other_user.h"
#include "tests/support/pty_peer.h"
#include "tests/support/spawned_program.h"

#include <QLineEdit>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using pelmora::sim::SimulatedSupply;

namespace {

// Set for the copy of this test program that runs as a user without privileges.
constexpr const char* kInnerRunVariable = "PELMORA_TEST_UNREADABLE_DEVICE";
constexpr const char* kUnreadableTest = "PortDiagnostics.UnreadableDeviceIsExplained";

// Searches as the panel does at start-up and returns the boxes it showed.
std::vector<SeenBox> SearchAndSeeBoxes() {
    ModalAnswerer answerer;
    CSupplyPanelDlg panel;
    panel.findChild<QLineEdit*>(QStringLiteral("IDC_WAIT_MS"))->setText("30");
    EXPECT_FALSE(panel.SearchSupply());
    return answerer.Seen();
}

void ExpectNotFoundThenAdvice(const std::vector<SeenBox>& boxes, const QString& advice) {
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, QString::fromUtf8(kNotFoundMessage));
    EXPECT_EQ(boxes[1].icon, QMessageBox::Information);
    EXPECT_EQ(boxes[1].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(boxes[1].text, advice);
}

std::string GroupOf(const std::filesystem::path& device) {
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) {
        return {};
    }
    const group* owner = ::getgrgid(node.st_gid);
    return owner ? owner->gr_name : std::to_string(node.st_gid);
}

QString AccessAdvice(const std::filesystem::path& device) {
    return QStringLiteral("次のポートは開けませんでした。\n\nCOM3 (%1): アクセスが許可されて"
                          "いません。sudo usermod -aG %2 $USER を実行してから、ログインし直して"
                          "ください。")
        .arg(QString::fromStdString(device.string()), QString::fromStdString(GroupOf(device)));
}

SearchedPort Unreadable(const std::string& owner, const std::string& group, unsigned mode) {
    SearchedPort port{{"COM3", "/dev/ttyUSB0"}, {}, {}, false};
    port.failure.problem = pelmora::PortProblem::PermissionDenied;
    port.failure.deviceOwner = owner;
    port.failure.deviceGroup = group;
    port.failure.deviceMode = mode;
    return port;
}

} // namespace

TEST(PortDiagnostics, DeviceLeftExclusiveNamesWhoKeepsItOpenAndWhatToDo) {
    PseudoTerminal device;
    ListedPorts listed("COM3=" + device.DevicePath().string());
    const ExclusiveHolder stranger(device.DevicePath());
    ASSERT_TRUE(stranger.Holding());
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);

    ExpectNotFoundThenAdvice(
        SearchAndSeeBoxes(),
        QStringLiteral("次のポートは開けませんでした。\n\nCOM3 (%1): 排他モードのまま残されて"
                       "います。PID %2 (%3) が開いたままです。そのプログラムを終了または再起動"
                       "するか、ポートを解放させてください。")
            .arg(QString::fromStdString(device.DevicePath().string()))
            .arg(stranger.Pid())
            .arg(QString::fromStdString(name)));
    EXPECT_EQ(device.Receive(100), "");
}

TEST(PortDiagnostics, JoiningAGroupIsAdvisedOnlyForAGroupOfUsersDevices) {
    EXPECT_EQ(FixablePortsMessage({Unreadable("root", "dialout", 020660)}),
              QStringLiteral("次のポートは開けませんでした。\n\nCOM3 (/dev/ttyUSB0): アクセスが許可"
                             "されていません。sudo usermod -aG dialout $USER を実行してから、"
                             "ログインし直してください。"));
    EXPECT_EQ(FixablePortsMessage({Unreadable("root", "root", 020600)}),
              QStringLiteral("次のポートは開けませんでした。\n\nCOM3 (/dev/ttyUSB0): アクセスが許可"
                             "されていません。デバイスの所有者は root:root、モードは 0600 です。"
                             "udev ルールで dialout グループに与えてください（README の「Device "
                             "permissions」を参照）。"));
}

TEST(PortDiagnostics, HeldDeviceIsNamedWithItsHolder) {
    SimulatedSupply supply;
    ListedPorts listed("COM3=" + supply.SlavePath().string());
    SpawnedProgram holder({"flock", "--exclusive", supply.SlavePath().string(), "sleep", "60"});
    ASSERT_TRUE(ProcessEventsUntil([&] {
        CSerialChannel probe;
        return !probe.Open(3, 921600) &&
               probe.LastOpenFailure().problem == pelmora::PortProblem::Busy;
    }));

    ExpectNotFoundThenAdvice(
        SearchAndSeeBoxes(),
        QStringLiteral("次のポートは開けませんでした。\n\nCOM3 (%1): 他のプログラムが使用中です"
                       "（PID %2 flock）。")
            .arg(QString::fromStdString(supply.SlavePath().string()))
            .arg(holder.Pid()));
    EXPECT_TRUE(supply.Log().empty()) << "nothing is sent to a port held by another program";
}

TEST(PortDiagnostics, UnreadableDeviceIsExplained) {
    if (std::getenv(kInnerRunVariable)) {
        const char* ports = std::getenv("PELMORA_PORTS");
        ASSERT_NE(ports, nullptr);
        const std::string device = std::string(ports).substr(std::string("COM3=").size());
        ExpectNotFoundThenAdvice(SearchAndSeeBoxes(), AccessAdvice(device));
        return;
    }
    SimulatedSupply supply;
    ASSERT_EQ(::chmod(supply.SlavePath().c_str(), 0), 0);
    ASSERT_TRUE(GiveToDialoutGroup(supply.SlavePath()));
    ListedPorts listed("COM3=" + supply.SlavePath().string());
    if (::geteuid() != 0) {
        ExpectNotFoundThenAdvice(SearchAndSeeBoxes(), AccessAdvice(supply.SlavePath()));
    } else {
        // Root opens any device, so the search runs again in a copy of this program as a user
        // without privileges, as a lab user would run it.
        const auto setpriv = FindProgram("setpriv");
        if (!setpriv || !::getgrnam("nogroup")) {
            GTEST_SKIP() << "running as root without setpriv or the nogroup group: a user without "
                            "privileges cannot be tried";
        }
        SpawnedProgram inner({*setpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                              OwnExecutable(), std::string("--gtest_filter=") + kUnreadableTest},
                             {{kInnerRunVariable, "1"}});
        const auto status = inner.WaitForEnd(60s);
        ASSERT_TRUE(status);
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
            << "the search as a user without privileges did not give the advice";
    }
    EXPECT_TRUE(supply.Log().empty());
}
