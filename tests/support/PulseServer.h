#pragma once
// A private sound server for integration tests: a PulseAudio daemon of its own, started with a
// private runtime directory and home, kept running while idle, and stopped (or killed) by the
// test. Works as root and as a normal user. While it runs, useAsDefault() points this
// process's clients (and the children it starts) at it and at nothing else.

#include <string>
#include <sys/types.h>

#include "TempDir.h"

class PulseServer {
public:
    struct Options {
        bool withNullSink = true; // a null sink named "mimlet_null", made the default sink
    };

    explicit PulseServer(Options options);
    PulseServer() : PulseServer(Options{}) {}
    ~PulseServer(); // stops the daemon if it still runs
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // The address clients connect to ("unix:/.../pulse/native").
    const std::string& address() const { return m_address; }
    // Sets PULSE_SERVER for this process to this server.
    void useAsDefault() const;
    // Ends the daemon with SIGKILL, as a crash would, and waits for it.
    void kill();
    // Runs pactl with `args` against this server; true when it exits with status 0.
    bool pactl(const std::string& args) const;

private:
    TempDir m_dir;
    std::string m_address;
    pid_t m_pid = -1; // the daemon, -1 once it has ended
};

// The address of a server that does not exist (a socket path nobody listens on).
std::string MissingServerAddress(const TempDir& dir);
