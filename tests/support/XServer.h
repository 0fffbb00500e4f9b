#pragma once
// A private X server for integration tests: Xvfb on a display nobody else uses, one
// 640 x 480 screen at 24 bits, no TCP, no authorisation (only local clients can reach it).
// The server chooses the free display itself (-displayfd), so two test runs started at
// the same moment never meet. It is stopped when the object goes, and also if the test
// process dies first.
//
// Usage: XServer server; if (!server.running()) skip; setenv("DISPLAY", server.display()).

#include <string>
#include <sys/types.h>

class XServer {
public:
    // Starts the server and waits (at most 20 s) until it accepts connections.
    XServer(int nWidth = 640, int nHeight = 480, int nDepth = 24);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool running() const { return m_pid > 0 && !m_display.empty(); }
    const std::string& display() const { return m_display; } // ":N"
    const std::string& error() const { return m_error; }     // why it did not start

private:
    void stop();

    pid_t m_pid = -1;
    std::string m_display;
    std::string m_error;
};
