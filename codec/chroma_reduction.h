// The 2 x 2 reduction of chroma channels before coding, for images that halve chroma.
#pragma once

#include "channel_image.h"

// Replaces the plane by its 2 x 2 averages, in place: (a + b + c + d) >> 2 per block, the
// halves (x + y) >> 1 along an odd last column or row, an odd corner copied. Afterwards the
// plane is (width + 1) >> 1 by (height + 1) >> 1 samples without padding.
void ReduceChroma(SamplePlane& plane);

// Reduces channels 1 and up when the image halves chroma and has at least two channels.
void ReduceChromaChannels(ChannelImage& image);
