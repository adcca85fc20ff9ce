#include "level_commands.h"

#include "qvt_document.h"

LevelFacts LevelFactsOf(const CMyDoc& document) {
    const auto* qvt = dynamic_cast<const CQVTDoc*>(&document);
    return qvt ? qvt->Levels() : LevelFacts{};
}

std::optional<int> LevelOfCommand(Command command, int target) {
    if (command == Command::NextLevel) return target - 1;
    const int item = static_cast<int>(command) - static_cast<int>(Command::Level0);
    if (item >= 0 && item <= 6) return item;
    return std::nullopt;
}

void RunLevelCommand(CPictorApp& app, CMyDoc& document, Command command) {
    auto* qvt = dynamic_cast<CQVTDoc*>(&document);
    if (!qvt) return;
    CommandFacts facts;
    facts.document = DocumentFacts{};
    facts.document->busy = app.IsBusy(document);
    facts.document->levels = qvt->Levels();
    const auto level = LevelOfCommand(command, qvt->TargetLevel());
    if (!level || !StateOf(EvaluateCommands(facts), command).enabled) return;
    app.RunDocumentJob(*qvt, qvt->ReadLevelJob(*level));
}
