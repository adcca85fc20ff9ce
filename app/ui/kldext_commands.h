// The container commands of the main window: New KLDExt (its dialog), the export region's Show,
// Copy and Paste in the overview, Repair and Change Background; the view each container document
// gets; and the facts about containers that the command table reads.
#pragma once

#include "commands.h"

class CMyDoc;
class CMyView;
class CPictorApp;
class QWidget;

// The overview or the region view, as the document was opened; null for other documents.
CMyView* MakeContainerView(CMyDoc& document, CPictorApp& app);
// Runs `command` when it is a container command for `view` (null without one); false otherwise.
bool RunContainerCommand(Command command, CMyView* view, CPictorApp& app, QWidget* window);
void AddContainerFacts(CommandFacts& facts, const CMyView* view);
