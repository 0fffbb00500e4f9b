// One running player: hand-off from a second launch, stale sockets, simultaneous launches,
// malformed messages and the private runtime folder.

#include "instance/SingleInstance.h"

#include "TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kCaption = "ZORVAN - Mimlet Player";

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "test-instance";
    static char* argv[] = {name, nullptr};
    static QCoreApplication s_app(argc, argv);
    return s_app;
}

// Keeps the event loop of this thread running until `done` holds (or 10 s went by).
void pumpUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// Runs a second launch on a thread of its own while this thread serves the running one.
instance::Role launchSecond(const std::string& folder, const std::string& location) {
    std::atomic<bool> finished = false;
    instance::Role role = instance::Role::Failed;
    std::thread second([&] {
        instance::Instance other(kCaption, folder);
        role = other.claim(location);
        finished = true;
    });
    pumpUntil([&] { return finished.load(); });
    second.join();
    return role;
}

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override { app(); }
    TempDir m_dir;
};

TEST_F(InstanceTest, SecondLaunchReturnsOnlyAfterTheHandlerHasRun) {
    instance::Instance running(kCaption, m_dir.path());
    ASSERT_EQ(running.claim(""), instance::Role::Running);

    std::vector<std::string> received;
    std::atomic<bool> handlerReturned = false;
    running.setHandler([&](const std::string& location) {
        // A handler that runs a nested loop, as a load with a message box does.
        QEventLoop nested;
        QTimer::singleShot(100, &nested, &QEventLoop::quit);
        nested.exec();
        received.push_back(location);
        handlerReturned = true;
    });

    std::atomic<bool> returnedAfterHandler = false;
    std::atomic<bool> finished = false;
    instance::Role role = instance::Role::Failed;
    std::thread second([&] {
        instance::Instance other(kCaption, m_dir.path());
        role = other.claim("/tmp/a face.mf");
        returnedAfterHandler = handlerReturned.load();
        finished = true;
    });
    pumpUntil([&] { return finished.load(); });
    second.join();

    EXPECT_EQ(role, instance::Role::HandedOver);
    EXPECT_TRUE(returnedAfterHandler);
    EXPECT_EQ(received, std::vector<std::string>{"/tmp/a face.mf"});
}

TEST_F(InstanceTest, LocationsArriveExactly) {
    instance::Instance running(kCaption, m_dir.path());
    ASSERT_EQ(running.claim(""), instance::Role::Running);
    std::vector<std::string> received;
    running.setHandler([&](const std::string& location) { received.push_back(location); });

    const std::vector<std::string> locations = {
        "",                                 // only raise the window
        "\"/home/u/my faces/x.mf\"  ",      // quotes and trailing blanks stay
        "/tmp/\xc3\xa9t\xc3\xa9/visage.mf", // UTF-8
        std::string(instance::kMaxLocationBytes, 'a'),
    };
    for (const auto& location : locations) {
        EXPECT_EQ(launchSecond(m_dir.path(), location), instance::Role::HandedOver);
    }
    EXPECT_EQ(received, locations);
}

TEST_F(InstanceTest, OverLongLocationIsNotSent) {
    instance::Instance running(kCaption, m_dir.path());
    ASSERT_EQ(running.claim(""), instance::Role::Running);
    int nCalls = 0;
    running.setHandler([&](const std::string&) { ++nCalls; });

    EXPECT_EQ(launchSecond(m_dir.path(), std::string(instance::kMaxLocationBytes + 1, 'a')),
              instance::Role::Failed);
    QCoreApplication::processEvents();
    EXPECT_EQ(nCalls, 0);
}

TEST_F(InstanceTest, StaleSocketIsReplaced) {
    // A socket file whose listener is gone, as a crashed player leaves it.
    instance::Instance probe(kCaption, m_dir.path());
    const std::string path = probe.socketPath();
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_EQ(::access(path.c_str(), F_OK), 0);

    instance::Instance running(kCaption, m_dir.path());
    ASSERT_EQ(running.claim(""), instance::Role::Running) << running.error();
    std::string received = "-";
    running.setHandler([&](const std::string& location) { received = location; });
    EXPECT_EQ(launchSecond(m_dir.path(), "x.mf"), instance::Role::HandedOver);
    EXPECT_EQ(received, "x.mf");
}

TEST_F(InstanceTest, SocketAndFolderAreForThisUserOnly) {
    instance::Instance running(kCaption, m_dir.path() + "/run");
    ASSERT_EQ(running.claim(""), instance::Role::Running);
    struct stat st {};
    ASSERT_EQ(::stat((m_dir.path() + "/run").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(running.socketPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_NE(running.socketPath().find(std::to_string(::getuid())), std::string::npos);
}

TEST_F(InstanceTest, RuntimeFolderMustBePrivate) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> prepare;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"missing: created", [](const std::string&) {}, true},
        {"mode 0700", [](const std::string& p) { ::mkdir(p.c_str(), 0700); }, true},
        {"mode 0755",
         [](const std::string& p) { ::mkdir(p.c_str(), 0700), ::chmod(p.c_str(), 0755); }, false},
        {"a file", [](const std::string& p) { std::fclose(std::fopen(p.c_str(), "w")); }, false},
        {"a link to a private folder",
         [this](const std::string& p) {
             ::mkdir((m_dir.path() + "/real").c_str(), 0700);
             ::symlink((m_dir.path() + "/real").c_str(), p.c_str());
         },
         false},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = m_dir.path() + "/case" + std::to_string(n++);
        c.prepare(path);
        const auto problem = instance::checkPrivateDirectory(path);
        EXPECT_EQ(!problem.has_value(), c.accepted) << c.name;
        if (c.accepted) {
            struct stat st {};
            ASSERT_EQ(::lstat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0700u) << c.name;
        }
    }

    // A running player is not set up in a folder that others can enter.
    const std::string open = m_dir.path() + "/open";
    ::mkdir(open.c_str(), 0700);
    ::chmod(open.c_str(), 0777);
    instance::Instance refused(kCaption, open);
    EXPECT_EQ(refused.claim(""), instance::Role::Alone);
}

TEST_F(InstanceTest, MalformedMessagesAreDroppedUnanswered) {
    instance::Instance running(kCaption, m_dir.path());
    ASSERT_EQ(running.claim(""), instance::Role::Running);
    int nCalls = 0;
    running.setHandler([&](const std::string&) { ++nCalls; });

    auto count = [](uint32_t n) {
        return instance::encodeLocation(std::string())
            .replace(0, 4, std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)});
    };
    struct Case {
        const char* name;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"count over the limit", count(instance::kMaxLocationBytes + 1) + "abc"},
        {"count far over the limit", count(0xFFFFFFFFu)},
        {"more bytes than counted", instance::encodeLocation("a.mf") + "junk"},
        {"not UTF-8", instance::encodeLocation("\xff\xfe.mf")},
        {"a NUL inside", instance::encodeLocation(std::string("a\0b.mf", 6))},
        {"cut short, then closed", instance::encodeLocation("a.mf").substr(0, 6)},
    };
    for (const auto& c : cases) {
        std::atomic<bool> finished = false;
        std::atomic<bool> answered = false;
        std::thread client([&] {
            QLocalSocket socket;
            socket.connectToServer(QString::fromStdString(running.socketPath()));
            if (socket.waitForConnected(5000)) {
                socket.write(c.bytes.data(), static_cast<qint64>(c.bytes.size()));
                socket.waitForBytesWritten(5000);
                if (std::string(c.name).rfind("cut short", 0) == 0) {
                    socket.disconnectFromServer();
                } else {
                    answered = socket.waitForReadyRead(5000) && socket.bytesAvailable() > 0;
                }
            }
            finished = true;
        });
        pumpUntil([&] { return finished.load(); });
        client.join();
        QCoreApplication::processEvents();
        EXPECT_FALSE(answered) << c.name;
        EXPECT_EQ(nCalls, 0) << c.name;
    }

    // The running player still takes a good hand-off afterwards.
    EXPECT_EQ(launchSecond(m_dir.path(), "good.mf"), instance::Role::HandedOver);
    EXPECT_EQ(nCalls, 1);
}

TEST_F(InstanceTest, SimultaneousLaunchesEndAsOneRunningAndHandOffs) {
    constexpr int kLaunches = 4;
    for (int round = 0; round < 3; ++round) {
        TempDir folder;
        std::vector<std::unique_ptr<QProcess>> launches;
        for (int i = 0; i < kLaunches; ++i) {
            auto p = std::make_unique<QProcess>();
            p->setProgram(MIMLET_BINARY_DIR "/bin/instance-probe");
            p->setArguments({QString::fromStdString(folder.path()), QString("face%1.mf").arg(i),
                             QString::number(kLaunches - 1)});
            launches.push_back(std::move(p));
        }
        for (auto& p : launches) {
            p->start();
        }
        int nRunning = 0;
        int nHandedOver = 0;
        int nReceived = 0;
        for (auto& p : launches) {
            ASSERT_TRUE(p->waitForFinished(30000));
            EXPECT_EQ(p->exitCode(), 0);
            const QString out = QString::fromUtf8(p->readAllStandardOutput());
            nRunning += out.contains("running") ? 1 : 0;
            nHandedOver += out.contains("handed-over") ? 1 : 0;
            nReceived += static_cast<int>(out.count("got face"));
        }
        EXPECT_EQ(nRunning, 1) << "round " << round;
        EXPECT_EQ(nHandedOver, kLaunches - 1) << "round " << round;
        EXPECT_EQ(nReceived, kLaunches - 1) << "round " << round;
    }
}

} // namespace
