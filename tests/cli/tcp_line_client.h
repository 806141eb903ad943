#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A blocking TCP client of serve, as small as a script's: lines out, lines back. Every wait is
// bounded, so that a server that hangs fails the test instead of holding it.
class TcpLineClient {
public:
    // Connected to 127.0.0.1:port; IsOpen() tells whether it worked.
    explicit TcpLineClient(std::uint16_t port);
    ~TcpLineClient();
    TcpLineClient(const TcpLineClient&) = delete;
    TcpLineClient& operator=(const TcpLineClient&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    // Takes in few bytes at a time, so that replies pile up at the server sooner.
    void ShrinkReceiveBuffer();
    // False when the server no longer takes bytes.
    bool Send(std::string_view bytes);
    // The next line without its "\n"; empty when none came within the bound or the server
    // closed the connection.
    std::optional<std::string> ReadLine(std::chrono::milliseconds bound = std::chrono::seconds(10));
    // Sends the line and reads its reply.
    std::optional<std::string> Ask(std::string_view line);
    // True once the server has closed the connection (reading gives its end), within the bound.
    bool ClosedByServer(std::chrono::milliseconds bound = std::chrono::seconds(10));
    // Whether a whole line has already arrived, without waiting for one.
    bool LineWaiting();
    // No more from this side; the server may still answer.
    void EndSending();
    void Close();

private:
    // False when the connection ended or the bound passed.
    bool Fill(std::chrono::steady_clock::time_point deadline);

    int m_fd = -1;
    std::string m_received;
    bool m_ended = false;
};
