#include "commands.h"

#include "image_mode.h"
#include "mode_commands.h"

namespace {

// Who a command needs: nothing, an idle document, or an idle document with its view.
enum class Scope { Application, Document, View };

struct CommandRule {
    Command command;
    Scope scope;
    bool (*document)(const DocumentFacts&) = nullptr;
    bool (*view)(const ViewFacts&) = nullptr;
    bool (*checked)(const CommandFacts&) = nullptr;
    bool (*application)(const CommandFacts&) = nullptr;
};

constexpr int ChannelOf(Command command) {
    return static_cast<int>(command) - static_cast<int>(Command::Channel1);
}

template <Command channel>
constexpr CommandRule ChannelRule() {
    return {channel, Scope::View,
            [](const DocumentFacts& d) {
                return d.channelCount > 1 && ChannelOf(channel) < d.channelCount;
            },
            nullptr,
            [](const CommandFacts& f) {
                return f.document && f.document->selectedChannel == ChannelOf(channel);
            }};
}

template <Command mode>
constexpr CommandRule ModeRule() {
    return {mode, Scope::Document, [](const DocumentFacts& d) {
                return !d.container && FindModeCommand(mode)->enabledFrom.Contains(d.mode);
            }};
}

bool HasImage(const DocumentFacts& d) { return d.hasImage; }
bool ShowsAlpha(const DocumentFacts& d) { return !d.container && d.displayMode == ModeARGB; }
bool EditableImage(const DocumentFacts& d) { return !d.container && d.hasImage; }
bool WritableContainer(const DocumentFacts& d) { return d.container && !d.readOnly; }

constexpr int LevelOf(Command command) {
    return static_cast<int>(command) - static_cast<int>(Command::Level0);
}

// Finer levels are read from the open file into an image that is still the file's own.
constexpr bool CanReadLevels(const LevelFacts& levels) {
    return levels.fileOpen && !levels.modified;
}

template <Command level>
constexpr CommandRule LevelRule() {
    return {level, Scope::Document,
            [](const DocumentFacts& d) {
                return CanReadLevels(d.levels) && d.levels.target > LevelOf(level);
            },
            nullptr,
            [](const CommandFacts& f) {
                return f.document && f.document->levels.levelled &&
                       f.document->levels.target == LevelOf(level);
            }};
}

// A new group takes the active window from a group that keeps others; groups all split one way.
bool CanSplitGroup(const TabGroupFacts& groups, bool vertical) {
    return groups.windowsInGroup > 1 && (groups.groups == 1 || groups.vertical == vertical);
}

const CommandRule kRules[] = {
    {Command::Open, Scope::Application},
    {Command::Close, Scope::Document},
    {Command::Save, Scope::Document, [](const DocumentFacts& d) { return d.hasImage; }},
    {Command::SaveAs, Scope::Document, [](const DocumentFacts& d) { return d.hasImage; }},
    {Command::SaveCopy, Scope::Document, [](const DocumentFacts& d) { return d.hasImage; }},
    {Command::Exit, Scope::Application},
    {Command::ZoomIn, Scope::View, nullptr, [](const ViewFacts& v) { return v.zoom < 32; }},
    {Command::ZoomOut, Scope::View, nullptr, [](const ViewFacts& v) { return v.zoom > 0.125; }},
    {Command::ZoomBox, Scope::View},
    {Command::Crop, Scope::View,
     [](const DocumentFacts& d) { return d.croppable && d.levels.target == 0; },
     [](const ViewFacts& v) { return v.hasImage; },
     [](const CommandFacts& f) { return f.view && f.view->cropping; }},
    {Command::GrayMatte, Scope::View, [](const DocumentFacts& d) { return d.mode == ModeARGB; },
     nullptr, [](const CommandFacts& f) { return f.view && f.view->grayMatte; }},
    {Command::ChangeBackground, Scope::Application},
    {Command::ColorManagedDisplay, Scope::Application, nullptr, nullptr,
     [](const CommandFacts& f) { return f.colorManaged; }},
    ChannelRule<Command::Channel1>(),
    ChannelRule<Command::Channel2>(),
    ChannelRule<Command::Channel3>(),
    ChannelRule<Command::Channel4>(),
    ChannelRule<Command::Channel5>(),
    ChannelRule<Command::Channel6>(),
    ChannelRule<Command::Channel7>(),
    ChannelRule<Command::Channel8>(),
    {Command::ChannelAll, Scope::View, nullptr, nullptr,
     [](const CommandFacts& f) { return f.document && f.document->selectedChannel < 0; }},
    {Command::NextWindow, Scope::Application, nullptr, nullptr, nullptr,
     [](const CommandFacts& f) { return f.windowCount > 1; }},
    {Command::PreviousWindow, Scope::Application, nullptr, nullptr, nullptr,
     [](const CommandFacts& f) { return f.windowCount > 1; }},
    ModeRule<Command::ModeBitmap1>(),
    ModeRule<Command::ModeGrayscale8>(),
    ModeRule<Command::ModeGrayscale16>(),
    ModeRule<Command::ModeGrayscale32>(),
    ModeRule<Command::ModeIndexed4>(),
    ModeRule<Command::ModeIndexed8>(),
    ModeRule<Command::ModeRGB12>(),
    ModeRule<Command::ModeRGB16>(),
    ModeRule<Command::ModeRGB24>(),
    ModeRule<Command::ModeRGB48>(),
    ModeRule<Command::ModeARGB32>(),
    ModeRule<Command::ModeCMYK32>(),
    ModeRule<Command::ModeCMYK64>(),
    ModeRule<Command::ModeLab24>(),
    ModeRule<Command::ModeLab48>(),
    {Command::ChangeSize, Scope::Document, EditableImage},
    {Command::IncreaseTransparency, Scope::Document, ShowsAlpha},
    {Command::DecreaseTransparency, Scope::Document, ShowsAlpha},
    {Command::ColorTable, Scope::Document,
     [](const DocumentFacts& d) { return d.displayMode == ModeIndexed; }, nullptr,
     [](const CommandFacts& f) { return f.document && f.document->colorTableShown; }},
    // Disabled while armed: the next view to get the focus is the second image.
    {Command::ComputePSNR, Scope::View, HasImage, nullptr, nullptr,
     [](const CommandFacts& f) { return !f.comparisonArmed; }},
    // The overview copies its export region, read from the container.
    {Command::Copy, Scope::View, HasImage,
     [](const ViewFacts& v) { return !v.overview || CanCopyRegion(v.region); }},
    {Command::Import, Scope::Application, nullptr, nullptr, nullptr,
     [](const CommandFacts& f) { return f.clipboardOffersImage; }},
    {Command::NextLevel, Scope::Document,
     [](const DocumentFacts& d) { return CanReadLevels(d.levels) && d.levels.target > 0; }},
    LevelRule<Command::Level0>(),
    LevelRule<Command::Level1>(),
    LevelRule<Command::Level2>(),
    LevelRule<Command::Level3>(),
    LevelRule<Command::Level4>(),
    LevelRule<Command::Level5>(),
    LevelRule<Command::Level6>(),
    {Command::FullScreen, Scope::Application, nullptr, nullptr,
     [](const CommandFacts& f) { return f.fullScreen; }},
    {Command::NewVerticalTabGroup, Scope::Application, nullptr, nullptr, nullptr,
     [](const CommandFacts& f) { return CanSplitGroup(f.tabGroups, true); }},
    {Command::NewHorizontalTabGroup, Scope::Application, nullptr, nullptr, nullptr,
     [](const CommandFacts& f) { return CanSplitGroup(f.tabGroups, false); }},
    {Command::MoveToNextTabGroup, Scope::Application, nullptr, nullptr, nullptr,
     [](const CommandFacts& f) {
         return f.tabGroups.windowsInGroup > 0 && f.tabGroups.index + 1 < f.tabGroups.groups;
     }},
    {Command::MoveToPreviousTabGroup, Scope::Application, nullptr, nullptr, nullptr,
     [](const CommandFacts& f) { return f.tabGroups.windowsInGroup > 0 && f.tabGroups.index > 0; }},
    {Command::TabbedDocuments, Scope::Application, nullptr, nullptr,
     [](const CommandFacts& f) { return f.tabGroups.tabbed; }},
    {Command::WindowsDialog, Scope::Application, nullptr, nullptr, nullptr,
     [](const CommandFacts& f) { return f.windowCount > 0; }},
    {Command::CustomizeToolbar, Scope::Application},
    {Command::Print, Scope::View, HasImage},
    {Command::PrintPreview, Scope::View, HasImage},
    {Command::PrintSetup, Scope::Application},
    {Command::About, Scope::Application},
    {Command::NewKLDExt, Scope::Application},
    {Command::ShowExportRegion, Scope::View, nullptr,
     [](const ViewFacts& v) { return v.overview && CanShowRegion(v.region); }},
    {Command::ExportRegion, Scope::View, nullptr,
     [](const ViewFacts& v) { return v.overview && CanCopyRegion(v.region); }},
    {Command::Paste, Scope::View, WritableContainer, [](const ViewFacts& v) { return v.overview; },
     nullptr,
     [](const CommandFacts& f) {
         return f.view && CanPasteRegion(f.view->region, f.clipboardOffersImage);
     }},
    {Command::Repair, Scope::Document, WritableContainer},
    {Command::ContainerBackground, Scope::Document, WritableContainer},
};

static_assert(std::size(kRules) == kCommandCount, "every command has one rule");

bool Enabled(const CommandRule& rule, const CommandFacts& facts) {
    if (rule.application && !rule.application(facts)) return false;
    if (rule.scope == Scope::Application) return true;
    if (!facts.document || facts.document->busy) return false;
    if (rule.document && !rule.document(*facts.document)) return false;
    if (rule.scope == Scope::Document) return true;
    return facts.view && (!rule.view || rule.view(*facts.view));
}

} // namespace

CommandStates EvaluateCommands(const CommandFacts& facts) {
    CommandStates states{};
    for (const CommandRule& rule : kRules) {
        CommandState& state = states[static_cast<std::size_t>(rule.command)];
        state.enabled = Enabled(rule, facts);
        state.checked = rule.checked && rule.checked(facts);
    }
    return states;
}
