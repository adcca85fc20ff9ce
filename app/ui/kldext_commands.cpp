#include "kldext_commands.h"

#include "kldext_dialog.h"
#include "kldext_overview.h"
#include "kldext_view.h"
#include "pictor_app.h"

CMyView* MakeContainerView(CMyDoc& document, CPictorApp& app) {
    if (document.Kind() != DocumentKind::KLDExt) return nullptr;
    auto& container = static_cast<CKLDExtDoc&>(document);
    if (container.Overview()) return new CKLDExtOverview(container, app);
    return new CKLDExtView(container, app);
}

bool RunContainerCommand(Command command, CMyView* view, CPictorApp& app, QWidget* window) {
    auto* overview = qobject_cast<CKLDExtOverview*>(view);
    CKLDExtDoc* container = view && view->Document().Kind() == DocumentKind::KLDExt
                                ? static_cast<CKLDExtDoc*>(&view->Document())
                                : nullptr;
    switch (command) {
    case Command::NewKLDExt: {
        CKLDExtDlg dialog(app.Services(), window);
        if (dialog.exec() == QDialog::Accepted) app.NewKLDExt(dialog.Fields());
        return true;
    }
    case Command::Copy:
        if (!overview) return false;
        overview->CopyRegion();
        return true;
    case Command::ShowExportRegion:
        if (overview) overview->ShowRegion();
        return true;
    case Command::ExportRegion:
        if (overview) overview->ExportRegion();
        return true;
    case Command::Paste:
        if (overview) overview->Paste();
        return true;
    case Command::Repair:
        if (container) app.RunDocumentJob(*container, container->RepairJob());
        return true;
    case Command::ContainerBackground:
        if (container)
            if (const auto color = app.Services().AskColor(container->BackgroundColor()))
                container->ChangeBackground(*color);
        return true;
    default:
        return false;
    }
}

void AddContainerFacts(CommandFacts& facts, const CMyView* view) {
    if (!view || !facts.document || view->Document().Kind() != DocumentKind::KLDExt) return;
    facts.document->container = true;
    facts.document->readOnly = static_cast<const CKLDExtDoc&>(view->Document()).ReadOnly();
}
