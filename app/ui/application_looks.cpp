#include "application_looks.h"

#include <QApplication>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>
#include <array>

namespace {

constexpr std::array kLooks = {
    ApplicationLook{205, "Windows &2000", false},
    ApplicationLook{206, "Office &XP", false},
    ApplicationLook{207, "&Windows XP", false},
    ApplicationLook{208, "Office 200&3", false},
    ApplicationLook{209, "Visual Studio 200&5", false},
    ApplicationLook{210, "Visual Studio 200&8", false},
    ApplicationLook{215, "&Blue Style", true},
    ApplicationLook{216, "B&lack Style", true},
    ApplicationLook{217, "&Silver Style", true},
    ApplicationLook{218, "&Aqua Style", true},
    ApplicationLook{kDesktopLook, nullptr, false},
};

const char* const kSetting = "ApplicationLook";

// A light palette made from a window colour, with a highlight of its own.
QPalette LightPalette(QColor window, QColor highlight) {
    QPalette palette(window.darker(105), window);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, window.lighter(105));
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

QPalette DarkPalette() {
    QPalette palette(QColor(0x3c, 0x3c, 0x3c), QColor(0x2d, 0x2d, 0x30));
    palette.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
    palette.setColor(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xe8));
    palette.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
    palette.setColor(QPalette::ToolTipBase, QColor(0x3c, 0x3c, 0x3c));
    palette.setColor(QPalette::ToolTipText, QColor(0xe8, 0xe8, 0xe8));
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe0));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x6c, 0xb4, 0xff));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    // Disabled text is etched in this colour: a light one blurs it on a dark background.
    palette.setColor(QPalette::Disabled, QPalette::Light, Qt::transparent);
    return palette;
}

// The light looks: their window colour and highlight.
struct LightLook {
    int id;
    QRgb window;
    QRgb highlight;
};
constexpr LightLook kLightLooks[] = {
    {205, 0xd4d0c8, 0x0a246a}, {206, 0xf0eee8, 0x316ac5}, {207, 0xece9d8, 0x316ac5},
    {208, 0xc3daf9, 0x3d6ab9}, {209, 0xeeede5, 0x316ac5}, {210, 0xd6dbe9, 0x3399ff},
    {215, 0xbfdbff, 0x2b579a}, {217, 0xdde1e6, 0x5b6779}, {218, 0xcbe3e7, 0x1d8a99},
};
constexpr int kBlackLook = 216;

QPalette PaletteOf(int id, const QPalette& desktop) {
    if (id == kBlackLook) return DarkPalette();
    for (const LightLook& look : kLightLooks)
        if (look.id == id) return LightPalette(QColor(look.window), QColor(look.highlight));
    return desktop;
}

bool Known(int id) {
    return std::any_of(kLooks.begin(), kLooks.end(),
                       [id](const ApplicationLook& look) { return look.id == id; });
}

} // namespace

std::span<const ApplicationLook> ApplicationLooks() { return kLooks; }

int StoredLook() {
    bool number = false;
    const int id = QSettings().value(kSetting).toInt(&number);
    return number && Known(id) ? id : kDesktopLook;
}

void StoreLook(int id) { QSettings().setValue(kSetting, id); }

void ApplyLook(int id) {
    static const QPalette desktopPalette = QApplication::palette();
    static const QString desktopStyle = QApplication::style()->name();
    // The desktop's look keeps the desktop's style; the others draw alike in every desktop.
    QApplication::setStyle(
        QStyleFactory::create(id == kDesktopLook ? desktopStyle : QStringLiteral("Fusion")));
    QApplication::setPalette(PaletteOf(id, desktopPalette));
}

bool IsDark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

Rgb ViewBackgroundFor(const QPalette& palette) {
    return IsDark(palette) ? Rgb{0x20, 0x20, 0x48} : Rgb{0x80, 0x80, 0xFF};
}
