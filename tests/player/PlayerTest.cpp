// The player as a user meets it: the real mimlet-player, run as a process of its own on a
// private X server, a private sound server with a null sink and a private runtime folder;
// what it shows is read back from the screen. Messages go to the player's standard error
// (MIMLET_MESSAGES=stderr), so no box waits for a click.

#include "HttpServer.h"
#include "PulseServer.h"
#include "TempDir.h"
#include "TonePlayer.h"
#include "XScreen.h"
#include "XServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kCaption = "ZORVAN - Mimlet Player";
const std::string kPlayer = MIMLET_BINARY_DIR "/bin/mimlet-player";
const std::string kSamples = MIMLET_BINARY_DIR "/samples";
// Generous: a sanitizer build on a busy two-core machine starts slowly.
constexpr auto kDeadline = 60s;

// Polls `done` every 100 ms until it holds or `deadline` has passed.
bool pollUntil(const std::function<bool()>& done, Clock::duration deadline = kDeadline) {
    const auto end = Clock::now() + deadline;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

// One mimlet-player process with its own environment; its output goes to a log file. It is
// killed if the test ends while it still runs, and also if the test process dies.
class PlayerProcess {
public:
    PlayerProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const std::string& logPath)
        : m_logPath(logPath) {
        std::vector<std::string> argv = {kPlayer};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargs;
        for (const std::string& arg : argv)
            cargs.push_back(const_cast<char*>(arg.c_str()));
        cargs.push_back(nullptr);
        std::vector<char*> cenv;
        for (const std::string& entry : env)
            cenv.push_back(const_cast<char*>(entry.c_str()));
        cenv.push_back(nullptr);
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (in < 0 || out < 0)
                _exit(127);
            dup2(in, STDIN_FILENO);
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            execve(cargs[0], cargs.data(), cenv.data());
            _exit(127);
        }
    }
    ~PlayerProcess() {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    bool running() {
        reap();
        return m_pid > 0 && !m_status;
    }
    // The exit code once the process has ended by itself within `deadline`; -1 when it was
    // ended by a signal, nothing when it still runs.
    std::optional<int> waitExit(Clock::duration deadline = kDeadline) {
        pollUntil([this] { return !running(); }, deadline);
        if (!m_status)
            return std::nullopt;
        return WIFEXITED(*m_status) ? WEXITSTATUS(*m_status) : -1;
    }
    std::string log() const {
        std::ifstream in(m_logPath);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    void reap() {
        int status = 0;
        if (m_pid > 0 && !m_status && waitpid(m_pid, &status, WNOHANG) == m_pid)
            m_status = status;
    }

    pid_t m_pid = -1;
    std::optional<int> m_status; // the wait status once the process has ended
    std::string m_logPath;
};

// Colour tests on 0x00RRGGBB pixels.
int Red(uint32_t p) {
    return static_cast<int>((p >> 16) & 0xFF);
}
int Green(uint32_t p) {
    return static_cast<int>((p >> 8) & 0xFF);
}
int Blue(uint32_t p) {
    return static_cast<int>(p & 0xFF);
}
int Spread(uint32_t p) {
    return std::max({Red(p), Green(p), Blue(p)}) - std::min({Red(p), Green(p), Blue(p)});
}

int Count(const ScreenShot& shot, const WindowRect& box,
          const std::function<bool(uint32_t)>& test) {
    int n = 0;
    for (int y = std::max(box.y, 0); y < std::min(box.y + box.height, shot.height); ++y)
        for (int x = std::max(box.x, 0); x < std::min(box.x + box.width, shot.width); ++x)
            n += test(shot.at(x, y)) ? 1 : 0;
    return n;
}

// What the display panel shows, read from a picture of its inside (296 x 232 pixels).
struct PanelLook {
    int nColourful = 0; // pixels of a clear colour: a head (the panel's own face is grey)
    int nChestnut = 0;  // reddish-brown pixels where the hair is (the first sample face)
    int nBlackHair = 0; // dark grey pixels where the hair is (the second sample face)
    int nMouthDark = 0; // dark red pixels where the mouth is: the inside of an open mouth

    bool head() const { return nColourful > 296 * 232 / 8; }
    bool chestnutHair() const { return head() && nChestnut > 1000 && nChestnut > 2 * nBlackHair; }
    bool blackHair() const { return head() && nBlackHair > 1000 && nBlackHair > 2 * nChestnut; }
};

std::ostream& operator<<(std::ostream& out, const PanelLook& look) {
    return out << "{colourful " << look.nColourful << ", chestnut " << look.nChestnut
               << ", black hair " << look.nBlackHair << ", mouth dark " << look.nMouthDark << "}";
}

PanelLook Look(const ScreenShot& panel) {
    const WindowRect hair = {40, 20, 216, 80};
    const WindowRect mouth = {80, 160, 120, 70};
    PanelLook look;
    look.nColourful =
        Count(panel, {0, 0, panel.width, panel.height}, [](uint32_t p) { return Spread(p) > 40; });
    look.nChestnut = Count(panel, hair, [](uint32_t p) {
        return Red(p) >= 90 && Red(p) < 200 && Red(p) - Blue(p) >= 70 && Green(p) < Red(p);
    });
    look.nBlackHair = Count(panel, hair, [](uint32_t p) {
        const int top = std::max({Red(p), Green(p), Blue(p)});
        return top > 8 && top < 100 && Spread(p) < 30;
    });
    look.nMouthDark = Count(panel, mouth, [](uint32_t p) {
        return Red(p) >= 25 && Red(p) < 130 && Green(p) < 60 && Blue(p) < 80 &&
               Red(p) > Green(p) + 15;
    });
    return look;
}

// Services shared by every test: the X server, the sound server and the HTTP server with
// the two sample faces.
class PlayerEnvironment : public testing::Environment {
public:
    void SetUp() override {
        ::setenv("no_proxy", "*", 1);
        ::setenv("NO_PROXY", "*", 1);
        s_pX = std::make_unique<XServer>();
        if (!s_pX->running()) {
            s_error = s_pX->error();
            return;
        }
        try {
            s_pPulse = std::make_unique<PulseServer>();
        } catch (const std::exception& e) {
            s_error = e.what();
            return;
        }
        s_pPulse->useAsDefault(); // the tone the tests play goes there too
        s_pFaces = std::make_unique<TempDir>();
        for (const char* pName : {"sample-1.mf", "sample-2.mf"}) {
            std::filesystem::copy_file(kSamples + "/" + pName, s_pFaces->path() + "/" + pName);
        }
        s_pHttp = std::make_unique<HttpServer>(s_pFaces->path());
        if (!s_pHttp->ok())
            s_error = "the HTTP server did not start";
    }
    void TearDown() override {
        s_pHttp.reset();
        s_pFaces.reset();
        s_pPulse.reset();
        s_pX.reset();
    }

    static inline std::unique_ptr<XServer> s_pX;
    static inline std::unique_ptr<PulseServer> s_pPulse;
    static inline std::unique_ptr<TempDir> s_pFaces;
    static inline std::unique_ptr<HttpServer> s_pHttp;
    static inline std::string s_error; // why the services are not there
};

testing::Environment* const s_pEnvironment =
    testing::AddGlobalTestEnvironment(new PlayerEnvironment);

class PlayerTest : public testing::Test {
protected:
    void SetUp() override {
        if (!PlayerEnvironment::s_error.empty())
            GTEST_SKIP() << PlayerEnvironment::s_error;
        ASSERT_TRUE(std::filesystem::exists(kPlayer)) << kPlayer;
        m_runtime = m_dir.path() + "/run";
        ASSERT_EQ(mkdir(m_runtime.c_str(), 0700), 0);
        m_pScreen = std::make_unique<XScreen>(PlayerEnvironment::s_pX->display());
        ASSERT_TRUE(m_pScreen->connected());
    }

    std::string sample(int n) const { return kSamples + "/sample-" + std::to_string(n) + ".mf"; }
    std::string url(const std::string& path) const { return PlayerEnvironment::s_pHttp->url(path); }

    // Starts a player (a first one, or a second launch while one runs) with `args`.
    std::unique_ptr<PlayerProcess> launch(const std::vector<std::string>& args) {
        std::vector<std::string> env;
        const std::vector<std::string> own = {
            "DISPLAY=" + PlayerEnvironment::s_pX->display(),
            "XDG_RUNTIME_DIR=" + m_runtime,
            "PULSE_SERVER=" + PlayerEnvironment::s_pPulse->address(),
            "QT_QPA_PLATFORM=xcb",
            "MIMLET_MESSAGES=stderr",
        };
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            const std::string key = text.substr(0, text.find('=') + 1);
            if (std::none_of(own.begin(), own.end(),
                             [&](const std::string& o) { return o.rfind(key, 0) == 0; }))
                env.push_back(text);
        }
        env.insert(env.end(), own.begin(), own.end());
        const std::string log = m_dir.path() + "/player-" + std::to_string(++m_nLaunches) + ".log";
        return std::make_unique<PlayerProcess>(args, env, log);
    }

    // Waits for the main window of the running player.
    xcb_window_t waitForWindow(PlayerProcess& player) {
        xcb_window_t window = 0;
        pollUntil([&] {
            window = m_pScreen->findWindow(kCaption);
            return window != 0 || !player.running();
        });
        return window;
    }

    // The inside of the display panel: the panel is 300 x 236 pixels at (8, 8) of the
    // dialog, with an edge; 2 pixels in from each side is what the face view covers.
    ScreenShot panel(xcb_window_t window) {
        const WindowRect where = m_pScreen->geometry(window);
        return m_pScreen->grab({where.x + 10, where.y + 10, 296, 232});
    }

    // Waits until the panel looks as `wanted` says; the last look, for the failure message.
    std::pair<bool, PanelLook> waitForLook(xcb_window_t window,
                                           const std::function<bool(const PanelLook&)>& wanted) {
        PanelLook look;
        const bool ok = pollUntil([&] {
            const ScreenShot shot = panel(window);
            look = shot.empty() ? PanelLook{} : Look(shot);
            return wanted(look);
        });
        return {ok, look};
    }

    // Starts a player on `args` and waits until its panel shows the look `wanted`.
    std::unique_ptr<PlayerProcess> startShowing(const std::vector<std::string>& args,
                                                const std::function<bool(const PanelLook&)>& wanted,
                                                xcb_window_t& window) {
        auto player = launch(args);
        window = waitForWindow(*player);
        if (window == 0) {
            ADD_FAILURE() << "no player window\n" << player->log();
            return player;
        }
        const auto [ok, look] = waitForLook(window, wanted);
        EXPECT_TRUE(ok) << look << "\n" << player->log();
        return player;
    }

    // Closes the player's window as the close box does and expects a clean end.
    void closeAndExpectCleanEnd(PlayerProcess& player, xcb_window_t window) {
        ASSERT_TRUE(m_pScreen->requestClose(window));
        const std::optional<int> code = player.waitExit();
        ASSERT_TRUE(code.has_value()) << "still running after the close\n" << player.log();
        EXPECT_EQ(*code, 0) << player.log();
    }

    TempDir m_dir;
    std::string m_runtime; // the players' private XDG_RUNTIME_DIR
    std::unique_ptr<XScreen> m_pScreen;
    int m_nLaunches = 0;
};

TEST_F(PlayerTest, ShowsTheHeadOfTheFaceOnItsCommandLineAndMovesIt) {
    xcb_window_t window = 0;
    auto player = startShowing({sample(1)}, &PanelLook::chestnutHair, window);
    ASSERT_NE(window, 0u);

    // The head sways all the time: two pictures half a second apart differ. On a busy
    // machine a frame may come late, so a few pairs are allowed.
    int nChanged = 0;
    pollUntil(
        [&] {
            const ScreenShot before = panel(window);
            std::this_thread::sleep_for(500ms);
            const ScreenShot after = panel(window);
            nChanged = 0;
            for (size_t i = 0; i < std::min(before.pixels.size(), after.pixels.size()); ++i)
                nChanged += before.pixels[i] != after.pixels[i] ? 1 : 0;
            return nChanged > 200;
        },
        20s);
    EXPECT_GT(nChanged, 200) << "the head stands still";

    closeAndExpectCleanEnd(*player, window);
}

TEST_F(PlayerTest, LoadsAUrlOnItsCommandLine) {
    xcb_window_t window = 0;
    auto player = startShowing({url("/files/sample-2.mf")}, &PanelLook::blackHair, window);
    ASSERT_NE(window, 0u);
    closeAndExpectCleanEnd(*player, window);
}

TEST_F(PlayerTest, SecondLaunchHandsItsFaceToTheRunningPlayerAndEnds) {
    xcb_window_t window = 0;
    auto first = startShowing({sample(1)}, &PanelLook::chestnutHair, window);
    ASSERT_NE(window, 0u);

    auto second = launch({sample(2)});
    const std::optional<int> code = second->waitExit();
    ASSERT_TRUE(code.has_value()) << second->log();
    EXPECT_EQ(*code, 0) << second->log();
    EXPECT_EQ(m_pScreen->findWindow(kCaption), window) << "a second player window appeared";

    const auto [ok, look] = waitForLook(window, &PanelLook::blackHair);
    EXPECT_TRUE(ok) << look << "\n" << first->log();
    closeAndExpectCleanEnd(*first, window);
}

TEST_F(PlayerTest, SecondLaunchReturnsOnlyOnceTheRunningPlayerHasLoaded) {
    xcb_window_t window = 0;
    auto first = startShowing({sample(1)}, &PanelLook::chestnutHair, window);
    ASSERT_NE(window, 0u);

    // The server holds the face back for 3 s: the second launch must wait all that time.
    const auto start = Clock::now();
    auto second = launch({url("/slow/3000/sample-2.mf")});
    const std::optional<int> code = second->waitExit();
    const auto waited = Clock::now() - start;
    ASSERT_TRUE(code.has_value()) << second->log();
    EXPECT_EQ(*code, 0) << second->log();
    EXPECT_GE(waited, 3s) << "the second launch returned before the load was done";

    const auto [ok, look] = waitForLook(window, &PanelLook::blackHair);
    EXPECT_TRUE(ok) << look << "\n" << first->log();
    closeAndExpectCleanEnd(*first, window);
}

TEST_F(PlayerTest, SecondLaunchWithoutLocationOnlyRaisesTheRunningPlayer) {
    xcb_window_t window = 0;
    auto first = startShowing({sample(1)}, &PanelLook::chestnutHair, window);
    ASSERT_NE(window, 0u);

    const xcb_window_t cover = m_pScreen->cover(m_pScreen->geometry(window));
    ASSERT_NE(cover, 0u);
    ASSERT_EQ(m_pScreen->topmost(), cover);

    auto second = launch({});
    const std::optional<int> code = second->waitExit();
    ASSERT_TRUE(code.has_value()) << second->log();
    EXPECT_EQ(*code, 0) << second->log();
    EXPECT_TRUE(pollUntil([&] { return m_pScreen->topmost() == window; }))
        << "the running player was not raised";

    // Nothing was loaded: the same face goes on.
    const auto [ok, look] = waitForLook(window, &PanelLook::chestnutHair);
    EXPECT_TRUE(ok) << look << "\n" << first->log();
    EXPECT_EQ(first->log().find("Could not load"), std::string::npos) << first->log();
    closeAndExpectCleanEnd(*first, window);
}

TEST_F(PlayerTest, ToneInTheSoundOutputOpensTheMouth) {
    xcb_window_t window = 0;
    auto player = startShowing({sample(1)}, &PanelLook::chestnutHair, window);
    ASSERT_NE(window, 0u);

    // In silence the lips stay closed: note the most dark mouth the sway ever shows.
    int nSilent = 0;
    for (int i = 0; i < 12; ++i) {
        nSilent = std::max(nSilent, Look(panel(window)).nMouthDark);
        std::this_thread::sleep_for(150ms);
    }

    // A loud tone, well above the loud threshold (22,000 of 32,767): the mouth opens wide.
    std::unique_ptr<TonePlayer> tone;
    try {
        tone = std::make_unique<TonePlayer>(0.95f);
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    PanelLook look;
    const bool opened = pollUntil(
        [&] {
            look = Look(panel(window));
            return look.nMouthDark > std::max(3 * nSilent, nSilent + 150);
        },
        30s);
    tone->stop();
    EXPECT_TRUE(opened) << "silent " << nSilent << ", with the tone " << look << "\n"
                        << player->log();
    closeAndExpectCleanEnd(*player, window);
}

TEST_F(PlayerTest, ClosingTheWindowEndsTheProcessWithExitCodeZero) {
    // Without a face too: nothing is shown, and the close still ends the player cleanly.
    auto player = launch({});
    const xcb_window_t window = waitForWindow(*player);
    ASSERT_NE(window, 0u) << player->log();
    closeAndExpectCleanEnd(*player, window);
    EXPECT_EQ(m_pScreen->findWindow(kCaption), 0u);
}

} // namespace
