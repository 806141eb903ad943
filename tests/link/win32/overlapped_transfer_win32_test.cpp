#include "link/win32/overlapped_transfer_win32.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

using pelmora::OverlappedTransfer;

namespace {

constexpr DWORD kShortWaitMs = 50;
constexpr DWORD kLongWaitMs = 5000;

constexpr DWORD kOurOutputRoom = 1;
constexpr DWORD kTheirOutputRoom = 4096;

// A pipe whose reads wait for bytes that have not come, and whose writes wait for a reader once
// its one-byte buffer is full: a device that leaves transfers unfinished.
class SlowDevice : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string name =
            "\\\\.\\pipe\\pelmora-transfer-" + std::to_string(::GetCurrentProcessId());
        m_ours = ::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                    kOurOutputRoom, kTheirOutputRoom, 0, nullptr);
        ASSERT_NE(m_ours, INVALID_HANDLE_VALUE);
        m_theirs = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(m_theirs, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(m_transfer.Create(64));
    }
    void TearDown() override {
        m_transfer.Release(m_ours);
        ::CloseHandle(m_theirs);
        ::CloseHandle(m_ours);
    }

    void TheySend(const std::string& bytes) {
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(m_theirs, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                nullptr));
    }

    // What has reached the other end, without waiting for more.
    std::string TheyReceive() {
        std::string received(64, '\0');
        DWORD available = 0;
        if (!::PeekNamedPipe(m_theirs, nullptr, 0, nullptr, &available, nullptr) ||
            available == 0) {
            return {};
        }
        DWORD got = 0;
        ::ReadFile(m_theirs, received.data(), std::min<DWORD>(available, 64), &got, nullptr);
        received.resize(got);
        return received;
    }

    HANDLE m_ours = INVALID_HANDLE_VALUE;
    HANDLE m_theirs = INVALID_HANDLE_VALUE;
    OverlappedTransfer m_transfer;
};

} // namespace

TEST_F(SlowDevice, AReadThatOutlivesItsWaitIsCancelledAndDeliversNothingLater) {
    const auto abandoned = m_transfer.Read(m_ours, 4, kShortWaitMs);
    EXPECT_EQ(abandoned.error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(abandoned.count, 0u);
    EXPECT_EQ(m_transfer.Received(), "");

    // Bytes that come after the cancelled read stay for the next one, which can start at once.
    TheySend("ACKA");
    const auto next = m_transfer.Read(m_ours, 4, kLongWaitMs);
    EXPECT_EQ(next.error, 0u);
    EXPECT_EQ(m_transfer.Received(), "ACKA");
}

TEST_F(SlowDevice, AReadOfBytesThatHaveComeEndsWithThem) {
    TheySend("REQPN\r");
    const auto result = m_transfer.Read(m_ours, 6, kShortWaitMs);
    EXPECT_EQ(result.error, 0u);
    EXPECT_EQ(result.count, 6u);
    EXPECT_EQ(m_transfer.Received(), "REQPN\r");
}

TEST_F(SlowDevice, AWriteTheDeviceDoesNotTakeIsCancelledAndTheRecordServesAgain) {
    const auto stuck = m_transfer.Write(m_ours, "V050120\r", kShortWaitMs);
    EXPECT_EQ(stuck.error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_LT(stuck.count, 8u);

    // The device takes what came through; the next write then goes out whole.
    EXPECT_EQ(TheyReceive().size(), stuck.count);
    const auto next = m_transfer.Write(m_ours, "X", kLongWaitMs);
    EXPECT_EQ(next.error, 0u);
    EXPECT_EQ(next.count, 1u);
    EXPECT_EQ(TheyReceive(), "X");
}
