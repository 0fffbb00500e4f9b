#include "HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

extern char** environ;

namespace {

// Reads one line from fd, waiting at most `timeout` in all.
std::string readLine(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (::poll(&ready, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0) {
            continue;
        }
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0 || c == '\n') {
            break;
        }
        line += c;
    }
    return line;
}

} // namespace

HttpServer::HttpServer(const std::string& folder) {
    int stdinPipe[2] = {-1, -1};
    int stdoutPipe[2] = {-1, -1};
    if (::pipe2(stdinPipe, O_CLOEXEC) != 0) {
        return;
    }
    if (::pipe2(stdoutPipe, O_CLOEXEC) != 0) {
        ::close(stdinPipe[0]);
        ::close(stdinPipe[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdinPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, stdoutPipe[1], 1);
    const std::string script = MIMLET_SOURCE_DIR "/tests/support/face_http_server.py";
    char* argv[] = {const_cast<char*>("python3"), const_cast<char*>(script.c_str()),
                    const_cast<char*>(folder.c_str()), nullptr};
    const int spawned = ::posix_spawnp(&m_pid, "python3", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(stdinPipe[0]);
    ::close(stdoutPipe[1]);
    if (spawned != 0) {
        m_pid = -1;
        ::close(stdinPipe[1]);
        ::close(stdoutPipe[0]);
        return;
    }
    m_stdinFd = stdinPipe[1];
    const std::string line = readLine(stdoutPipe[0], std::chrono::seconds(20));
    ::close(stdoutPipe[0]);
    m_port = std::atoi(line.c_str());
    if (m_port <= 0) {
        m_port = 0;
        stop();
    }
}

HttpServer::~HttpServer() {
    stop();
}

std::string HttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpServer::stop() {
    if (m_stdinFd >= 0) {
        ::close(m_stdinFd); // the server's cue to shut down
        m_stdinFd = -1;
    }
    if (m_pid <= 0) {
        return;
    }
    // A few seconds for an orderly end, then no more patience.
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

int UnusedLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}
