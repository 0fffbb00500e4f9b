#include "XServer.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <vector>

namespace {

constexpr int kStartSeconds = 20;

// Reads what the server writes to its display fd: the display number and a line feed.
std::string readDisplayNumber(int fd) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd pfd{fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return {};
        char buffer[32];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {}; // the server closed the pipe: it has exited
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > 16)
            return {};
    }
    text.erase(text.find('\n'));
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return {};
    return text;
}

} // namespace

XServer::XServer(int nWidth, int nHeight, int nDepth) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        m_error = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    const std::string screen =
        std::to_string(nWidth) + "x" + std::to_string(nHeight) + "x" + std::to_string(nDepth);
    // A copy of the write end without close-on-exec: the server writes the display number
    // there. Everything the child needs is made before the fork.
    const int writeFd = dup(fds[1]);
    const std::string fdText = std::to_string(writeFd);
    std::vector<const char*> args = {"Xvfb",     "-displayfd",   fdText.c_str(), "-screen",
                                     "0",        screen.c_str(), "-nolisten",    "tcp",
                                     "-noreset", nullptr};
    const pid_t parent = getpid();
    const pid_t pid = writeFd < 0 ? -1 : fork();
    if (pid < 0) {
        m_error = std::string("fork: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        if (writeFd >= 0)
            close(writeFd);
        return;
    }
    if (pid == 0) {
        // The server goes with the test process, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        const int devNull = open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            dup2(devNull, STDIN_FILENO);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
        }
        execvp(args[0], const_cast<char* const*>(args.data()));
        _exit(127);
    }
    close(fds[1]);
    close(writeFd);
    m_pid = pid;
    const std::string number = readDisplayNumber(fds[0]);
    close(fds[0]);
    if (number.empty()) {
        m_error = "Xvfb did not start (is the xvfb package installed?)";
        stop();
        return;
    }
    m_display = ":" + number;
}

XServer::~XServer() {
    stop();
}

void XServer::stop() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    // A server that ignores the request for 5 s is killed.
    for (int i = 0; i < 100; ++i) {
        const pid_t done = waitpid(m_pid, nullptr, WNOHANG);
        if (done == m_pid || (done < 0 && errno != EINTR)) {
            m_pid = -1;
            return;
        }
        usleep(50 * 1000);
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}
