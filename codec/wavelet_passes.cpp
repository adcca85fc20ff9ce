#include "wavelet_passes.h"

#include "parallel_guard.h"
#include "qvt_error.h"

#include <algorithm>
#include <atomic>
#include <cstring>
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

std::uint32_t ForwardChannel(ChannelPlane& channel, int decompositionLevels, int q,
                             int levelThreads) {
    if (channel.pyramid) {
        if (const std::uint32_t code = DetachFromPyramid(channel)) return code;
    }
    // Without a plane of its own there is nothing the channel could hand to a pyramid.
    if (!channel.ownedData) return ErrorWrongFormat;
    // The plane goes to the pyramid; if building the pyramid throws, it is freed on the way out.
    SampleBuffer plane = std::move(channel.ownedData);
    channel.data = nullptr;
    channel.pyramid = std::make_unique<CWaveletPyramid>(channel.width, channel.height,
                                                        decompositionLevels, std::move(plane));
    CWaveletPyramid& pyramid = *channel.pyramid;
    pyramid.SetRegion({0, 0, channel.width, channel.height});
    std::uint32_t code = 0;
    for (int level = 0; level < decompositionLevels && code == 0; ++level)
        code = pyramid.ForwardLevel(level, q, levelThreads);
    // The plane now holds bands: nothing is left to export or to transform again.
    channel.data =
        decompositionLevels > 0 ? nullptr : pyramid.Band(0, BandOrientation::LL).data.get();
    channel.stride = channel.width;
    return code;
}

std::uint32_t InverseChannel(ChannelPlane& channel, int level, int levelThreads) {
    // A channel without a pyramid (stored raw) has nothing to rebuild.
    if (!channel.pyramid) return 0;
    const std::uint32_t code = channel.pyramid->InverseLevel(level, channel.width, channel.height,
                                                             channel.data, levelThreads);
    channel.stride = channel.pyramid->Band(level - 1, BandOrientation::LL).Pitch();
    return code;
}

// Runs `work` per channel in a static-scheduled parallel loop. Iterations start only while no
// channel has failed; one failure code survives (any of them when several fail). What `work`
// throws is such a code too.
template <typename Work>
std::uint32_t ForEachChannel(std::span<ChannelPlane> channels, int threadCount, Work work) {
    std::atomic<std::uint32_t> error{0};
    const auto count = static_cast<std::ptrdiff_t>(channels.size());
#pragma omp parallel for schedule(static) num_threads(TeamSize(threadCount))
    for (std::ptrdiff_t c = 0; c < count; ++c) {
        if (error.load(std::memory_order_relaxed) != 0) continue;
        const std::uint32_t code =
            GuardedCode([&] { return work(channels[static_cast<std::size_t>(c)]); });
        if (code != 0) error.store(code, std::memory_order_relaxed);
    }
    return error.load();
}

// Runs work(channel, levelThreads) on every channel: side by side when the channels share out
// evenly over the team or their levels cannot be shared, otherwise (one gray channel, three
// colours on two threads) one after the other, each with the whole team for its levels.
template <typename Work>
std::uint32_t ForEachChannelShared(std::span<ChannelPlane> channels, int threadCount,
                                   bool levelsShare, Work work) {
    const int team = TeamSize(threadCount);
    if (!levelsShare || channels.size() % static_cast<std::size_t>(team) == 0)
        return ForEachChannel(channels, team,
                              [&](ChannelPlane& channel) { return work(channel, 1); });
    for (ChannelPlane& channel : channels) {
        if (const std::uint32_t code = GuardedCode([&] { return work(channel, team); }))
            return code;
    }
    return 0;
}

} // namespace

std::uint32_t RunForwardPass(std::span<ChannelPlane> channels, int decompositionLevels, int q,
                             int threadCount) {
    return ForEachChannelShared(channels, threadCount, true,
                                [=](ChannelPlane& channel, int threads) {
                                    return ForwardChannel(channel, decompositionLevels, q, threads);
                                });
}

std::uint32_t RunInversePass(std::span<ChannelPlane> channels, int level, int threadCount) {
    // Only levels whose bands are in place (whole reads) are shared within a channel.
    const bool inPlace = std::all_of(channels.begin(), channels.end(), [&](const ChannelPlane& c) {
        return !c.pyramid || c.pyramid->BandsInPlace(level);
    });
    return ForEachChannelShared(channels, threadCount, inPlace,
                                [=](ChannelPlane& channel, int threads) {
                                    return InverseChannel(channel, level, threads);
                                });
}
