// The codec image end to end: every mode survives a lossless file exactly, at any size and with
// or without region support; files and decoded pixels do not depend on the thread count;
// region reads equal the crop of a full read, as reads for rows equal whole reads; progressive
// reads, callbacks and cancellation leave a consistent image.
#include "error_of.h"
#include "qvt_image.h"
#include "test_pixels.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

struct Pixels {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t rowBytes = 0;
    std::vector<std::uint8_t> bytes;

    std::uint8_t* Row(std::uint32_t y) { return bytes.data() + y * rowBytes; }
    std::ptrdiff_t Pitch() const { return static_cast<std::ptrdiff_t>(rowBytes); }
};

Pixels RandomPixels(const ModeLayout& layout, std::uint32_t width, std::uint32_t height,
                    std::uint32_t seed) {
    Pixels pixels{width, height, RowBytes(layout, width), {}};
    pixels.bytes.resize(pixels.rowBytes * height);
    std::mt19937 rng(seed);
    const std::uint8_t depth = DepthsOf(layout.mode).back();
    for (std::uint32_t y = 0; y < height; ++y)
        FillRow(layout, width, depth, SampleAlignment::Top, rng, pixels.Row(y));
    return pixels;
}

// A smooth picture with some noise: compresses like a photograph, so lossy files differ from
// lossless ones but stay close.
Pixels SmoothPixels(const ModeLayout& layout, std::uint32_t width, std::uint32_t height) {
    Pixels pixels{width, height, RowBytes(layout, width), {}};
    pixels.bytes.resize(pixels.rowBytes * height);
    std::mt19937 rng(7);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::size_t i = 0; i < pixels.rowBytes; ++i) {
            // A triangle wave has no jumps, unlike a wrapping ramp.
            const std::size_t phase = (i + 2 * y) % 480;
            const std::size_t wave = phase < 240 ? phase : 479 - phase;
            pixels.Row(y)[i] = static_cast<std::uint8_t>(wave + rng() % 8);
        }
    return pixels;
}

QVTHeader HeaderFor(const ModeLayout& layout, std::uint32_t width, std::uint32_t height,
                    std::uint8_t quality = 0, std::uint8_t levels = 0) {
    QVTHeader header;
    header.width = width;
    header.height = height;
    header.levels = levels;
    header.quality = quality;
    header.bitsPerPixel = static_cast<std::uint8_t>(layout.bitsPerPixel);
    header.channels = static_cast<std::uint8_t>(layout.channels);
    header.mode = layout.mode;
    return header;
}

struct WriteOptions {
    std::uint8_t quality = 0;
    std::uint8_t levels = 0;
    bool region = false;
    int threads = 0;
    bool parallel = true;
};

std::vector<std::uint8_t> Encode(const ModeLayout& layout, Pixels& pixels,
                                 const WriteOptions& options = {}) {
    CQVTImage image;
    image.SetThreadCount(options.threads);
    image.SetParallel(options.parallel, options.parallel);
    image.SetHeader(HeaderFor(layout, pixels.width, pixels.height, options.quality, options.levels),
                    options.region ? kVersionRegion : 0);
    image.ImportPixels(pixels.Pitch(), pixels.bytes.data(), layout.bitsPerPixel);
    CQVTMemoryStream stream(0);
    image.Write(stream);
    const auto* data = static_cast<const std::uint8_t*>(stream.Data());
    return {data, data + stream.DataSize()};
}

Pixels Export(CQVTImage& image, const ModeLayout& layout) {
    Pixels pixels{image.ExportWidth(), image.ExportHeight(), 0, {}};
    pixels.rowBytes = RowBytes(layout, pixels.width);
    pixels.bytes.resize(pixels.rowBytes * pixels.height);
    image.ExportPixels(pixels.Pitch(), pixels.bytes.data(), layout.bitsPerPixel);
    return pixels;
}

// Decodes a whole file (or a region of it) to `level`.
Pixels Decode(std::vector<std::uint8_t> file, const ModeLayout& layout, int level = 0,
              int threads = 0, const RegionRect* region = nullptr) {
    CQVTMemoryStream stream(file.data(), file.size());
    CQVTImage image;
    image.SetThreadCount(threads);
    image.Open(stream);
    if (region)
        image.ReadRegion(*region, level);
    else
        image.Read(level);
    return Export(image, layout);
}

// Decodes a whole file read for rows where it can be, split into `runs` runs, exported in strips
// of `strip` rows taken from the runs in turn, the last run first, or whole on `runs` threads
// (strip 0); `forRows` tells whether it was read for rows.
Pixels DecodeRows(std::vector<std::uint8_t> file, const ModeLayout& layout, std::uint32_t strip,
                  bool* forRows = nullptr, int runs = 1) {
    CQVTMemoryStream stream(file.data(), file.size());
    CQVTImage image;
    image.SetThreadCount(1);
    image.Open(stream);
    const bool rows = image.ReadForRows();
    if (!rows) image.Read(0);
    if (forRows) *forRows = rows;
    Pixels pixels{image.ExportWidth(), image.ExportHeight(), 0, {}};
    pixels.rowBytes = RowBytes(layout, pixels.width);
    pixels.bytes.resize(pixels.rowBytes * pixels.height);
    if (strip == 0) {
        image.SetThreadCount(runs);
        image.ExportPixels(pixels.Pitch(), pixels.bytes.data(), layout.bitsPerPixel);
        return pixels;
    }
    std::vector<std::uint32_t> next = image.SplitRowsIntoRuns(runs);
    if (next.empty()) next = {0};
    std::vector<std::uint32_t> ends(next.begin() + 1, next.end());
    ends.push_back(pixels.height);
    for (bool more = true; more;) {
        more = false;
        for (std::size_t r = next.size(); r-- > 0;) {
            if (next[r] == ends[r]) continue;
            const std::uint32_t count = std::min(strip, ends[r] - next[r]);
            image.ExportPixelRows(next[r], count, pixels.Pitch(), pixels.Row(next[r]),
                                  layout.bitsPerPixel);
            next[r] += count;
            more = true;
        }
    }
    return pixels;
}

ModeLayout LayoutOf(std::uint8_t mode) {
    for (const ModeLayout& layout : kModes)
        if (layout.mode == mode) return layout;
    ADD_FAILURE() << "no layout for mode " << +mode;
    return kModes[0];
}

std::string Describe(std::uint32_t width, std::uint32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

class LosslessFile : public testing::TestWithParam<ModeLayout> {};

TEST_P(LosslessFile, EveryModeGivesBackItsExactPixels) {
    const ModeLayout layout = GetParam();
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1},   {5, 7},   {9, 9},   {10, 10},
                                                             {33, 17}, {70, 45}, {130, 67}};
    for (const auto& [width, height] : sizes)
        for (const bool region : {false, true}) {
            SCOPED_TRACE(Describe(width, height) + (region ? " region" : ""));
            Pixels pixels = RandomPixels(layout, width, height, width * 31 + height);
            const std::vector<std::uint8_t> file = Encode(layout, pixels, {.region = region});
            const Pixels decoded = Decode(file, layout);
            ASSERT_EQ(decoded.width, width);
            ASSERT_EQ(decoded.height, height);
            ASSERT_EQ(decoded.bytes, pixels.bytes);
            EXPECT_EQ(DecodeRows(file, layout, 7, nullptr, 3).bytes, pixels.bytes);
        }
}

std::string ModeName(const testing::TestParamInfo<ModeLayout>& info) {
    return "Mode" + std::to_string(info.param.mode);
}

INSTANTIATE_TEST_SUITE_P(EveryCodecMode, LosslessFile, testing::ValuesIn(kModes), ModeName);

// Nor does a count given to one image become the calling thread's default for later loops.
TEST(QVTFile, BytesAndPixelsDoNotDependOnTheThreadCount) {
    const int defaultThreads = omp_get_max_threads();
    omp_set_num_threads(5);
    for (const std::uint8_t mode : {ModeRGB, ModeGray16, ModeCMYK}) {
        const ModeLayout layout = LayoutOf(mode);
        for (const bool region : {false, true})
            for (const std::uint8_t quality : {0, 6}) {
                SCOPED_TRACE("mode " + std::to_string(mode) + " quality " +
                             std::to_string(quality) + (region ? " region" : ""));
                // Several batches of code blocks; in the square, bands end where blocks end.
                const bool square = quality == 6;
                Pixels pixels =
                    square ? SmoothPixels(layout, 512, 512) : SmoothPixels(layout, 608, 520);
                const WriteOptions base{.quality = quality, .region = region};
                WriteOptions serial = base;
                serial.parallel = false;
                WriteOptions one = base;
                one.threads = 1;
                WriteOptions two = base;
                two.threads = 2;
                WriteOptions three = base;
                three.threads = 3;
                const auto reference = Encode(layout, pixels, serial);
                EXPECT_EQ(Encode(layout, pixels, one), reference);
                EXPECT_EQ(Encode(layout, pixels, two), reference);
                EXPECT_EQ(Encode(layout, pixels, three), reference);
                const Pixels decodedOne = Decode(reference, layout, 0, 1);
                EXPECT_EQ(Decode(reference, layout, 0, 2).bytes, decodedOne.bytes);
                EXPECT_EQ(Decode(reference, layout, 0, 3).bytes, decodedOne.bytes);
                bool forRows = false;
                EXPECT_EQ(DecodeRows(reference, layout, 100, &forRows).bytes, decodedOne.bytes);
                EXPECT_EQ(DecodeRows(reference, layout, 100, nullptr, 2).bytes, decodedOne.bytes);
                EXPECT_EQ(DecodeRows(reference, layout, 0, nullptr, 3).bytes, decodedOne.bytes);
                // Lossy colour files halve their chroma, which only whole reads rebuild.
                EXPECT_EQ(forRows, !region && (quality == 0 || mode == ModeGray16));
                EXPECT_EQ(omp_get_max_threads(), 5);
            }
    }
    omp_set_num_threads(defaultThreads);
}

// Blue, green and red follow waves of different phase and period, so the chroma channels carry
// real content (a gray-ish picture would hide a broken chroma path).
Pixels ColourfulPixels(std::uint32_t width, std::uint32_t height) {
    const ModeLayout layout = LayoutOf(ModeRGB);
    Pixels pixels{width, height, RowBytes(layout, width), {}};
    pixels.bytes.resize(pixels.rowBytes * height);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            for (std::uint32_t c = 0; c < 3; ++c) {
                const std::uint32_t period = 160 + 90 * c;
                const std::uint32_t phase = (x * (c + 1) + y * (3 - c) + 60 * c) % period;
                const std::uint32_t wave = phase < period / 2 ? phase : period - phase;
                pixels.Row(y)[3 * x + c] = static_cast<std::uint8_t>(wave * 255 / (period / 2));
            }
    return pixels;
}

double MeanAbsoluteError(const Pixels& a, const Pixels& b) {
    double total = 0;
    for (std::size_t i = 0; i < a.bytes.size(); ++i)
        total += std::abs(a.bytes[i] - b.bytes[i]);
    return total / static_cast<double>(a.bytes.size());
}

TEST(QVTFile, LossyColourFilesStayCloseToTheImage) {
    const ModeLayout layout = LayoutOf(ModeRGB);
    Pixels pixels = ColourfulPixels(121, 90);
    const auto lossless = Encode(layout, pixels);
    const struct {
        std::uint8_t quality;
        double bound;
    } cases[] = {{3, 1.0}, {4, 3.0}, {6, 5.0}, {8, 10.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("quality " + std::to_string(c.quality));
        const auto lossy = Encode(layout, pixels, {.quality = c.quality});
        EXPECT_LT(lossy.size(), lossless.size());
        EXPECT_LT(MeanAbsoluteError(Decode(lossy, layout), pixels), c.bound);
    }
}

// The crop of `full` (at the level's size) that the region covers at `level`.
Pixels Crop(const Pixels& full, const ModeLayout& layout, const RegionRect& rect) {
    Pixels crop{rect.Width(), rect.Height(), RowBytes(layout, rect.Width()), {}};
    const std::size_t pixelBytes = layout.bitsPerPixel / 8;
    for (std::uint32_t y = rect.top; y < rect.bottom; ++y) {
        const std::uint8_t* row = full.bytes.data() + y * full.rowBytes;
        crop.bytes.insert(crop.bytes.end(), row + rect.left * pixelBytes,
                          row + rect.right * pixelBytes);
    }
    return crop;
}

// A region read at level L exports the rectangle whose edges are ceil(edge / 2^L) of the full-size
// one; one narrower or lower than 2^L pixels keeps one sample (the level's last one at its
// border). It equals that crop of the level's full read.
TEST(QVTRegion, RegionReadEqualsTheCropOfTheFullRead) {
    std::mt19937 rng(99);
    const auto below = [&rng](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    std::vector<RegionRect> rects{{1, 1, 10, 10}, {5, 9, 6, 10}, {199, 149, 200, 150}};
    for (int trial = 0; trial < 12; ++trial) {
        const std::uint32_t left = below(190), top = below(140);
        // Every third rectangle is at most 3 pixels wide and high.
        const std::uint32_t spanX = trial % 3 == 0 ? 3 : 200 - left;
        const std::uint32_t spanY = trial % 3 == 0 ? 3 : 150 - top;
        rects.push_back({left, top, left + 1 + below(spanX), top + 1 + below(spanY)});
    }
    for (const std::uint8_t mode : {ModeRGB, ModeGray, ModeRGB48})
        for (const std::uint8_t quality : {0, 5}) {
            const ModeLayout layout = LayoutOf(mode);
            Pixels pixels = SmoothPixels(layout, 200, 150);
            const auto file =
                Encode(layout, pixels, {.quality = quality, .levels = 3, .region = true});
            for (const int level : {0, 1, 2}) {
                const Pixels full = Decode(file, layout, level);
                const auto edge = [level](std::uint32_t v) {
                    return (v + (1u << level) - 1) >> level;
                };
                for (const RegionRect& rect : rects) {
                    SCOPED_TRACE("mode " + std::to_string(mode) + " q " + std::to_string(quality) +
                                 " level " + std::to_string(level) + " rect " +
                                 std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
                                 std::to_string(rect.right) + "," + std::to_string(rect.bottom));
                    RegionRect scaled{edge(rect.left), edge(rect.top), edge(rect.right),
                                      edge(rect.bottom)};
                    if (scaled.left >= full.width) scaled.left = full.width - 1;
                    if (scaled.top >= full.height) scaled.top = full.height - 1;
                    scaled.right = std::max(scaled.right, scaled.left + 1);
                    scaled.bottom = std::max(scaled.bottom, scaled.top + 1);
                    if (level == 2 && rect == RegionRect{1, 1, 10, 10}) {
                        ASSERT_EQ(scaled, (RegionRect{1, 1, 3, 3}));
                    }
                    const Pixels region = Decode(file, layout, level, 0, &rect);
                    ASSERT_EQ(region.width, scaled.Width());
                    ASSERT_EQ(region.height, scaled.Height());
                    ASSERT_EQ(region.bytes, Crop(full, layout, scaled).bytes);
                }
            }
        }
}

TEST(QVTRegion, ReadsOfRegionFilesNeverRedoOrGoBackUp) {
    const ModeLayout layout = LayoutOf(ModeGray);
    Pixels pixels = SmoothPixels(layout, 160, 160);
    auto file = Encode(layout, pixels, {.region = true});
    CQVTMemoryStream stream(file.data(), file.size());
    CQVTImage image;
    image.Open(stream);
    int reports = 0;
    const auto count = [](double, bool, void* data) {
        ++*static_cast<int*>(data);
        return false;
    };
    image.Read(2, count, &reports);
    EXPECT_EQ(image.CurrentLevel(), 2);
    const int afterFirst = reports;
    image.Read(2, count, &reports);
    image.Read(3, count, &reports);
    EXPECT_EQ(image.CurrentLevel(), 2);
    EXPECT_EQ(reports, afterFirst);
    image.Read(0);
    EXPECT_EQ(Export(image, layout).bytes, pixels.bytes);
}

TEST(QVTProgress, LevelsReportQuarterStepsAndCancelKeepsAConsistentImage) {
    const ModeLayout layout = LayoutOf(ModeRGB);
    Pixels pixels = SmoothPixels(layout, 200, 200);
    auto file = Encode(layout, pixels, {.levels = 5});
    for (const bool region : {false, true}) {
        if (region) file = Encode(layout, pixels, {.levels = 5, .region = true});
        const auto record = [](double fraction, bool, void* data) {
            static_cast<std::vector<double>*>(data)->push_back(fraction);
            return false;
        };
        std::vector<double> fractions;
        {
            CQVTMemoryStream stream(file.data(), file.size());
            CQVTImage image;
            image.Open(stream);
            ASSERT_EQ(image.Header().levels, 5);
            image.Read(0, record, &fractions);
            EXPECT_EQ(fractions, (std::vector<double>{1.0 / 256, 1.0 / 64, 1.0 / 16, 0.25, 1.0}));
        }
        if (region) {
            // Absolute progress goes on across calls, and starts again with a new rectangle.
            CQVTMemoryStream stream(file.data(), file.size());
            CQVTImage image;
            image.SetAbsoluteProgress(true);
            image.Open(stream);
            fractions.clear();
            image.ReadRegion({10, 10, 90, 90}, 3, record, &fractions);
            image.ReadRegion({10, 10, 90, 90}, 0, record, &fractions);
            image.ReadRegion({100, 40, 180, 120}, 0, record, &fractions);
            EXPECT_EQ(fractions, (std::vector<double>{1.0 / 256, 1.0 / 64, 1.0 / 16, 0.25, 1.0,
                                                      1.0 / 256, 1.0 / 64, 1.0 / 16, 0.25, 1.0}));
        }

        CQVTMemoryStream stream(file.data(), file.size());
        CQVTImage image;
        image.Open(stream);
        int calls = 0;
        const auto cancelSecond = [](double, bool, void* data) {
            return ++*static_cast<int*>(data) == 2;
        };
        EXPECT_EQ(ErrorOf([&] { image.Read(0, cancelSecond, &calls); }), ErrorUserBreak);
        EXPECT_EQ(image.CurrentLevel(), 3);
        const Pixels partial = Export(image, layout);
        EXPECT_EQ(partial.width, 25u);
        EXPECT_EQ(partial.height, 25u);
        EXPECT_EQ(partial.bytes, Decode(file, layout, 3).bytes)
            << "a cancelled read shows its level";
        image.Read(0);
        EXPECT_EQ(Export(image, layout).bytes, pixels.bytes) << "reading goes on after a cancel";
    }
}

// A read to full size keeps the coarser planes inside the full-size one while it runs; what a
// view shows after each level must still be that level's image.
TEST(QVTProgress, RefreshAfterEachLevelShowsWhatAReadToThatLevelGives) {
    const ModeLayout layout = LayoutOf(ModeRGB);
    Pixels pixels = SmoothPixels(layout, 75, 61);
    for (const bool region : {false, true}) {
        auto file = Encode(layout, pixels, {.quality = 3, .levels = 4, .region = region});
        CQVTMemoryStream stream(file.data(), file.size());
        CQVTImage image;
        image.Open(stream);
        struct Shown {
            CQVTImage& image;
            const ModeLayout& layout;
            std::vector<Pixels> levels;
        } shown{image, layout, {}};
        image.SetRefreshCallback(
            [](void* data) {
                auto& s = *static_cast<Shown*>(data);
                s.levels.push_back(Export(s.image, s.layout));
            },
            &shown);
        image.Read(0);
        const int levels = image.Header().levels;
        ASSERT_GE(levels, 3);
        ASSERT_EQ(shown.levels.size(), static_cast<std::size_t>(levels));
        for (int level = levels - 1; level >= 0; --level)
            EXPECT_EQ(shown.levels[static_cast<std::size_t>(levels - 1 - level)].bytes,
                      Decode(file, layout, level).bytes)
                << "region " << region << " level " << level;
    }
}

TEST(QVTRegion, OneImageSwitchingBetweenWholeAndRegionReadsGivesWhatFreshReadsGive) {
    const ModeLayout layout = LayoutOf(ModeRGB);
    Pixels pixels = SmoothPixels(layout, 120, 90);
    auto file = Encode(layout, pixels, {.levels = 4, .region = true});
    CQVTMemoryStream stream(file.data(), file.size());
    CQVTImage image;
    image.Open(stream);
    const RegionRect whole{0, 0, 0, 0};
    const RegionRect middle{10, 20, 70, 50};
    const RegionRect corner{50, 5, 120, 90};
    const std::pair<RegionRect, int> steps[] = {{whole, 2},  {middle, 0}, {whole, 1}, {whole, 0},
                                                {corner, 2}, {corner, 0}, {whole, 0}};
    for (const auto& [rect, level] : steps) {
        image.ReadRegion(rect, level);
        EXPECT_EQ(Export(image, layout).bytes, Decode(file, layout, level, 0, &rect).bytes)
            << rect.left << "," << rect.top << " level " << level;
    }
}

// Strips let a writer stream a large image; halved chroma must keep its phase at every strip
// start, also when a region starts on an odd row.
TEST(QVTExport, StripsOfAnyHeightMakeUpTheWholeExport) {
    const ModeLayout layout = LayoutOf(ModeRGB);
    Pixels pixels = SmoothPixels(layout, 61, 47);
    auto file = Encode(layout, pixels, {.quality = 6, .levels = 3, .region = true});
    for (const RegionRect& rect : {RegionRect{0, 0, 0, 0}, RegionRect{7, 13, 50, 40}}) {
        CQVTMemoryStream stream(file.data(), file.size());
        CQVTImage image;
        image.Open(stream);
        ASSERT_TRUE(image.ChromaHalved());
        image.ReadRegion(rect, 0);
        const Pixels whole = Export(image, layout);
        for (std::uint32_t strip = 1; strip <= whole.height; ++strip) {
            Pixels pieces = whole;
            std::fill(pieces.bytes.begin(), pieces.bytes.end(), std::uint8_t{0});
            for (std::uint32_t first = 0; first < whole.height; first += strip)
                image.ExportPixelRows(first, std::min(strip, whole.height - first), pieces.Pitch(),
                                      pieces.Row(first), layout.bitsPerPixel);
            ASSERT_EQ(pieces.bytes, whole.bytes) << "strips of " << strip << " rows";
        }
        EXPECT_THROW(image.ExportPixelRows(whole.height, 1, whole.Pitch(), nullptr, 24),
                     IOException);
    }
}

TEST(QVTWriting, LevelCountRuleAndHeaderSetters) {
    const ModeLayout rgb = LayoutOf(ModeRGB);
    const struct {
        std::uint32_t width, height;
        std::uint8_t requested;
        int levels;
    } cases[] = {{1000, 800, 0, 4}, {4000, 3000, 0, 6}, {9, 9, 0, 0},    {10, 10, 0, 1},
                 {1000, 800, 2, 2}, {40, 40, 29, 3},    {40, 40, 30, 3}, {1u << 31, 10, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Describe(c.width, c.height) + " requested " + std::to_string(c.requested));
        CQVTImage image;
        // The planes of the widest case cannot be allocated; the level count is chosen first.
        const std::uint32_t error =
            ErrorOf([&] { image.SetHeader(HeaderFor(rgb, c.width, c.height, 0, c.requested)); });
        EXPECT_TRUE(error == 0 || error == ErrorOutOfMemory);
        EXPECT_EQ(image.Header().levels, c.levels);
    }

    CQVTImage image;
    image.SetHeader(HeaderFor(rgb, 1000, 800, 5));
    EXPECT_EQ(image.Quantisation(), 4);
    EXPECT_TRUE(image.ChromaHalved());
    image.SetHeader(HeaderFor(rgb, 1000, 800, 3));
    EXPECT_EQ(image.Quantisation(), 3);
    EXPECT_FALSE(image.ChromaHalved());

    for (const auto& [width, height] : {std::pair{0u, 10u}, std::pair{10u, 0u}})
        EXPECT_EQ(ErrorOf([&] { image.SetHeader(HeaderFor(rgb, width, height)); }),
                  ErrorWrongFormat);

    const ModeLayout gray16 = LayoutOf(ModeGray16);
    image.SetHeader(HeaderFor(gray16, 8, 8));
    image.SetMaxChannelValue(4095);
    EXPECT_EQ(image.Header().usedBitsPerChannel, 12);
    image.SetMaxChannelValue(70000);
    EXPECT_EQ(image.Header().usedBitsPerChannel, 16);
    image.SetMaxChannelValue(0);
    EXPECT_EQ(image.Header().usedBitsPerChannel, 16) << "no known maximum keeps the full depth";

    std::uint8_t entries[7 * 4] = {};
    image.SetHeader(HeaderFor(LayoutOf(ModeIndexed), 8, 8));
    EXPECT_NO_THROW(image.SetColorTable(250, 6, entries));
    EXPECT_THROW(image.SetColorTable(250, 7, entries), IOException);
    EXPECT_THROW(image.GetColorTable(-1, 2, entries), IOException);
}

// Cut and corrupted files: each outcome is a clean exception or an image, never a crash, and
// the same whatever the thread count.
struct Outcome {
    std::uint32_t error = 0;
    std::vector<std::uint8_t> pixels;
    bool operator==(const Outcome&) const = default;
};

Outcome TryDecode(const std::vector<std::uint8_t>& file, const ModeLayout& layout, int threads,
                  bool region) {
    Outcome outcome;
    try {
        std::vector<std::uint8_t> copy = file;
        CQVTMemoryStream stream(copy.data(), copy.size());
        CQVTImage image;
        image.SetThreadCount(threads);
        image.Open(stream);
        if (region)
            image.ReadRegion({3, 5, 20, 17}, 0);
        else
            image.Read(0);
        outcome.pixels = Export(image, layout).bytes;
    } catch (const IOException& error) {
        outcome.error = error.error;
    }
    return outcome;
}

// The outcome of a read for rows: the image or the first error met while its rows were made.
Outcome TryDecodeRows(const std::vector<std::uint8_t>& file, const ModeLayout& layout, int runs) {
    Outcome outcome;
    try {
        outcome.pixels = DecodeRows(file, layout, 13, nullptr, runs).bytes;
    } catch (const IOException& error) {
        outcome.error = error.error;
    }
    return outcome;
}

TEST(QVTHostileInput, TruncatedAndCorruptedFilesFailCleanlyAndAlike) {
    const ModeLayout layout = LayoutOf(ModeRGB);
    Pixels pixels = SmoothPixels(layout, 37, 29);
    for (const bool region : {false, true}) {
        const auto file = Encode(layout, pixels, {.quality = 4, .region = region});
        for (std::size_t cut = 0; cut < file.size(); ++cut) {
            const std::vector<std::uint8_t> truncated(file.begin(), file.begin() + cut);
            const Outcome one = TryDecode(truncated, layout, 1, region);
            EXPECT_NE(one.error, 0u) << "cut at " << cut;
            EXPECT_EQ(TryDecode(truncated, layout, 2, region), one) << "cut at " << cut;
        }
        std::mt19937 rng(region ? 11 : 12);
        for (int trial = 0; trial < 1500; ++trial) {
            std::vector<std::uint8_t> damaged = file;
            const int flips = 1 + static_cast<int>(rng() % 3);
            for (int i = 0; i < flips; ++i)
                damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            const Outcome one = TryDecode(damaged, layout, 1, region);
            EXPECT_EQ(TryDecode(damaged, layout, 2, region), one) << "trial " << trial;
        }
    }
}

// A read for rows decodes the last level's blocks in another order than the stream holds them,
// and runs of rows each decode their own; a damaged or cut file must still give the image, or
// the error, a whole read gives.
TEST(QVTHostileInput, ReadsForRowsFailAsWholeReadsDo) {
    const ModeLayout layout = LayoutOf(ModeRGB);
    Pixels pixels = SmoothPixels(layout, 150, 110);
    const auto file = Encode(layout, pixels);
    bool forRows = false;
    ASSERT_EQ(DecodeRows(file, layout, 13, &forRows).bytes, pixels.bytes);
    ASSERT_TRUE(forRows);
    for (std::size_t cut = file.size() / 2; cut < file.size(); cut += 37) {
        const std::vector<std::uint8_t> truncated(file.begin(), file.begin() + cut);
        const Outcome whole = TryDecode(truncated, layout, 1, false);
        EXPECT_EQ(TryDecodeRows(truncated, layout, 1), whole) << "cut at " << cut;
        EXPECT_EQ(TryDecodeRows(truncated, layout, 2), whole) << "cut at " << cut;
    }
    std::mt19937 rng(13);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::uint8_t> damaged = file;
        // Many blocks must fail for the first needed to come after the first stored.
        const int flips = 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < flips; ++i)
            damaged[file.size() / 2 + rng() % (file.size() / 2)] ^=
                static_cast<std::uint8_t>(1u << (rng() % 8));
        const Outcome whole = TryDecode(damaged, layout, 1, false);
        EXPECT_EQ(TryDecodeRows(damaged, layout, 1), whole) << "trial " << trial;
        EXPECT_EQ(TryDecodeRows(damaged, layout, 2), whole) << "trial " << trial;
    }
}

} // namespace
