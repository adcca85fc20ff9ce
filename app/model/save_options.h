// The save options a document keeps between saves: what the save dialog shows and gives back.
#pragma once

struct SaveOptions {
    int levels = 0;       // QVT levels, 1 ... 30; the codec chooses while `checkBox` is set
    int quality = 0;      // QVT quality loss, 0 = lossless ... 31
    bool checkBox = true; // "Compute Levels" for QVT, "Binary" for anymaps
    bool regionSupport = false;
};
