// ICC profiles between Qt's images and the program's: kept from what Qt's readers found in a
// file, and handed to Qt's writers, which embed them (JPEG, PNG, TIFF, WebP).
#pragma once

#include "raster_image.h"

#include <QImage>

// Notices, during a read on this thread, a profile that Qt's parser refused: Qt says so only in a
// warning of its ICC logging category and leaves the image without a colour space. The warning
// is taken in, not printed: the caller reports the dropped profile itself.
class RefusedProfileWatch {
public:
    RefusedProfileWatch();
    ~RefusedProfileWatch();
    RefusedProfileWatch(const RefusedProfileWatch&) = delete;
    RefusedProfileWatch& operator=(const RefusedProfileWatch&) = delete;

    bool Refused() const;
};

// Gives `image` the profile of the QImage it was made from. A profile the colour engine cannot
// use, or one Qt refused (`refusedByQt`), is left out with `profileDropped` set.
void KeepQImageProfile(const QImage& read, bool refusedByQt, RasterImage& image);

// Embeds the image's profile in `written` when it describes the image's mode and Qt takes it.
void AttachProfileForWriting(const RasterImage& image, QImage& written);
