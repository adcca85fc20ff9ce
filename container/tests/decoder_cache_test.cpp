// Tile decoders kept for finer reads stay within the bytes budgeted for them, whatever the number
// of processors: browsing a container at a reduced level must not cost many times that budget.
#include "container_fixture.h"
#include "pixmap_factory.h"

#include <gtest/gtest.h>

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's allocator replaces malloc's, whose statistics then stay empty.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

TEST(DecoderCache, KeptDecodersHoldNoMoreThanTheirBudget) {
    constexpr std::uint32_t kWidth = 1600;
    constexpr std::uint32_t kHeight = 1000;
    const KLDExtHeader header = MakeHeader(kWidth, kHeight, 200, 200);
    auto created = std::make_unique<CQVTMemoryStream>(1 << 10);
    const CQVTMemoryStream& empty = *created;
    CKLDExt maker;
    maker.Create(std::move(created), header, 160, 100, {});
    auto owned = std::make_unique<CQVTMemoryStream>(1 << 20);
    WriteBytes(*owned, empty.Data(), empty.DataSize());
    const CQVTMemoryStream& stream = *owned;
    CKLDExt writer;
    writer.Open(std::move(owned), 0, 0);
    auto pattern = CreatePixMap({0, 0, kWidth, kHeight}, header.mode);
    for (std::uint32_t y = 0; y < kHeight; ++y)
        for (std::uint32_t x = 0; x < 3 * kWidth; ++x)
            pattern->Row(y)[x] = static_cast<std::uint8_t>((x * 7 + y * 13) ^ (x / 5));
    writer.WriteRegion(*pattern, 0, 0, 0, KLD::KindWavelet);
    Bytes bytes = StreamBytes(stream);

    constexpr std::uint64_t kBudget = 1 << 20;
    CKLDExt container;
    container.Open(std::make_unique<CQVTMemoryStream>(bytes.data(), bytes.size()), 0, kBudget);
    const std::uint32_t capacity = container.DecoderCacheCapacity();
    ASSERT_GT(capacity, 0u);
    ASSERT_LT(capacity, 40u) << "the 40 tiles must not all fit";
    const auto readTile = [&container](std::uint32_t left, std::uint32_t top) {
        auto view = CreatePixMap({left, top, left + 200, top + 200}, ModeRGB);
        container.ReadRegion(*view, 1);
    };
    // The first read starts the parallel runtime's threads, which allocate for themselves.
    readTile(0, 0);
    container.Caches()->decoders.Clear();
    const std::size_t before = HeapInUse();
    for (std::uint32_t top = 0; top < kHeight; top += 200)
        for (std::uint32_t left = 0; left < kWidth; left += 200)
            readTile(left, top);
    EXPECT_EQ(container.Caches()->decoders.Count(), capacity);
    EXPECT_LE(HeapInUse() - before, kBudget);
}

} // namespace
