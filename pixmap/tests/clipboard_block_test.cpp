// Proves that both clipboard blocks carry every image they can hold unchanged (every pixel-map
// mode, every display depth), that the bitmap block's mode follows its depth, table and masks,
// and that truncated or hostile blocks fail with a clear error before anything of the size they
// announce is allocated.
#include "byte_order.h"
#include "dib_block.h"
#include "pixmap_block.h"
#include "qvt_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename Read>
std::optional<std::uint32_t> ReadError(Read read, const Bytes& block) {
    try {
        read(block);
    } catch (const IOException& e) {
        return e.error;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> PixMapBlockError(const Bytes& block) {
    return ReadError([](const Bytes& b) { CreatePixMapFromBlock(b); }, block);
}

std::optional<std::uint32_t> DibBlockError(const Bytes& block) {
    return ReadError([](const Bytes& b) { ReadDibBlock(b); }, block);
}

// ---- pixel-map block ----

TEST(PixMapBlock, EveryModeAndPositionRoundTrips) {
    for (const std::uint32_t mode : kPixMapModes)
        for (const PixRect rect : {PixRect{0, 0, 1, 1}, PixRect{2, 3, 13, 9},
                                   PixRect{100, 7, 133, 8}, PixRect{5, 5, 5, 9}}) {
            auto map = CreatePixMap(rect, mode);
            Randomize(*map, mode * 31 + rect.left);
            const Bytes block = WritePixMapBlock(*map);
            const auto stride = OwnedStride(map->BitsPerPixel(), rect.Width());
            ASSERT_EQ(block.size(), kPixMapBlockHeadSize + std::size_t(*stride) * rect.Height());
            EXPECT_EQ(block[0], mode);
            EXPECT_EQ(LoadLE32(&block[13]), rect.left);
            EXPECT_EQ(LoadLE32(&block[25]), rect.bottom);
            EXPECT_EQ(LoadLE32(&block[29]), std::uint32_t(*stride));
            EXPECT_EQ(block[33], map->BitsPerPixel());

            // Bytes past the rows play no part.
            Bytes padded = block;
            padded.resize(block.size() + 100, 0xEE);
            const auto read = CreatePixMapFromBlock(padded);
            EXPECT_TRUE(read->IsOwner());
            EXPECT_EQ(read->GetMode(), mode);
            EXPECT_EQ(read->Rect(), rect);
            EXPECT_TRUE(SamePixels(*read, *map)) << ImageModeName(mode);
        }
}

TEST(PixMapBlock, MapsOverWiderBottomUpRowsWriteTheOwnedLayout) {
    for (const std::uint32_t mode : kPixMapModes) {
        BottomUpMap bottomUp(mode, 11, 4);
        Randomize(*bottomUp.map, mode);
        const Bytes block = WritePixMapBlock(*bottomUp.map);
        EXPECT_EQ(block.size(), WritePixMapBlock(*CreatePixMap({0, 0, 11, 4}, mode)).size());
        EXPECT_TRUE(SamePixels(*CreatePixMapFromBlock(block), *bottomUp.map))
            << ImageModeName(mode);
    }
}

TEST(PixMapBlock, EveryTruncationFails) {
    const Bytes block = WritePixMapBlock(*RandomMap(ModeCMYK64, 7, 5, 2));
    for (std::size_t size = 0; size < block.size(); ++size)
        EXPECT_EQ(PixMapBlockError(Bytes(block.begin(), block.begin() + size)),
                  size < kPixMapBlockHeadSize ? ErrorWrongFormat : ErrorShortRead)
            << size;
}

TEST(PixMapBlock, HostileHeads) {
    const Bytes valid = WritePixMapBlock(*RandomMap(ModeGray, 8, 8, 3));
    const std::vector<std::tuple<std::string, std::function<void(Bytes&)>, std::uint32_t>> cases{
        {"mode without pixel maps", [](Bytes& b) { b[0] = ModeHSL; }, ErrorWrongFormat},
        {"mode past the table", [](Bytes& b) { b[0] = 200; }, ErrorWrongFormat},
        {"inverted columns", [](Bytes& b) { StoreLE32(&b[13], 9); }, ErrorWrongFormat},
        {"inverted rows", [](Bytes& b) { StoreLE32(&b[17], 9); }, ErrorWrongFormat},
        // A few bytes announcing gigabytes must fail on the count, not in the allocator.
        {"huge rectangle",
         [](Bytes& b) {
             StoreLE32(&b[21], 100000);
             StoreLE32(&b[25], 100000);
         },
         ErrorShortRead},
        {"stride beyond 31 bits", [](Bytes& b) { StoreLE32(&b[21], 0xFFFFFFFF); }, ErrorShortRead},
        // The writer's stride and depth are not trusted.
        {"writer's stride and depth ignored",
         [](Bytes& b) {
             StoreLE32(&b[29], 0x7FFFFFFF);
             b[33] = 64;
         },
         0},
    };
    for (const auto& [name, damage, error] : cases) {
        Bytes block = valid;
        damage(block);
        const auto result = PixMapBlockError(block);
        if (error == 0)
            EXPECT_EQ(result, std::nullopt) << name;
        else
            EXPECT_EQ(result, error) << name;
    }
}

// ---- device-independent bitmap block ----

bool SameImage(const CDisplayImage& a, const CDisplayImage& b) {
    const bool sameMasks =
        a.Masks().has_value() == b.Masks().has_value() &&
        (!a.Masks() || (a.Masks()->red == b.Masks()->red && a.Masks()->green == b.Masks()->green &&
                        a.Masks()->blue == b.Masks()->blue));
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           a.BitsPerPixel() == b.BitsPerPixel() && a.DisplayMode() == b.DisplayMode() &&
           a.HasAlpha() == b.HasAlpha() && sameMasks && a.ColorCount() == b.ColorCount() &&
           std::equal(a.ColorTable(), a.ColorTable() + 4 * a.ColorCount(), b.ColorTable()) &&
           std::memcmp(a.TopRow(), b.TopRow(), std::size_t(a.Pitch()) * a.Height()) == 0;
}

void FillRandom(CDisplayImage& image, std::uint32_t seed) {
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < std::size_t(image.Pitch()) * image.Height(); ++i)
        image.TopRow()[i] = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> table(std::size_t(image.ColorCount()) * 4);
    for (auto& entry : table)
        entry = static_cast<std::uint8_t>(random());
    image.SetColors(0, image.ColorCount(), table.data());
}

constexpr BitFieldMasks kMasks565{0xF800, 0x07E0, 0x001F};

struct DibCase {
    int depth;
    ImageMode mode;
    std::optional<BitFieldMasks> masks;
    bool alpha;
};

const DibCase kDibCases[] = {
    {1, ModeBitmap, {}, false},  {4, ModeIndexed, {}, false},
    {8, ModeIndexed, {}, false}, {16, ModeRGB16, kMasks565, false},
    {16, ModeRGB, {}, false},    {24, ModeRGB, {}, false},
    {32, ModeARGB, {}, true},    {32, ModeRGB, BitFieldMasks{0xFF0000, 0xFF00, 0xFF}, false},
};

TEST(DibBlock, EveryDepthRoundTripsWithItsModeTableAndMasks) {
    for (const DibCase& c : kDibCases)
        for (const std::uint32_t width : {1u, 3u, 4u, 13u}) {
            auto image = CDisplayImage::Create(width, 5, c.depth, c.mode, c.masks, c.alpha);
            FillRandom(*image, width * 100 + std::uint32_t(c.depth));
            const Bytes block = WriteDibBlock(*image);
            EXPECT_EQ(LoadLE32(&block[0]), kDibHeaderSize);
            EXPECT_EQ(std::int32_t(LoadLE32(&block[8])), 5);
            const auto read = ReadDibBlock(block);
            EXPECT_TRUE(SameImage(*read, *image)) << c.depth << " bits, width " << width;
        }
}

TEST(DibBlock, DisplayImagesOfEveryPixMapModeRoundTrip) {
    for (const std::uint32_t mode : kPixMapModes) {
        const auto display = BuildDisplayImage(*RandomMap(mode, 9, 4, mode));
        ASSERT_NE(display, nullptr) << ImageModeName(mode);
        // A random Indexed table is no gray ramp; a Gray image carries the ramp and reads as Gray.
        EXPECT_TRUE(SameImage(*ReadDibBlock(WriteDibBlock(*display)), *display))
            << ImageModeName(mode);
    }
}

// An 8-bit block of width 2 × height 1 with the table produced by `entry`.
Bytes EightBitBlock(const std::function<void(int, std::uint8_t*)>& entry) {
    Bytes block(kDibHeaderSize + 1024 + 4);
    StoreLE32(&block[0], kDibHeaderSize);
    StoreLE32(&block[4], 2);
    StoreLE32(&block[8], 1);
    StoreLE16(&block[12], 1);
    StoreLE16(&block[14], 8);
    for (int i = 0; i < 256; ++i)
        entry(i, &block[kDibHeaderSize + 4 * std::size_t(i)]);
    return block;
}

TEST(DibBlock, EightBitsAreGrayOnlyForTheExactRamp) {
    const auto ramp = [](int i, std::uint8_t* e) {
        e[0] = e[1] = e[2] = std::uint8_t(i);
        e[3] = 0x55; // the reserved byte plays no part
    };
    EXPECT_EQ(ReadDibBlock(EightBitBlock(ramp))->DisplayMode(), ModeGray);
    for (const int changed : {0, 128, 255})
        for (const int part : {0, 1, 2}) {
            const auto almost = [&](int i, std::uint8_t* e) {
                ramp(i, e);
                if (i == changed) e[part] ^= 1;
            };
            EXPECT_EQ(ReadDibBlock(EightBitBlock(almost))->DisplayMode(), ModeIndexed)
                << changed << "/" << part;
        }
}

TEST(DibBlock, RowsAreBottomUpAndNegativeHeightsTopDown) {
    auto image = CDisplayImage::Create(2, 3, 24, ModeRGB);
    FillRandom(*image, 7);
    Bytes block = WriteDibBlock(*image);
    const std::size_t pitch = std::size_t(image->Pitch());
    EXPECT_EQ(0, std::memcmp(&block[kDibHeaderSize], image->TopRow() + 2 * pitch, pitch));

    // The same rows stored top row first under a negative height give the same image.
    StoreLE32(&block[8], std::uint32_t(-3));
    for (std::size_t y = 0; y < 3; ++y)
        std::memcpy(&block[kDibHeaderSize + y * pitch], image->TopRow() + y * pitch, pitch);
    EXPECT_TRUE(SameImage(*ReadDibBlock(block), *image));
}

TEST(DibBlock, EveryTruncationFails) {
    auto image = CDisplayImage::Create(5, 4, 8, ModeIndexed);
    FillRandom(*image, 9);
    const Bytes block = WriteDibBlock(*image);
    for (std::size_t size = 0; size < block.size(); ++size)
        EXPECT_EQ(DibBlockError(Bytes(block.begin(), block.begin() + size)),
                  size < kDibHeaderSize ? ErrorWrongFormat : ErrorShortRead)
            << size;
}

TEST(DibBlock, HostileHeaders) {
    auto image = CDisplayImage::Create(4, 4, 24, ModeRGB);
    const Bytes valid = WriteDibBlock(*image);
    const auto depth = [](std::uint16_t bits) {
        return [bits](Bytes& b) { StoreLE16(&b[14], bits); };
    };
    const std::vector<std::tuple<std::string, std::function<void(Bytes&)>, std::uint32_t>> cases{
        {"header size 12", [](Bytes& b) { StoreLE32(&b[0], 12); }, ErrorWrongFormat},
        {"header past the block", [](Bytes& b) { StoreLE32(&b[0], 0xFFFFFFF0); }, ErrorShortRead},
        {"width 0", [](Bytes& b) { StoreLE32(&b[4], 0); }, ErrorWrongFormat},
        {"negative width", [](Bytes& b) { StoreLE32(&b[4], 0xFFFFFFFF); }, ErrorWrongFormat},
        {"height 0", [](Bytes& b) { StoreLE32(&b[8], 0); }, ErrorWrongFormat},
        {"2 bits", depth(2), ErrorWrongFormat},
        {"48 bits", depth(48), ErrorWrongFormat},
        {"run-length compression", [](Bytes& b) { StoreLE32(&b[16], 1); }, ErrorWrongFormat},
        {"bit fields at 24 bits", [](Bytes& b) { StoreLE32(&b[16], kDibBitFields); },
         ErrorWrongFormat},
        // A few bytes announcing gigabytes must fail on the count, not in the allocator.
        {"huge size",
         [](Bytes& b) {
             StoreLE32(&b[4], 0x7FFFFFFF);
             StoreLE32(&b[8], 0x7FFFFFFF);
         },
         ErrorShortRead},
        {"most negative height", [](Bytes& b) { StoreLE32(&b[8], 0x80000000); }, ErrorShortRead},
        // Bit fields come after the header as three masks: at 32 bits they take 12 row bytes.
        {"bit fields at 32 bits without room for masks",
         [&depth](Bytes& b) {
             depth(32)(b);
             StoreLE32(&b[4], 3);
             StoreLE32(&b[16], kDibBitFields);
         },
         ErrorShortRead},
    };
    for (const auto& [name, damage, error] : cases) {
        Bytes block = valid;
        damage(block);
        EXPECT_EQ(DibBlockError(block), error) << name;
    }
}

} // namespace
