// "Next Level" and "Level 0" ... "Level 6": reading a QVT document on down from the level it
// rests at, as a job of the document.
#pragma once

#include "commands.h"
#include "pictor_app.h"

#include <optional>

// The level facts of any document (the defaults for documents without levels).
LevelFacts LevelFactsOf(const CMyDoc& document);

// The level a level command reads to from `target`: the next finer one, or the item's own;
// nothing for other commands.
std::optional<int> LevelOfCommand(Command command, int target);

// Runs the level command for the document when its rule allows it there.
void RunLevelCommand(CPictorApp& app, CMyDoc& document, Command command);
