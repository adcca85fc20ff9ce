// The program's commands and the one table that decides which are enabled and checked. The UI
// evaluates it from one place whenever something it reads may have changed, and applies the
// result to its actions (a disabled action also disables its shortcut).
#pragma once

#include "kldext_rules.h"

#include <array>
#include <cstdint>
#include <optional>

enum class Command {
    Open,
    Close,
    Save,
    SaveAs,
    SaveCopy,
    Exit,
    ZoomIn,
    ZoomOut,
    ZoomBox,
    Crop,
    GrayMatte,
    ChangeBackground,
    ColorManagedDisplay,
    Channel1,
    Channel2,
    Channel3,
    Channel4,
    Channel5,
    Channel6,
    Channel7,
    Channel8,
    ChannelAll,
    NextWindow,
    PreviousWindow,
    // The Image menu: mode targets in menu order, then the other image commands.
    ModeBitmap1,
    ModeGrayscale8,
    ModeGrayscale16,
    ModeGrayscale32,
    ModeIndexed4,
    ModeIndexed8,
    ModeRGB12,
    ModeRGB16,
    ModeRGB24,
    ModeRGB48,
    ModeARGB32,
    ModeCMYK32,
    ModeCMYK64,
    ModeLab24,
    ModeLab48,
    ChangeSize,
    IncreaseTransparency,
    DecreaseTransparency,
    ColorTable,
    ComputePSNR,
    Copy,
    Import,
    NextLevel,
    Level0,
    Level1,
    Level2,
    Level3,
    Level4,
    Level5,
    Level6,
    // The shell: window arrangement, the toolbar, printing, the About box.
    FullScreen,
    NewVerticalTabGroup,
    NewHorizontalTabGroup,
    MoveToNextTabGroup,
    MoveToPreviousTabGroup,
    TabbedDocuments,
    WindowsDialog,
    CustomizeToolbar,
    Print,
    PrintPreview,
    PrintSetup,
    About,
    // Containers.
    NewKLDExt,
    ShowExportRegion,
    ExportRegion,
    Paste,
    Repair,
    ContainerBackground,
    Count
};

inline constexpr std::size_t kCommandCount = static_cast<std::size_t>(Command::Count);

// What the level commands read about a document read level by level (a QVT document).
struct LevelFacts {
    bool levelled = false; // the image is a level of the document's file
    bool fileOpen = false; // finer levels can still be read
    bool modified = false;
    int target = 0; // the level the document is read to
};

// What the rules read about the active document.
struct DocumentFacts {
    bool busy = false; // a job runs for it: its commands wait
    bool hasImage = false;
    std::uint32_t mode = 255;
    std::uint32_t displayMode = 255;
    int channelCount = 0;
    int selectedChannel = -1;
    bool croppable = false;       // the document's own crop rule
    bool colorTableShown = false; // its colour-table window is visible
    LevelFacts levels;
    bool container = false; // a KLDExt container: its pixels change only by writing regions
    bool readOnly = false;  // its file cannot be written
};

// What the rules read about the active view.
struct ViewFacts {
    double zoom = 1;
    bool hasImage = false;
    bool cropping = false;
    bool grayMatte = false;
    bool overview = false; // a container's overview, with its export region
    ExportRegionState region;
};

// Where the active window sits among the tab groups, which all split the same way.
struct TabGroupFacts {
    int groups = 1;
    int index = 0;          // the active window's group
    int windowsInGroup = 0; // windows in that group
    bool vertical = false;  // the groups stand side by side
    bool tabbed = true;     // windows show as tabs, not as windows of their own
};

struct CommandFacts {
    std::optional<DocumentFacts> document;
    std::optional<ViewFacts> view;
    int windowCount = 0;
    bool clipboardOffersImage = false; // image data or a pixel-map block to import
    bool comparisonArmed = false;      // a PSNR comparison waits for its second image
    bool colorManaged = false;         // views convert to the screen's colours
    bool fullScreen = false;
    TabGroupFacts tabGroups;
};

struct CommandState {
    bool enabled = false;
    bool checked = false;
    friend bool operator==(const CommandState&, const CommandState&) = default;
};

using CommandStates = std::array<CommandState, kCommandCount>;

// Evaluates every rule of the table. A command with a document rule and a view rule needs both;
// every document or view command is disabled while its document is busy.
CommandStates EvaluateCommands(const CommandFacts& facts);

inline const CommandState& StateOf(const CommandStates& states, Command command) {
    return states[static_cast<std::size_t>(command)];
}
