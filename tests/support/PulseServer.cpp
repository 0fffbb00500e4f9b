#include "PulseServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// True once something accepts connections on the unix socket at `path`.
bool acceptsConnections(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        ::close(fd);
        return false;
    }
    path.copy(address.sun_path, path.size());
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

std::vector<std::string> environmentWith(const std::vector<std::string>& overrides) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const std::string& override : overrides) {
            const std::string key = override.substr(0, override.find('=') + 1);
            replaced = replaced || text.rfind(key, 0) == 0;
        }
        if (!replaced) {
            result.push_back(text);
        }
    }
    result.insert(result.end(), overrides.begin(), overrides.end());
    return result;
}

// Starts argv[0] from PATH with `env`, its output appended to `logPath`. The child gets
// SIGTERM when this process ends, so a crashed test leaves no daemon behind.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& logPath) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : env) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);
        }
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (in < 0 || out < 0) {
            _exit(127);
        }
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    return pid;
}

} // namespace

PulseServer::PulseServer(Options options) {
    const std::string runtime = m_dir.path() + "/run";
    const std::string home = m_dir.path() + "/home";
    mkdir(runtime.c_str(), 0700);
    mkdir(home.c_str(), 0700);
    const std::string socketPath = runtime + "/pulse/native";
    m_address = "unix:" + socketPath;

    // The protocol module last, so that the sink is there once the socket answers. Clients
    // are accepted without a cookie: only this user can reach the private directory.
    std::ofstream script(m_dir.path() + "/server.pa");
    if (options.withNullSink) {
        script << "load-module module-null-sink sink_name=mimlet_null rate=48000\n"
               << "set-default-sink mimlet_null\n";
    }
    script << "load-module module-native-protocol-unix auth-anonymous=1\n";
    script.close();

    // -n: no default script; no daemonising, realtime, idle exit, shared memory or pid file,
    // none of which a short-lived private server needs (and some fail as root).
    const std::vector<std::string> argv = {
        "pulseaudio",
        "-n",
        "--daemonize=no",
        "--exit-idle-time=-1",
        "--disable-shm=yes",
        "--use-pid-file=no",
        "--realtime=no",
        "--high-priority=no",
        "--log-target=stderr",
        "-F",
        m_dir.path() + "/server.pa",
    };
    const std::vector<std::string> env = environmentWith({
        "XDG_RUNTIME_DIR=" + runtime,
        "HOME=" + home,
        "XDG_CONFIG_HOME=" + home + "/.config",
        "PULSE_RUNTIME_PATH=" + runtime + "/pulse",
        "PULSE_STATE_PATH=" + home + "/state",
    });
    m_pid = spawn(argv, env, m_dir.path() + "/server.log");

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!acceptsConnections(socketPath)) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("the sound server ended at start; see its log");
        }
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("the sound server did not start within 20 s");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

PulseServer::~PulseServer() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
}

void PulseServer::useAsDefault() const {
    setenv("PULSE_SERVER", m_address.c_str(), 1);
}

void PulseServer::kill() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
}

bool PulseServer::pactl(const std::string& args) const {
    const std::string command = "pactl -s '" + m_address + "' " + args + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string MissingServerAddress(const TempDir& dir) {
    return "unix:" + dir.path() + "/no-server/native";
}
