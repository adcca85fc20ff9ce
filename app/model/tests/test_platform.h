// The platform's imaging library for model tests: Qt's readers and writers of BMP and PNG.
#pragma once

#include "platform_images.h"
#include "qt_image_file.h"

inline PlatformImages TestPlatform() {
    // Qt's plugin loader must be made on the main thread, not first on a job's worker thread
    // that is gone when the program ends (the program makes it at start).
    [[maybe_unused]] static const bool primed = CanWriteQtImage(ModeRGB, "primed.png");
    PlatformImages platform;
    platform.read = ReadQtImageFile;
    platform.write = WriteQtImageFile;
    platform.holds = CanWriteQtImage;
    platform.readable = {"bmp", "png"};
    platform.writable = {"bmp", "png"};
    return platform;
}
