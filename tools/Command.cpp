#include "Command.h"

#include <utility>

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> s_commands;
    return s_commands;
}
} // namespace

const std::vector<Command>& Commands() {
    return registry();
}

CommandRegistration::CommandRegistration(Command command) {
    registry().push_back(std::move(command));
}
