// The subcommands of pictor-cli. Each takes the arguments after its name and returns the exit
// status; bad usage throws UsageError, failures ImageFileError.
#pragma once

#include "arguments.h"

#include <string>
#include <vector>

struct Command {
    const char* name;
    const char* usage;   // the synopsis after "pictor-cli "
    const char* summary; // one line for the overview
    const char* details; // the --help text after the synopsis
    std::set<std::string> valued;
    std::set<std::string> flagged;
    int (*run)(const Arguments& args);
};

const std::vector<Command>& Commands();
