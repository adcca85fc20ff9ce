// Export of the channel planes of a codec image as interleaved pixel rows.
#pragma once

#include "channel_image.h"
#include "export_area.h"

#include <cstddef>
#include <cstdint>

// Writes the area (the whole image when null) as rows of the image's mode starting at `bits`
// (the top row; rowPitch is signed). `bitsPerPixel` is the buffer's layout and may be narrower
// than the mode's: 16- and 32-bit samples are then scaled to 16-bit words or bytes. A buffer
// whose pixels cannot hold every component is refused, never written past. Values out of
// range are clamped. After each row the progress callback gets the fraction of rows done.
// Modes the codec does not exchange export nothing. Throws ErrorWrongFormat when the planes or
// the buffer cannot be exported safely, ErrorUserBreak on cancellation (rows written stay).
void ExportPixelRows(const ChannelImage& image, std::uint8_t* bits, std::ptrdiff_t rowPitch,
                     std::uint32_t bitsPerPixel, const PixelExchange& how = {},
                     const ExportArea* area = nullptr);
