// The per-channel wavelet passes of a codec image, run as parallel loops over its channels.
#pragma once

#include "qvt_memory.h"
#include "wavelet_pyramid.h"

#include <cstdint>
#include <memory>
#include <span>

// One channel of a codec image: its size and samples at the current level, and its pyramid.
// `data` points into `ownedData` while no pyramid holds the plane, otherwise into the pyramid.
struct ChannelPlane {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t* data = nullptr;
    // Distance in samples between rows: the width, unless the plane lies inside a larger one
    // while a read to a finer level is under way.
    std::uint64_t stride = 0;
    SampleBuffer ownedData;
    std::unique_ptr<CWaveletPyramid> pyramid;
};

// Per channel: takes a private copy of the plane if it already has a pyramid, builds a pyramid
// with `decompositionLevels` levels over it and runs ForwardLevel(0 … N − 1, q). Afterwards
// `data` is the level-0 plane if the pyramid still holds it (N = 0), otherwise null.
// `threadCount` 0 uses the runtime's default team; channels that do not share out evenly over
// it take the whole team in turn. Returns 0 or a failed channel's code (any one when several
// fail), which the caller turns into an IOException: ErrorOutOfMemory, or ErrorWrongFormat for a
// level count out of range or a channel that has no plane to transform.
[[nodiscard]] std::uint32_t RunForwardPass(std::span<ChannelPlane> channels,
                                           int decompositionLevels, int q, int threadCount = 0);

// Per channel with a pyramid: InverseLevel(level) and the rebuilt plane becomes the channel's
// width, height, data and stride. Returns 0 or a failed channel's code.
[[nodiscard]] std::uint32_t RunInversePass(std::span<ChannelPlane> channels, int level,
                                           int threadCount = 0);
