// The application looks: one Qt style with a palette each, chosen from the View menu and kept in
// the settings as "ApplicationLook" (the look's number). Without a stored choice, or with one
// this program does not know, the program takes the desktop's own palette, so a dark desktop
// gets a dark program.
#pragma once

#include "desktop_services.h"

#include <QPalette>
#include <QString>

#include <span>

struct ApplicationLook {
    int id;
    const char* label; // the menu entry; null for the look offered only as the default
    bool inOfficeMenu; // listed in the "Office 2007" submenu
};

std::span<const ApplicationLook> ApplicationLooks();
// The look that follows the desktop's palette.
inline constexpr int kDesktopLook = 219;

// The stored look, or the desktop's for no value or one that names no look.
int StoredLook();
void StoreLook(int id);

// Sets the style and palette of the look for the whole program. The desktop's are those the
// program had when it first took a look.
void ApplyLook(int id);

bool IsDark(const QPalette& palette);

// The views' background under a palette: the classic light blue, or a deep blue on dark
// palettes, where the light one would glare around the image.
Rgb ViewBackgroundFor(const QPalette& palette);
