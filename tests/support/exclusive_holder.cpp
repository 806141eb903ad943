#include "tests/support/exclusive_holder.h"

#include <array>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

ExclusiveHolder::ExclusiveHolder(const std::filesystem::path& device) {
    std::array<int, 2> ready{-1, -1};
    if (::pipe(ready.data()) != 0) {
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char held = fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? 1 : 0;
        [[maybe_unused]] const auto written = ::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char held = 0;
    m_holding = m_pid > 0 && ::read(ready[0], &held, 1) == 1 && held == 1;
    ::close(ready[0]);
}

ExclusiveHolder::~ExclusiveHolder() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}
