#pragma once
// Runs the built mimlet-face as a user runs it, for tests: a separate process whose output
// is captured.

#include <string>
#include <vector>

struct ToolRun {
    int nStatus = -1; // exit status; -1 when it did not start or did not exit normally
    std::string strOut;
    std::string strErr;
};

// Runs <build>/bin/mimlet-face with `args` and waits for it.
ToolRun RunMimletFace(const std::vector<std::string>& args);
