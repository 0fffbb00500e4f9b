// mimlet-face: the player's command-line companion.

#include "Command.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void printUsage(FILE* out) {
    std::fprintf(out, "usage:\n");
    for (const Command& command : Commands()) {
        std::fprintf(out, "  mimlet-face %s\n", command.usage.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        printUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? kExitUsage : kExitOk;
    }
    const std::string name = argv[1];
    for (const Command& command : Commands()) {
        if (command.name == name) {
            return command.run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "mimlet-face: unknown command '%s'\n", name.c_str());
    printUsage(stderr);
    return kExitUsage;
}
