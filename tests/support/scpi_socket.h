#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How long a reply may take before the client gives up: only a hang runs into it.
inline constexpr std::chrono::milliseconds kReplyBound{10000};

// A plain TCP client of the SCPI server on the loopback, as a test or a benchmark drives it:
// blocking writes, replies read line by line.
class ScpiSocket {
public:
    // Connects to 127.0.0.1:port; Connected() tells whether that worked. A receive buffer size
    // other than 0 is set before connecting, for a client that is to fill up quickly.
    explicit ScpiSocket(std::uint16_t port, int receiveBufferBytes = 0);
    ~ScpiSocket();
    ScpiSocket(const ScpiSocket&) = delete;
    ScpiSocket& operator=(const ScpiSocket&) = delete;

    bool Connected() const { return m_fd >= 0; }
    // False when the server has closed or reset the connection.
    bool Send(std::string_view bytes);
    // The next line without its "\n"; empty when the connection ended or `bound` ran out first.
    std::optional<std::string> ReadLine(std::chrono::milliseconds bound = kReplyBound);
    // A line sent, its reply read.
    std::optional<std::string> Query(std::string_view line);
    // True once the server has closed the connection (end of stream or reset) within `bound`;
    // whatever arrives before that is thrown away.
    bool WaitForClose(std::chrono::milliseconds bound = kReplyBound);
    // Whether a whole line has already arrived, without waiting for one.
    bool LineWaiting();
    // No more from this side; the server may still answer.
    void EndSending();
    // The orderly end of stream.
    void Close();
    // Closes at once with a reset instead of the orderly end of stream.
    void Abort();
    int Descriptor() const { return m_fd; }

private:
    int m_fd = -1;
    std::string m_pending;
};
