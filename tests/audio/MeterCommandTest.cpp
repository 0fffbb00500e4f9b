// mimlet-face meter, run as a user runs it: against a private sound server and against none.

#include "PulseServer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct MeterRun {
    int status = -1;
    std::vector<std::string> lines; // stdout and stderr together
};

MeterRun runMeter(const std::string& server, const std::string& args) {
    const std::string command = "PULSE_SERVER='" + server +
                                "' " MIMLET_BINARY_DIR "/bin/mimlet-face meter " + args + " 2>&1";
    MeterRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text = line;
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        run.lines.push_back(text);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(MeterCommandTest, PrintsAReadingAndABarEvery41ms) {
    PulseServer server;
    const MeterRun run = runMeter(server.address(), "--seconds 1");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.lines.size(), 1000u / 41); // 24 readings in one second
    const std::regex reading(R"(^ *\d+ #*$)");
    for (const std::string& line : run.lines) {
        EXPECT_TRUE(std::regex_match(line, reading)) << line;
    }
}

TEST(MeterCommandTest, SaysSoWhenNoServerAnswers) {
    TempDir dir;
    const MeterRun run = runMeter("unix:" + dir.path() + "/none/native", "--seconds 1");
    EXPECT_NE(run.status, 0);
    ASSERT_FALSE(run.lines.empty());
    bool saysNoServer = false;
    for (const std::string& line : run.lines) {
        saysNoServer = saysNoServer || line.find("no sound server answered") != std::string::npos;
    }
    EXPECT_TRUE(saysNoServer);
}

TEST(MeterCommandTest, RejectsABadDuration) {
    TempDir dir;
    for (const char* args :
         {"--seconds", "--seconds 0", "--seconds -3", "--seconds 1x", "--minutes 1"}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(runMeter("unix:" + dir.path() + "/none/native", args).status, 2);
    }
}

} // namespace
