// The "kle" subcommands of pictor-cli: creating, writing, reading, repairing and reorganizing
// container files.
#pragma once

#include "commands.h"

#include <vector>

std::vector<Command> ContainerCommands();
