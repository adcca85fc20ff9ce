// Bitmaps of the depths other programs write and no command expects — 4-bit indexed, 16-bit
// 5-5-5 and 5-6-5, 32-bit bit fields, 32-bit with an unused fourth byte — open as documents of
// the ordinary display depths (so a 32-bit file is not shown invisible), keep what they hold,
// save, and open again; damaged files give a message, not a crash.
#include "byte_order.h"
#include "fake_services.h"
#include "pictor_app.h"
#include "pixel_probe.h"
#include "test_files.h"
#include "test_platform.h"

#include <gtest/gtest.h>

namespace {

struct BmpLayout {
    int bitsPerPixel;
    std::uint32_t compression = 0;
    std::uint32_t infoSize = 40;
    std::vector<std::uint32_t> masks;  // red, green, blue
    std::vector<std::uint32_t> colors; // table entries as 0x00RRGGBB
    std::vector<std::uint32_t> pixels; // width × height values, top row first
    int width = 2;
    int height = 2;
};

// A BMP file, rows bottom first.
std::string Bmp(const BmpLayout& layout) {
    std::vector<std::uint8_t> info(layout.infoSize, 0);
    StoreLE32(info.data(), layout.infoSize);
    StoreLE32(info.data() + 4, static_cast<std::uint32_t>(layout.width));
    StoreLE32(info.data() + 8, static_cast<std::uint32_t>(layout.height));
    StoreLE16(info.data() + 12, 1);
    StoreLE16(info.data() + 14, static_cast<std::uint16_t>(layout.bitsPerPixel));
    StoreLE32(info.data() + 16, layout.compression);
    StoreLE32(info.data() + 32, static_cast<std::uint32_t>(layout.colors.size()));
    std::vector<std::uint8_t> extra;
    for (std::size_t i = 0; i < layout.masks.size(); ++i) {
        if (layout.infoSize >= 52) {
            StoreLE32(info.data() + 40 + 4 * i, layout.masks[i]);
        } else {
            extra.resize(extra.size() + 4);
            StoreLE32(extra.data() + extra.size() - 4, layout.masks[i]);
        }
    }
    for (const std::uint32_t color : layout.colors) {
        extra.resize(extra.size() + 4);
        StoreLE32(extra.data() + extra.size() - 4, color);
    }
    const std::size_t pitch =
        (static_cast<std::size_t>(layout.width) * layout.bitsPerPixel + 31) / 32 * 4;
    std::vector<std::uint8_t> rows(pitch * static_cast<std::size_t>(layout.height), 0);
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x) {
            const std::uint32_t value =
                layout.pixels[static_cast<std::size_t>(y * layout.width + x)];
            std::uint8_t* row =
                rows.data() + pitch * static_cast<std::size_t>(layout.height - 1 - y);
            if (layout.bitsPerPixel == 4)
                row[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? value << 4 : value);
            else
                for (int b = 0; b < layout.bitsPerPixel / 8; ++b)
                    row[x * layout.bitsPerPixel / 8 + b] =
                        static_cast<std::uint8_t>(value >> (8 * b));
        }
    std::vector<std::uint8_t> file(14, 0);
    file[0] = 'B';
    file[1] = 'M';
    StoreLE32(file.data() + 10, static_cast<std::uint32_t>(14 + info.size() + extra.size()));
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), extra.begin(), extra.end());
    file.insert(file.end(), rows.begin(), rows.end());
    StoreLE32(file.data() + 2, static_cast<std::uint32_t>(file.size()));
    return {file.begin(), file.end()};
}

struct BitmapFixture : ::testing::Test, ShellObserver {
    TempDir dir;
    FakeServices services;
    CPictorApp app{services, TestPlatform()};
    std::vector<CMyDoc*> opened;

    BitmapFixture() { app.SetObserver(this); }
    void DocumentOpened(CMyDoc& document) override { opened.push_back(&document); }
    void DocumentClosing(CMyDoc&) override {}
    void StateChanged() override {}

    CMyDoc* Open(const std::string& name) {
        const std::size_t before = opened.size();
        app.OpenPaths({dir / name});
        EXPECT_TRUE(services.RunUntil([this] { return !app.Jobs().AnyBusy(); }));
        return opened.size() > before ? opened.back() : nullptr;
    }
    Rgba Pixel(const CMyDoc& document, std::uint32_t x, std::uint32_t y) {
        return DisplayPixel(*document.Image().display, x, y);
    }
};

} // namespace

TEST_F(BitmapFixture, OddDepthsOpenAtTheUsualDepthsAndSave) {
    const struct {
        const char* name;
        BmpLayout layout;
        std::uint32_t mode;
        int displayBits;
        Rgba topLeft;
    } rows[] = {
        {"four.bmp",
         {4, 0, 40, {}, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}, {1, 2, 3, 0}},
         ModeIndexed,
         8,
         {255, 0, 0, 255}},
        {"555.bmp",
         {16, 0, 40, {}, {}, {0x7C00, 0x03E0, 0x001F, 0}},
         ModeRGB,
         24,
         {255, 0, 0, 255}},
        // RGB16 is shown by the pixel maps' own conversion, which shifts the fields up.
        {"565.bmp",
         {16, 3, 40, {0xF800, 0x07E0, 0x001F}, {}, {0x07E0, 0, 0, 0xFFFF}},
         ModeRGB16,
         24,
         {0, 252, 0, 255}},
        {"fields.bmp",
         {32, 3, 124, {0x0000FF00, 0x00FF0000, 0xFF000000}, {}, {0x0000FF00, 0, 0, 0}},
         ModeRGB,
         24,
         {255, 0, 0, 255}},
        {"noalpha.bmp", {32, 0, 40, {}, {}, {0x00102030, 0, 0, 0}}, ModeRGB, 24, {16, 32, 48, 255}},
        {"alpha.bmp", {32, 0, 40, {}, {}, {0x80102030, 0, 0, 0}}, ModeARGB, 32, {16, 32, 48, 128}},
    };
    for (const auto& row : rows) {
        WriteBytes(dir / row.name, Bmp(row.layout));
        CMyDoc* document = Open(row.name);
        ASSERT_NE(document, nullptr) << row.name << ": " << services.messages.back().text;
        EXPECT_EQ(document->Mode(), row.mode) << row.name;
        EXPECT_EQ(document->Image().display->BitsPerPixel(), row.displayBits) << row.name;
        EXPECT_EQ(Pixel(*document, 0, 0), row.topLeft) << row.name;

        // Saved in a format of its mode and opened again, it holds the same.
        const std::string copy = row.mode == ModeRGB16  ? "copy.qvt"
                                 : row.mode == ModeARGB ? "copy.png"
                                                        : "copy.bmp";
        services.savePath = dir / copy;
        app.Save(*document, SaveKind::SaveCopy);
        ASSERT_TRUE(services.RunUntil([this] { return !app.Jobs().AnyBusy(); }));
        CMyDoc* reopened = Open(copy);
        ASSERT_NE(reopened, nullptr) << row.name;
        EXPECT_EQ(reopened->Mode(), row.mode) << row.name;
        EXPECT_EQ(Pixel(*reopened, 0, 0), row.topLeft) << row.name;
    }
}

TEST_F(BitmapFixture, DamagedBitmapsGiveAMessage) {
    std::string truncated = Bmp({24, 0, 40, {}, {}, {1, 2, 3, 4}});
    truncated.resize(truncated.size() - 3);
    std::string noTable = Bmp({8, 0, 40, {}, {}, {0, 0, 0, 0}});
    StoreLE32(reinterpret_cast<std::uint8_t*>(noTable.data()) + 14 + 32, 0); // claims 256 colors
    std::string zeroWidth = Bmp({24, 0, 40, {}, {}, {1, 2, 3, 4}});
    StoreLE32(reinterpret_cast<std::uint8_t*>(zeroWidth.data()) + 18, 0);
    std::string hugeHeight = Bmp({24, 0, 40, {}, {}, {1, 2, 3, 4}});
    StoreLE32(reinterpret_cast<std::uint8_t*>(hugeHeight.data()) + 22, 0x7FFFFFFF);
    for (const auto& [name, bytes] :
         {std::pair{"t.bmp", truncated}, std::pair{"n.bmp", noTable}, std::pair{"w.bmp", zeroWidth},
          std::pair{"h.bmp", hugeHeight}}) {
        WriteBytes(dir / name, bytes);
        EXPECT_EQ(Open(name), nullptr) << name;
        EXPECT_NE(services.messages.back().text.find("QVT error"), std::string::npos) << name;
    }
}
