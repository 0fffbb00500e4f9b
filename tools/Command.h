#pragma once
// The subcommands of mimlet-face. Each lives in a file of its own and registers itself with
// a static CommandRegistration, so main() only dispatches.

#include <string>
#include <vector>

struct Command {
    std::string name;
    std::string usage; // one line, after "mimlet-face "
    // Runs with the arguments after the command's name; returns the exit status.
    int (*run)(const std::vector<std::string>& args) = nullptr;
};

const std::vector<Command>& Commands();

struct CommandRegistration {
    explicit CommandRegistration(Command command);
};

// Exit statuses shared by the commands.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
