#include "sim/simulated_supply.h"

#include "link/supply_protocol.h"
#include "sim/reply_plan.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace pelmora::sim {

namespace {

constexpr int kWaitForever = -1;
constexpr std::size_t kReadChunk = 256;
// A real supply's line buffer is small; a stream without carriage returns must not grow ours
// without end.
constexpr std::size_t kMaxCommandBytes = 64;

} // namespace

SimulatedSupply::SimulatedSupply(SimConfig config)
    : m_config(std::move(config)), m_log(m_config.logFile), m_model(m_config),
      m_terminal(OpenPseudoTerminal(m_config.kernelModes)),
      m_link(m_config.linkPath, m_terminal.slavePath),
      m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_replyRandom(m_config.seed) {
    if (!m_wake.IsValid()) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    m_thread = std::jthread([this](std::stop_token stop) { Serve(std::move(stop)); });
}

SimulatedSupply::~SimulatedSupply() {
    Stop();
}

const std::filesystem::path& SimulatedSupply::SlavePath() const {
    return m_terminal.slavePath;
}

std::vector<LoggedCommand> SimulatedSupply::Log() const {
    return m_log.Entries();
}

bool SimulatedSupply::WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const {
    return m_log.WaitForCount(count, timeout);
}

SupplyState SimulatedSupply::State() const {
    const std::lock_guard lock(m_modelMutex);
    return m_model.State();
}

void SimulatedSupply::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_thread.request_stop();
    m_thread.join();
    DropLine();
}

void SimulatedSupply::Wake() {
    const std::uint64_t increment = 1;
    [[maybe_unused]] const auto written = ::write(m_wake.Get(), &increment, sizeof increment);
}

void SimulatedSupply::Serve(std::stop_token stop) {
    const std::stop_callback wakeOnStop(stop, [this] { Wake(); });
    while (!stop.stop_requested()) {
        std::array<pollfd, 3> watched{{{m_terminal.master.Get(), POLLIN, 0},
                                       {m_wake.Get(), POLLIN, 0},
                                       {m_terminal.closeWatch.Get(), POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), PollTimeoutMs()) < 0 && errno != EINTR) {
            return;
        }
        if ((watched[2].revents & POLLIN) != 0) {
            ReleaseAfterLastClose(m_terminal);
        }
        const short line = watched[0].revents;
        if ((line & POLLIN) != 0) {
            if (!ReceiveBytes()) {
                return;
            }
        } else if ((line & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            // Cannot happen while we hold the slave open; ending beats spinning on it.
            return;
        }
        SendDueReplies();
    }
}

int SimulatedSupply::PollTimeoutMs() const {
    if (m_pending.empty()) {
        return kWaitForever;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_pending.begin()->first - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

bool SimulatedSupply::ReceiveBytes() {
    std::array<char, kReadChunk> buffer{};
    const ssize_t got = ::read(m_terminal.master.Get(), buffer.data(), buffer.size());
    if (got <= 0) {
        return got < 0 && (errno == EAGAIN || errno == EINTR);
    }
    const auto received = Clock::now();
    for (const char byte : std::string_view(buffer.data(), static_cast<std::size_t>(got))) {
        m_partialCommand += byte;
        if (byte == protocol::kTerminator) {
            if (!HandleCommand(std::exchange(m_partialCommand, {}), received)) {
                return false;
            }
        } else if (m_partialCommand.size() > kMaxCommandBytes) {
            m_partialCommand.clear();
        }
    }
    return true;
}

bool SimulatedSupply::HandleCommand(std::string command, Clock::time_point received) {
    ++m_commandCount;
    // The line goes down before the command shows in the log, so that whoever waits for the
    // log finds it down.
    if (m_config.hangUpAfter && m_commandCount >= *m_config.hangUpAfter) {
        DropLine();
        m_log.Record(std::move(command), received);
        return false;
    }
    std::optional<std::string> reply;
    {
        const std::lock_guard lock(m_modelMutex);
        reply = m_model.Handle(command, received);
    }
    m_log.Record(std::move(command), received);
    const bool answering =
        !m_config.stopAnsweringAfter || m_commandCount <= *m_config.stopAnsweringAfter ||
        (m_config.resumeAnsweringAt && m_commandCount >= *m_config.resumeAnsweringAt);
    if (reply && answering) {
        for (auto& chunk : PlanReply(std::move(*reply), m_config, m_replyRandom)) {
            m_pending.emplace(received + chunk.after, std::move(chunk.bytes));
        }
    }
    return true;
}

void SimulatedSupply::SendDueReplies() {
    const auto now = Clock::now();
    while (!m_pending.empty() && m_pending.begin()->first <= now) {
        const std::string& bytes = m_pending.begin()->second;
        // A host that never reads lets its queue fill up; what no longer fits is lost, as it
        // would be on a real line.
        [[maybe_unused]] const auto written =
            ::write(m_terminal.master.Get(), bytes.data(), bytes.size());
        m_pending.erase(m_pending.begin());
    }
}

// The terminal's name goes with its master, but the system hands its number to the next
// terminal opened only once the slave is closed too. Holding the slave until this supply ends
// keeps another program's terminal from appearing under the dropped line's name, where whoever
// watches for this supply's return would take it for this one.
void SimulatedSupply::DropLine() {
    m_pending.clear();
    m_terminal.master.Reset();
    m_terminal.closeWatch.Reset();
}

} // namespace pelmora::sim
