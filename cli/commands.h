// The subcommands of pictor-cli. Each takes the arguments after its name and returns the exit
// status. Bad usage throws UsageError; a failure about another file than the command's first
// throws FileFailure naming it, other failures ImageFileError or IOException (reported as about
// the first file).
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
