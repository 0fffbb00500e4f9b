// Loading a face from a location: local paths, file: URLs and a real HTTP server on
// 127.0.0.1. What reaches the face buffer, what is refused, which message is shown, and that
// a refused load never touches the buffer.

#include "FaceLoader.h"
#include "FaceBytes.h"
#include "FaceCheck.h"
#include "HttpServer.h"
#include "TempDir.h"
#include "ToolRun.h"
#include "sys/MessageBox.h"
#include "url/UrlOpener.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kVersionMessage = "You need upgrade your Mimlet Player to load this file.";
constexpr uint8_t kUntouched = 0xA5; // what the face buffer holds before each test
constexpr size_t kHugeBytes = 50u * 1024 * 1024;

std::vector<uint8_t> goodFace() {
    return MakeFaceBytes(SmallFaceSpec());
}

// A good face followed by filler bytes (not zeros, so that a cut in the wrong place shows).
std::vector<uint8_t> goodFacePaddedTo(size_t size) {
    std::vector<uint8_t> bytes = goodFace();
    for (size_t i = bytes.size(); i < size; ++i) {
        bytes.push_back(static_cast<uint8_t>(i % 251 + 1));
    }
    return bytes;
}

std::vector<uint8_t> goodFaceWith(size_t offset, uint8_t value) {
    std::vector<uint8_t> bytes = goodFace();
    bytes[offset] = value;
    return bytes;
}

// Every file the tests load, by name; each is on disk and served over HTTP.
std::map<std::string, std::vector<uint8_t>> testFiles() {
    std::vector<uint8_t> lower = goodFace();
    lower[0] = 'm';
    lower[1] = 'f';
    std::vector<uint8_t> truncated = goodFace();
    truncated.pop_back();
    return {
        {"good.mf", goodFace()},
        {"good face.mf", goodFace()},
        {"exact.mf", goodFacePaddedTo(kFaceReadLimit)},
        {"long.mf", goodFacePaddedTo(100000)},
        {"empty.mf", {}},
        {"one.mf", {'M'}},
        {"two.mf", {'M', 'F'}},
        {"lower.mf", lower},
        {"v100.mf", goodFaceWith(2, 100)},
        {"v101.mf", goodFaceWith(2, 101)},
        {"v255.mf", goodFaceWith(2, 255)},
        {"truncated.mf", truncated},
    };
}

// One server and one folder of files for the whole binary; torn down at the end even when
// tests fail.
class LoaderEnvironment : public testing::Environment {
public:
    void SetUp() override {
        // Nothing of the tests' traffic may go through a proxy of the machine.
        ::setenv("no_proxy", "*", 1);
        ::setenv("NO_PROXY", "*", 1);
        s_pDir = std::make_unique<TempDir>();
        for (const auto& [name, bytes] : testFiles()) {
            s_pDir->writeFile(name, bytes);
        }
        s_pDir->writeFile("with space/good face.mf", goodFace());
        s_pDir->writeFile("with space/long.mf", goodFacePaddedTo(100000));
        s_pServer = std::make_unique<HttpServer>(s_pDir->path());
    }
    void TearDown() override {
        s_pServer.reset();
        s_pDir.reset();
    }

    static std::unique_ptr<TempDir> s_pDir;
    static std::unique_ptr<HttpServer> s_pServer;
};

std::unique_ptr<TempDir> LoaderEnvironment::s_pDir;
std::unique_ptr<HttpServer> LoaderEnvironment::s_pServer;
testing::Environment* const s_pEnvironment =
    testing::AddGlobalTestEnvironment(new LoaderEnvironment);

std::string dir() {
    return LoaderEnvironment::s_pDir->path();
}
std::string http(const std::string& path) {
    return LoaderEnvironment::s_pServer->url(path);
}

class FaceLoaderTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LoaderEnvironment::s_pServer->ok()) << "the test HTTP server did not start";
        m_previousSink =
            sys::setMessageSink([this](const std::string& text) { m_messages.push_back(text); });
        m_buffer.assign(kFaceBufferBytes, kUntouched);
    }
    void TearDown() override { sys::setMessageSink(m_previousSink); }

    FaceLoadResult load(const std::string& location) {
        return LoadFaceLocation(location, m_buffer.data());
    }

    // The buffer starts with the first n bytes of `file` and holds `rest` from there on.
    void expectBufferHolds(const std::vector<uint8_t>& file, size_t n,
                           const std::vector<uint8_t>& rest) {
        ASSERT_LE(n, file.size());
        ASSERT_EQ(rest.size(), kFaceBufferBytes);
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + n, m_buffer.begin()))
            << "the file's bytes did not reach the buffer";
        EXPECT_TRUE(std::equal(rest.begin() + n, rest.end(), m_buffer.begin() + n))
            << "the buffer changed after the bytes read";
    }

    std::vector<uint8_t> untouched() const {
        return std::vector<uint8_t>(kFaceBufferBytes, kUntouched);
    }

    std::vector<uint8_t> m_buffer; // the face buffer, kFaceBufferBytes bytes
    std::vector<std::string> m_messages;
    sys::MessageSink m_previousSink;
};

struct LoadCase {
    const char* name;
    std::function<std::string()> location;
    const char* file; // the file behind the location; nullptr when there is none
    bool accepted;
    size_t nBytesRead;   // the count the loader reports
    bool versionMessage; // the load shows the version message (once)
};

void PrintTo(const LoadCase& c, std::ostream* os) {
    *os << c.name;
}

std::string local(const char* name) {
    return dir() + "/" + name;
}
std::string fileUrl(const char* name) {
    return "file://" + local(name);
}
std::string served(const char* name) {
    return http(std::string("/files/") + name);
}

class LoadLocation : public FaceLoaderTest, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadLocation, FillsBufferOnlyWhenAccepted) {
    const LoadCase& c = GetParam();
    const std::string location = c.location();
    const FaceLoadResult result = load(location);

    EXPECT_EQ(result.accepted, c.accepted) << location << ": " << result.reason;
    EXPECT_EQ(result.nBytesRead, c.nBytesRead) << location << ": " << result.reason;
    EXPECT_EQ(result.reason.empty(), c.accepted) << result.reason;
    const std::vector<std::string> expectedMessages =
        c.versionMessage ? std::vector<std::string>{kVersionMessage} : std::vector<std::string>{};
    EXPECT_EQ(m_messages, expectedMessages);
    if (c.accepted) {
        expectBufferHolds(testFiles().at(c.file), c.nBytesRead, untouched());
    } else {
        EXPECT_EQ(m_buffer, untouched()) << "a refused load changed the face buffer";
    }
}

const size_t kGoodBytes = MakeFaceBytes(SmallFaceSpec()).size();

INSTANTIATE_TEST_SUITE_P(
    Accepted, LoadLocation,
    testing::Values(
        LoadCase{"Http", [] { return served("good.mf"); }, "good.mf", true, kGoodBytes, false},
        LoadCase{"FileUrl", [] { return fileUrl("good.mf"); }, "good.mf", true, kGoodBytes, false},
        LoadCase{"LocalPathWithoutSpace", [] { return local("good.mf"); }, "good.mf", true,
                 kGoodBytes, false},
        LoadCase{"LocalPathWithSpace", [] { return local("with space/good face.mf"); },
                 "good face.mf", true, kGoodBytes, false},
        LoadCase{"HttpRedirected", [] { return http("/redirect/good.mf"); }, "good.mf", true,
                 kGoodBytes, false},
        LoadCase{"HttpExactlyTheLimit", [] { return served("exact.mf"); }, "exact.mf", true,
                 kFaceReadLimit, false},
        LoadCase{"LocalExactlyTheLimit", [] { return local("exact.mf"); }, "exact.mf", true,
                 kFaceReadLimit, false},
        LoadCase{"HttpLongerThanTheLimit", [] { return served("long.mf"); }, "long.mf", true,
                 kFaceReadLimit, false},
        LoadCase{"FileUrlLongerThanTheLimit", [] { return fileUrl("long.mf"); }, "long.mf", true,
                 kFaceReadLimit, false},
        LoadCase{"LocalWithSpaceLongerThanTheLimit", [] { return local("with space/long.mf"); },
                 "long.mf", true, kFaceReadLimit, false},
        LoadCase{"HttpVersion100", [] { return served("v100.mf"); }, "v100.mf", true, kGoodBytes,
                 false},
        LoadCase{"LocalVersion100", [] { return local("v100.mf"); }, "v100.mf", true, kGoodBytes,
                 false}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    RefusedByContents, LoadLocation,
    testing::Values(
        LoadCase{"HttpEmpty", [] { return served("empty.mf"); }, nullptr, false, 0, false},
        LoadCase{"HttpOneByte", [] { return served("one.mf"); }, nullptr, false, 1, false},
        LoadCase{"HttpTwoBytes", [] { return served("two.mf"); }, nullptr, false, 2, false},
        LoadCase{"LocalEmpty", [] { return local("empty.mf"); }, nullptr, false, 0, false},
        LoadCase{"LocalTwoBytes", [] { return local("two.mf"); }, nullptr, false, 2, false},
        LoadCase{"LowerCaseMagic", [] { return served("lower.mf"); }, nullptr, false, kGoodBytes,
                 false},
        LoadCase{"HttpVersion101", [] { return served("v101.mf"); }, nullptr, false, kGoodBytes,
                 true},
        LoadCase{"LocalVersion101", [] { return local("v101.mf"); }, nullptr, false, kGoodBytes,
                 true},
        LoadCase{"Version255", [] { return fileUrl("v255.mf"); }, nullptr, false, kGoodBytes, true},
        LoadCase{"TruncatedFace", [] { return served("truncated.mf"); }, nullptr, false,
                 kGoodBytes - 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Each of these would be a good face if the body or the local file were taken as it came.
INSTANTIATE_TEST_SUITE_P(
    NotOpened, LoadLocation,
    testing::Values(
        LoadCase{"Http404", [] { return http("/status/404/good.mf"); }, nullptr, false, 0, false},
        LoadCase{"Http500", [] { return http("/status/500/good.mf"); }, nullptr, false, 0, false},
        LoadCase{"HttpMissingFile", [] { return served("missing.mf"); }, nullptr, false, 0, false},
        // The space sends it down the local route, where no such file exists.
        LoadCase{"UrlWithSpace", [] { return served("good face.mf"); }, nullptr, false, 0, false},
        LoadCase{"RedirectLoop", [] { return http("/loop"); }, nullptr, false, 0, false},
        LoadCase{"RedirectToLocalFile", [] { return http("/redirect-to?" + fileUrl("good.mf")); },
                 nullptr, false, 0, false},
        LoadCase{"RefusedConnection",
                 [] {
                     return "http://127.0.0.1:" + std::to_string(UnusedLocalPort()) +
                            "/files/good.mf";
                 },
                 nullptr, false, 0, false},
        LoadCase{"UnsupportedScheme",
                 [] {
                     return "dict://127.0.0.1:" +
                            std::to_string(LoaderEnvironment::s_pServer->port()) + "/good";
                 },
                 nullptr, false, 0, false},
        LoadCase{"MissingLocalFile", [] { return local("missing.mf"); }, nullptr, false, 0, false},
        LoadCase{"MissingLocalFileWithSpace", [] { return local("with space/missing.mf"); },
                 nullptr, false, 0, false},
        LoadCase{"LocalFolder", [] { return dir(); }, nullptr, false, 0, false},
        LoadCase{"EmptyLocation", [] { return std::string(); }, nullptr, false, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A transfer that breaks off before its announced end delivered a whole face, yet is no file.
TEST_F(FaceLoaderTest, TransferCutShortIsRefused) {
    const FaceLoadResult result = load(http("/cut/good.mf"));
    EXPECT_FALSE(result.accepted);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_buffer, untouched());
}

// A file URL names a local file and is read by the same rules as a local path: a regular
// file of this machine, percent-escapes decoded. A named pipe must be refused at once, not
// waited on: a guard thread plays the writer only if the load hangs in it, which turns a
// hang into a load that opened the pipe.
TEST_F(FaceLoaderTest, FileUrlIsReadLikeALocalPath) {
    const std::string pipe = dir() + "/pipe.mf";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);

    struct Case {
        std::string location;
        bool opened;
        bool accepted;
    };
    const Case cases[] = {
        {"file://" + pipe, false, false},
        {"file://" + dir() + "/", false, false},
        {"file://" + dir() + "/with%20space/good%20face.mf", true, true},
        {"FILE://localhost" + local("good.mf"), true, true},
        {"file:" + local("good.mf"), true, true},
        {"file://elsewhere.invalid" + local("good.mf"), false, false},
        {"file://" + local("good.mf") + "%00.txt", false, false},
    };
    for (const Case& c : cases) {
        m_buffer = untouched();
        std::atomic<bool> bDone = false;
        std::thread guard([&] {
            for (int i = 0; i < 200 && !bDone; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            while (!bDone) {
                const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
        const FaceLoadResult result = load(c.location);
        bDone = true;
        guard.join();
        EXPECT_EQ(result.opened, c.opened) << c.location << ": " << result.reason;
        EXPECT_EQ(result.accepted, c.accepted) << c.location << ": " << result.reason;
        if (!c.accepted) {
            EXPECT_EQ(m_buffer, untouched()) << c.location;
        }
    }
    EXPECT_TRUE(m_messages.empty());
    ::unlink(pipe.c_str());
}

TEST_F(FaceLoaderTest, StopsHugeDownloadAtTheLimit) {
    const FaceLoadResult result = load(http("/huge/good.mf"));
    ASSERT_TRUE(result.accepted) << result.reason;
    EXPECT_EQ(result.nBytesRead, kFaceReadLimit);
    // The server sends the face and then zeros.
    std::vector<uint8_t> head = goodFace();
    head.resize(kFaceReadLimit, 0);
    expectBufferHolds(head, kFaceReadLimit, untouched());

    // The server counts what it handed to its socket before the client went away.
    std::vector<uint8_t> text(32, 0);
    const net::ReadResult sent = net::readUrlStart(http("/huge-sent"), text.data(), text.size());
    ASSERT_TRUE(sent.ok) << sent.error;
    const size_t nSent = std::stoul(std::string(text.begin(), text.begin() + sent.nBytes));
    // What the client never read stays in the two sockets' buffers, a few MB at most.
    EXPECT_LT(nSent, kHugeBytes / 5) << "the client did not stop the transfer";
}

TEST_F(FaceLoaderTest, SilentServerFailsByTheTimeouts) {
    net::Timeouts shortened;
    shortened.connectSeconds = 1;
    shortened.lowSpeedSeconds = 1;
    const net::Timeouts previous = net::setTimeouts(shortened);
    const FaceLoadResult result = load(http("/silent"));
    net::setTimeouts(previous);

    EXPECT_FALSE(result.accepted);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_buffer, untouched());
}

// The buffer keeps the last accepted file: a shorter one overwrites only its own length, and
// refused loads leave everything as it was.
TEST_F(FaceLoaderTest, BufferKeepsLastAcceptedFile) {
    const std::vector<uint8_t> longer = goodFacePaddedTo(100000);
    ASSERT_TRUE(load(local("long.mf")).accepted);
    std::vector<uint8_t> expected = untouched();
    std::copy(longer.begin(), longer.begin() + kFaceReadLimit, expected.begin());
    EXPECT_EQ(m_buffer, expected);

    const std::vector<uint8_t> shorter = goodFaceWith(5, 7); // differs from the longer one
    LoaderEnvironment::s_pDir->writeFile("shorter.mf", shorter);
    ASSERT_TRUE(load(http("/files/shorter.mf")).accepted);
    std::copy(shorter.begin(), shorter.end(), expected.begin());
    EXPECT_EQ(m_buffer, expected) << "the longer file's tail did not survive";

    for (const std::string& location :
         {served("v101.mf"), served("two.mf"), http("/status/404/good.mf"), served("lower.mf"),
          served("truncated.mf"), local("missing.mf")}) {
        EXPECT_FALSE(load(location).accepted) << location;
        EXPECT_EQ(m_buffer, expected) << location << " changed the buffer";
    }
}

// The bytes read reach a caller that asks for them, accepted or not; a failed open reads none.
TEST_F(FaceLoaderTest, HandsOverTheBytesRead) {
    const std::vector<uint8_t> refusedFile = testFiles().at("v101.mf");
    std::vector<uint8_t> bytes;
    FaceLoadResult result = LoadFaceLocation(served("v101.mf"), m_buffer.data(), &bytes);
    EXPECT_FALSE(result.accepted);
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(bytes, refusedFile);
    EXPECT_EQ(m_buffer, untouched());

    bytes.clear();
    result = LoadFaceLocation(http("/status/404/good.mf"), m_buffer.data(), &bytes);
    EXPECT_FALSE(result.opened);
    EXPECT_TRUE(bytes.empty());
}

// Loads on several threads at once, each into its own buffer, all succeed.
TEST_F(FaceLoaderTest, LoadsConcurrently) {
    std::vector<std::vector<uint8_t>> buffers(4, std::vector<uint8_t>(kFaceBufferBytes));
    std::vector<FaceLoadResult> results(buffers.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < buffers.size(); ++i) {
        threads.emplace_back([&, i] {
            results[i] =
                LoadFaceLocation(i % 2 ? served("long.mf") : fileUrl("good.mf"), buffers[i].data());
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const FaceLoadResult& result : results) {
        EXPECT_TRUE(result.accepted) << result.reason;
    }
}

// mimlet-face info reads a URL as the player does, so a user can see why it does not load.
TEST_F(FaceLoaderTest, InfoCommandReadsUrls) {
    ToolRun run = RunMimletFace({"info", served("long.mf"), "--json"});
    EXPECT_EQ(run.nStatus, 0) << run.strErr;
    EXPECT_NE(run.strOut.find("\"bytes\": 79999, \"accepted\": true"), std::string::npos)
        << run.strOut;

    run = RunMimletFace({"info", served("truncated.mf")});
    EXPECT_EQ(run.nStatus, 1) << run.strErr;
    EXPECT_NE(run.strOut.find("accepted: no (truncated"), std::string::npos) << run.strOut;

    // An HTTP error is no file: the tool cannot read it and says what the server answered.
    run = RunMimletFace({"info", http("/status/404/good.mf")});
    EXPECT_EQ(run.nStatus, 2);
    EXPECT_EQ(run.strOut, "");
    EXPECT_NE(run.strErr.find("404"), std::string::npos) << run.strErr;
}

} // namespace
