// Import of interleaved pixel rows into the channel planes of a codec image.
#pragma once

#include "channel_image.h"

#include <cstddef>
#include <cstdint>

// Fills the planes of the channels the mode exchanges, image.width x image.height samples each,
// from the rows starting at `bits` (the top row; rowPitch is the signed distance to the next
// row, so bottom-up buffers work). Colour modes are decorrelated with the reversible colour
// transform; chroma reduction, when the image halves chroma, is the caller's next step.
// Before each row the progress callback gets the fraction of rows done.
// Modes the codec does not exchange import nothing. Throws ErrorWrongFormat when the
// description or the buffer layout cannot be imported safely, ErrorUserBreak on cancellation.
void ImportPixelRows(const ChannelImage& image, const std::uint8_t* bits, std::ptrdiff_t rowPitch,
                     std::uint32_t bitsPerPixel, const PixelExchange& how = {});
