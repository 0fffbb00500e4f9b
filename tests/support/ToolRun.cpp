#include "ToolRun.h"

#include "TempDir.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

extern char** environ;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

ToolRun RunMimletFace(const std::vector<std::string>& args) {
    const TempDir outputs;
    const std::string tool = std::string(MIMLET_BINARY_DIR) + "/bin/mimlet-face";
    const std::string outPath = outputs.path() + "/stdout.txt";
    const std::string errPath = outputs.path() + "/stderr.txt";
    std::vector<char*> argv = {const_cast<char*>(tool.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    // Standard output and error go to files, so a long output cannot fill a pipe and stall.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    const int nSpawn = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ToolRun run;
    if (nSpawn != 0) {
        run.strErr = "cannot start " + tool;
        return run;
    }
    int nWait = 0;
    ::waitpid(pid, &nWait, 0);
    run.nStatus = WIFEXITED(nWait) ? WEXITSTATUS(nWait) : -1;
    run.strOut = slurp(outPath);
    run.strErr = slurp(errPath);
    return run;
}
