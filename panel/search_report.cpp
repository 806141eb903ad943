#include "panel/search_report.h"

#include "link/escaped_bytes.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

QString FixableReason(const pelmora::OpenFailure& failure) {
    if (failure.problem == pelmora::PortProblem::PermissionDenied) {
        if (failure.deviceGroup.empty()) {
            return QCoreApplication::translate("SearchReport", "アクセスが許可されていません。");
        }
        if (!pelmora::IsUserDeviceGroup(failure.deviceGroup)) {
            return QCoreApplication::translate(
                       "SearchReport",
                       "アクセスが許可されていません。デバイスの所有者は %1、モードは %2 "
                       "です。udev "
                       "ルールで dialout グループに与えてください（README の「%3」を参照）。")
                .arg(QString::fromStdString(pelmora::DeviceOwners(failure)),
                     QString::fromStdString(pelmora::DeviceModeText(failure)),
                     QString::fromLatin1(pelmora::kDevicePermissionsSection));
        }
        return QCoreApplication::translate(
                   "SearchReport",
                   "アクセスが許可されていません。%1 を実行してから、ログインし直して"
                   "ください。")
            .arg(QString::fromStdString(pelmora::GroupFixCommand(failure.deviceGroup)));
    }
    if (failure.leftExclusive) {
        if (!failure.openers.empty()) {
            return QCoreApplication::translate(
                       "SearchReport",
                       "排他モードのまま残されています。%1 が開いたままです。"
                       "そのプログラムを終了または再起動するか、ポートを解放させてください。")
                .arg(QString::fromStdString(pelmora::OpenersText(failure.openers)));
        }
        return QCoreApplication::translate(
            "SearchReport", "排他モードのまま残されています。開いたままにしているプログラムを"
                            "終了または再起動するか、ポートを解放させてください。");
    }
    if (failure.holder) {
        return QCoreApplication::translate("SearchReport",
                                           "他のプログラムが使用中です（PID %1 %2）。")
            .arg(failure.holder->pid)
            .arg(QString::fromStdString(failure.holder->name));
    }
    return QCoreApplication::translate("SearchReport", "他のプログラムが使用中です。");
}

} // namespace

const SearchedPort* FoundSupply(const std::vector<SearchedPort>& ports) {
    for (const auto& port : ports) {
        if (port.isSupply) {
            return &port;
        }
    }
    return nullptr;
}

std::vector<pelmora::SerialPortEntry> BusyPorts(const std::vector<SearchedPort>& ports) {
    std::vector<pelmora::SerialPortEntry> busy;
    for (const auto& port : ports) {
        if (port.failure.problem == pelmora::PortProblem::Busy) {
            busy.push_back(port.port);
        }
    }
    return busy;
}

std::string DescribeSearchedPort(const SearchedPort& port) {
    std::string line = port.port.name + " (" + port.port.devicePath.string() + "): ";
    if (port.failure.problem != pelmora::PortProblem::None) {
        return line + pelmora::DescribeOpenFailure(port.failure);
    }
    if (port.isSupply) {
        return line + "supply";
    }
    if (port.reply.empty()) {
        return line + "no answer";
    }
    return line + "other device, answered \"" + pelmora::EscapeBytes(port.reply) + "\"";
}

QString FixablePortsMessage(const std::vector<SearchedPort>& ports) {
    QStringList lines;
    for (const auto& port : ports) {
        if (!pelmora::IsFixableByUser(port.failure.problem)) {
            continue;
        }
        lines << QStringLiteral("%1 (%2): %3")
                     .arg(QString::fromStdString(port.port.name),
                          QString::fromStdString(port.port.devicePath.string()),
                          FixableReason(port.failure));
    }
    if (lines.isEmpty()) {
        return {};
    }
    return QCoreApplication::translate("SearchReport", "次のポートは開けませんでした。") +
           QStringLiteral("\n\n") + lines.join(QStringLiteral("\n\n"));
}
