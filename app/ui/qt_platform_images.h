// The platform's imaging library for the model: Qt's readers and writers.
#pragma once

#include "platform_images.h"

// Readers and writers of the installed Qt image plugins; icon and vector formats are left out of
// the lists (they are not raster images a user edits here).
PlatformImages QtPlatformImages();
