#include "wavelet_passes.h"

#include "qvt_error.h"

#include <atomic>
#include <cstring>
#include <new>
#include <omp.h>

namespace {

int TeamSize(int threadCount) { return threadCount > 0 ? threadCount : omp_get_max_threads(); }

// The plane belongs to the old pyramid (for instance after reading); the new one needs its own.
std::uint32_t DetachFromPyramid(ChannelPlane& channel) {
    const std::uint64_t count = std::uint64_t{channel.width} * channel.height;
    // After a forward pass the plane has been transformed away; there is nothing left to copy.
    if (!channel.data && count > 0) return ErrorWrongFormat;
    SampleBuffer copy = TryAllocateSamples(count);
    if (!copy) return ErrorOutOfMemory;
    for (std::uint64_t y = 0; y < channel.height; ++y)
        std::memcpy(copy.get() + y * channel.width, channel.data + y * channel.stride,
                    std::size_t{channel.width} * sizeof(std::int32_t));
    channel.pyramid.reset();
    channel.ownedData = std::move(copy);
    channel.data = channel.ownedData.get();
    channel.stride = channel.width;
    return 0;
}

std::uint32_t ForwardChannel(ChannelPlane& channel, int decompositionLevels, int q) {
    if (channel.pyramid) {
        if (const std::uint32_t code = DetachFromPyramid(channel)) return code;
    }
    // Without a plane of its own there is nothing the channel could hand to a pyramid.
    if (!channel.ownedData) return ErrorWrongFormat;
    // The plane goes to the pyramid; if building the pyramid fails it is freed here.
    SampleBuffer plane = std::move(channel.ownedData);
    channel.data = nullptr;
    // Exceptions must not leave a parallel region; the pyramid's band array is its only throwing
    // allocation, and a rejected level count is reported the same way.
    try {
        channel.pyramid = std::make_unique<CWaveletPyramid>(channel.width, channel.height,
                                                            decompositionLevels, std::move(plane));
    } catch (const std::bad_alloc&) {
        return ErrorOutOfMemory;
    } catch (const IOException& error) {
        return error.error;
    }
    CWaveletPyramid& pyramid = *channel.pyramid;
    pyramid.SetRegion({0, 0, channel.width, channel.height});
    std::uint32_t code = 0;
    for (int level = 0; level < decompositionLevels && code == 0; ++level)
        code = pyramid.ForwardLevel(level, q);
    channel.data = pyramid.Band(0, BandOrientation::LL).data.get();
    channel.stride = channel.width;
    return code;
}

std::uint32_t InverseChannel(ChannelPlane& channel, int level) {
    // A channel without a pyramid (stored raw) has nothing to rebuild.
    if (!channel.pyramid) return 0;
    const std::uint32_t code =
        channel.pyramid->InverseLevel(level, channel.width, channel.height, channel.data);
    channel.stride = channel.pyramid->Band(level - 1, BandOrientation::LL).Pitch();
    return code;
}

// Runs `work` per channel in a static-scheduled parallel loop. Iterations start only while no
// channel has failed; one failure code survives (any of them when several fail).
template <typename Work>
std::uint32_t ForEachChannel(std::span<ChannelPlane> channels, int threadCount, Work work) {
    std::atomic<std::uint32_t> error{0};
    const auto count = static_cast<std::ptrdiff_t>(channels.size());
#pragma omp parallel for schedule(static) num_threads(TeamSize(threadCount))
    for (std::ptrdiff_t c = 0; c < count; ++c) {
        if (error.load(std::memory_order_relaxed) != 0) continue;
        const std::uint32_t code = work(channels[static_cast<std::size_t>(c)]);
        if (code != 0) error.store(code, std::memory_order_relaxed);
    }
    return error.load();
}

} // namespace

std::uint32_t RunForwardPass(std::span<ChannelPlane> channels, int decompositionLevels, int q,
                             int threadCount) {
    return ForEachChannel(channels, threadCount, [=](ChannelPlane& channel) {
        return ForwardChannel(channel, decompositionLevels, q);
    });
}

std::uint32_t RunInversePass(std::span<ChannelPlane> channels, int level, int threadCount) {
    return ForEachChannel(channels, threadCount,
                          [=](ChannelPlane& channel) { return InverseChannel(channel, level); });
}
