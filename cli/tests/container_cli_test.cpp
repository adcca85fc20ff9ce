// End-to-end tests of the container subcommands: what is written reads back as the source crop in
// every tested mode, ordering and index form, also when the source arrives in strips that cross
// tile borders; a coarse read equals a decode of the tile at that level stretched back; info
// reports what the file holds; reorganizing keeps the content and drops the dead bytes; bad
// arguments and damaged files fail with their status and message.
#include "cli_fixture.h"
#include "kld_ext.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace {

using namespace cli_test;

// The number after "label" in the program's output, -1 when the label is missing.
long long Field(const std::string& text, const std::string& label) {
    const auto at = text.find(label);
    return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + label.size());
}

// A binary PPM of random samples, 8-bit or 16-bit by maxval, and its raw RGB or RGB48 rows.
struct Anymap {
    std::string file;
    std::string raw;
};

Anymap RandomPpm(std::uint32_t width, std::uint32_t height, std::uint32_t maxval,
                 std::uint32_t seed) {
    std::mt19937 random(seed);
    Anymap map{"P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n" +
                   std::to_string(maxval) + "\n",
               {}};
    for (std::uint32_t i = 0; i < width * height; ++i) {
        std::uint32_t rgb[3];
        for (auto& v : rgb)
            v = random() % (maxval + 1);
        for (const std::uint32_t v : rgb) {
            if (maxval > 255) map.file += static_cast<char>(v >> 8);
            map.file += static_cast<char>(v & 0xFF);
        }
        // Memory order is blue, green, red; 16-bit samples native little-endian.
        for (int c = 2; c >= 0; --c) {
            map.raw += static_cast<char>(rgb[c] & 0xFF);
            if (maxval > 255) map.raw += static_cast<char>(rgb[c] >> 8);
        }
    }
    return map;
}

class Container : public Cli {
protected:
    std::string Kle(const std::string& name = "c.kle") const { return Path(name); }

    // Whatever a test wrote, every tile record of every container that opens lies at or after the
    // first 4-aligned offset past the user data.
    void TearDown() override {
        for (const auto& file : std::filesystem::directory_iterator(Path(""))) {
            if (file.path().extension() != ".kle") continue;
            const int fd = ::open(file.path().c_str(), O_RDONLY);
            CKLDExt container;
            try {
                container.Open(fd, 0, 0);
            } catch (const IOException&) {
                // damaged on purpose
            }
            const std::uint64_t start =
                TileDataStart(container.StoredHeaderLength(), container.UserData().size());
            for (const IndexEntry& entry : container.Index().Entries())
                EXPECT_GE(entry.offset, start) << file.path() << " tile " << entry.tile;
            container.Close();
            ::close(fd);
        }
    }
};

TEST_F(Container, WrittenImagesReadBackAsTheSourceCrop) {
    struct Case {
        ImageMode mode;
        const char* options;
    };
    const Case cases[] = {
        {ModeRGB, ""},
        {ModeGray, "--ordering hilbert --plain-index"},
        {ModeBitmap, "--ordering hilbert"},
        {ModeGray16, "--plain-index"},
        {ModeRGB48, ""},
        {ModeCMYK, "--ordering hilbert"},
        {ModeARGB, ""},
        {ModeRGB12, ""},
        {ModeLab48, "--plain-index"},
    };
    const std::uint32_t width = 70;
    const std::uint32_t height = 45;
    for (const Case& c : cases) {
        const ModeLayout& layout = *FindModeLayout(c.mode);
        const std::string raw = RandomRaw(c.mode, width, height, c.mode + 5);
        WriteBytes(Path("in.raw"), raw);
        Ok("kle create " + Kle() + " --size 90x61 --tile 32x24 --mode " + ImageModeName(c.mode) +
           " " + c.options);
        Ok("kle write " + Kle() + " " + Path("in.raw") + " --at 3,5 " +
           RawArgument(c.mode, width, height));
        Ok("kle read " + Kle() + " " + Path("out.raw") + " --region 3,5,70,45");
        EXPECT_TRUE(ReadBytes(Path("out.raw")) == raw) << ImageModeName(c.mode) << " " << c.options;
        if (layout.bitsPerPixel % 8 != 0) continue;
        // A region inside the written part is its crop.
        Ok("kle read " + Kle() + " " + Path("part.raw") + " --region 30,20,41,17");
        EXPECT_TRUE(ReadBytes(Path("part.raw")) ==
                    CropRaw(raw, layout.bitsPerPixel / 8, width, 27, 15, 68, 32))
            << ImageModeName(c.mode);
    }
}

TEST_F(Container, StripsAcrossTileBordersKeepEveryRowAndLeaveTheRestBackground) {
    // The tile rows are 8 high, strips hold one row of tiles and the image starts in the middle
    // of one, so every strip but the first and last covers a whole tile row; the last row of
    // tiles absorbs the 5 extra rows.
    for (const std::uint32_t maxval : {255u, 65535u}) {
        const Anymap ppm = RandomPpm(37, 43, maxval, maxval);
        WriteBytes(Path("in.ppm"), ppm.file);
        const std::string mode = maxval > 255 ? "RGB48" : "RGB";
        const std::size_t pixelBytes = maxval > 255 ? 6 : 3;
        Ok("kle create " + Kle() + " --size 50x61 --tile 16x8 --mode " + mode +
           " --background 102030");
        Ok("kle write " + Kle() + " " + Path("in.ppm") + " --at 11,3 --strip-memory 0");
        Ok("kle read " + Kle() + " " + Path("all.raw") + " --region 0,0,50,61");
        const std::string all = ReadBytes(Path("all.raw"));
        ASSERT_EQ(all.size(), 50 * 61 * pixelBytes);
        EXPECT_TRUE(CropRaw(all, pixelBytes, 50, 11, 3, 48, 46) == ppm.raw) << mode;
        if (maxval == 255) {
            // Blue, green, red in memory.
            EXPECT_EQ(all.substr(0, 3), "\x30\x20\x10");
            EXPECT_EQ(all.substr(all.size() - 3), "\x30\x20\x10");
        }
        // The same image given as the container's source at creation.
        Ok("kle create " + Kle("from.kle") + " --size 37x43 --tile 16x8 --mode " + mode +
           " --strip-memory 0 --from " + Path("in.ppm"));
        Ok("kle read " + Kle("from.kle") + " " + Path("from.raw") + " --region 0,0,37,43");
        EXPECT_TRUE(ReadBytes(Path("from.raw")) == ppm.raw) << mode;
    }
    // Samples below a deep maxval are stretched to the full range, as a conversion does.
    const Anymap deep = RandomPpm(9, 7, 4095, 1);
    WriteBytes(Path("deep.ppm"), deep.file);
    Ok("kle create " + Kle("deep.kle") + " --size 9x7 --mode RGB48 --from " + Path("deep.ppm"));
    Ok("kle read " + Kle("deep.kle") + " " + Path("deep.ppm.out.ppm") + " --region 0,0,9,7");
    Ok("convert " + Path("deep.ppm") + " " + Path("full.ppm") + " --mode RGB");
    Ok("convert " + Path("deep.ppm.out.ppm") + " " + Path("back.ppm") + " --mode RGB");
    EXPECT_TRUE(ReadBytes(Path("back.ppm")) == ReadBytes(Path("full.ppm")));
}

TEST_F(Container, CoarseReadsEqualTheTileDecodedAtThatLevelAndStretched) {
    // Tiles large enough for the codec to give them three levels.
    const std::uint32_t side = 416;
    const std::uint32_t tile = 208;
    const std::string raw = RandomRaw(ModeRGB, side, side, 11);
    WriteBytes(Path("in.raw"), raw);
    Ok("kle create " + Kle() + " --size 416x416 --tile 208x208 --mode RGB");
    Ok("kle write " + Kle() + " " + Path("in.raw") + " --at 0,0 --codec qvt " +
       RawArgument(ModeRGB, side, side));
    // The tile at column 1, row 1 on its own, coded the way the container codes it.
    WriteBytes(Path("tile.raw"), CropRaw(raw, 3, side, tile, tile, side, side));
    Ok("encode " + Path("tile.raw") + " " + Path("tile.qvt") + " " +
       RawArgument(ModeRGB, tile, tile));
    ASSERT_EQ(Field(Run("info " + Path("tile.qvt")).out, "Levels: "), 3);
    for (const int level : {1, 2}) {
        const std::string at = " --level " + std::to_string(level);
        Ok("decode " + Path("tile.qvt") + " " + Path("small.raw") + at);
        Ok("convert " + Path("small.raw") + " " + Path("stretched.raw") + " --size 208x208 " +
           RawArgument(ModeRGB, tile >> level, tile >> level));
        Ok("kle read " + Kle() + " " + Path("coarse.raw") + " --region 208,208,208,208" + at);
        EXPECT_TRUE(ReadBytes(Path("coarse.raw")) == ReadBytes(Path("stretched.raw"))) << at;
        EXPECT_FALSE(ReadBytes(Path("coarse.raw")) ==
                     CropRaw(raw, 3, side, tile, tile, side, side));
        // A region across all four tiles is the crop of the whole image at that level.
        Ok("kle read " + Kle() + " " + Path("whole.raw") + " --region 0,0,416,416" + at);
        Ok("kle read " + Kle() + " " + Path("part.raw") + " --region 150,170,100,90" + at);
        EXPECT_TRUE(ReadBytes(Path("part.raw")) ==
                    CropRaw(ReadBytes(Path("whole.raw")), 3, side, 150, 170, 250, 260))
            << at;
    }
    // A scaled read is the read at the coarsest sufficient level, resized.
    Ok("kle read " + Kle() + " " + Path("half.raw") + " --region 208,208,208,208 --scale 0.5");
    Ok("kle read " + Kle() + " " + Path("level1.raw") + " --region 208,208,208,208 --level 1");
    Ok("convert " + Path("level1.raw") + " " + Path("resized.raw") + " --size 104x104 " +
       RawArgument(ModeRGB, tile, tile));
    EXPECT_TRUE(ReadBytes(Path("half.raw")) == ReadBytes(Path("resized.raw")));
}

TEST_F(Container, InfoReportsGridIndexPreviewAndDeadBytes) {
    struct Case {
        const char* arguments;
        const char* grid;
        const char* preview;
    };
    const Case cases[] = {
        {"--size 1000x1000 --mode RGB", "Grid: 5 x 5 tiles", "Preview: 1000 x 1000"},
        {"--size 2000x1000 --mode Gray", "Grid: 10 x 5 tiles", "Preview: 1000 x 500"},
        {"--size 1500x600 --mode RGB --tile 300x250", "Grid: 5 x 2 tiles", "Preview: 800 x 320"},
        {"--size 600x3000 --mode RGB48", "Grid: 3 x 15 tiles", "Preview: 200 x 1000"},
        {"--size 100000x90 --mode Gray", "Grid: 500 x 1 tiles", "Preview: 800 x 1"},
        {"--size 120x90 --mode CMYK --preview 30x20", "Grid: 1 x 1 tiles", "Preview: 30 x 20"},
    };
    for (const Case& c : cases) {
        Ok("kle create " + Kle() + " " + c.arguments);
        const std::string info = Run("info " + Kle()).out;
        EXPECT_NE(info.find(c.grid), std::string::npos) << info;
        EXPECT_NE(info.find(c.preview), std::string::npos) << info;
        EXPECT_NE(info.find("Index: zlib, 0 entries"), std::string::npos) << info;
        EXPECT_EQ(Field(info, "Dead bytes: "), 0) << info;
        EXPECT_EQ(Field(info, "Orphaned bytes: "), 0) << info;
    }
    WriteBytes(Path("in.raw"), RandomRaw(ModeRGB, 50, 40, 2));
    Ok("kle create " + Kle() +
       " --size 100x80 --tile 20x20 --mode RGB --ordering hilbert "
       "--plain-index --background 00FF00 --quality 3");
    Ok("kle write " + Kle() + " " + Path("in.raw") + " --at 10,10 " + RawArgument(ModeRGB, 50, 40));
    const std::string info = Run("info " + Kle()).out;
    for (const char* line :
         {"Format: KLDExt", "Structure: current (header length 22)", "Size: 100 x 80",
          "Mode: RGB (3)", "Bits per pixel: 24", "Channels: 3", "Background: 00FF00",
          "Default quality: 3", "Tile size: 20 x 20", "Grid: 5 x 4 tiles", "Ordering: hilbert",
          "Index: plain, 9 entries, 144 bytes", "Stored tiles: 9 of 20"})
        EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
}

TEST_F(Container, RepairDropsOrphanedBytesAndReorganizingDeadBytes) {
    Ok("kle create " + Kle() + " --size 96x64 --tile 32x32 --mode RGB");
    // Rewrites: noise over a tile moves it (it codes larger), a flat patch frees space.
    WriteBytes(Path("flat.raw"), std::string(40 * 40 * 3, '\x40'));
    WriteBytes(Path("noise.raw"), RandomRaw(ModeRGB, 40, 40, 9));
    Ok("kle write " + Kle() + " " + Path("flat.raw") + " --at 0,0 " + RawArgument(ModeRGB, 40, 40));
    Ok("kle write " + Kle() + " " + Path("noise.raw") + " --at 20,20 " +
       RawArgument(ModeRGB, 40, 40));
    Ok("kle write " + Kle() + " " + Path("flat.raw") + " --at 50,10 " +
       RawArgument(ModeRGB, 40, 40));
    Ok("kle read " + Kle() + " " + Path("before.raw") + " --region 0,0,96,64");
    Ok("kle preview " + Kle() + " " + Path("p1.ppm"));
    // What a write stopped before its commit leaves past the preview.
    const std::string committed = ReadBytes(Kle());
    WriteBytes(Kle(), committed + std::string(777, 'x'));
    const std::string orphaned = Run("info " + Kle()).out;
    EXPECT_EQ(Field(orphaned, "Orphaned bytes: "), 777) << orphaned;
    EXPECT_NE(Run("kle repair " + Kle()).out.find("Dropped 777 orphaned bytes"), std::string::npos);
    EXPECT_EQ(ReadBytes(Kle()).find(std::string(777, 'x')), std::string::npos);
    const std::string before = Run("info " + Kle()).out;
    EXPECT_EQ(Field(before, "Orphaned bytes: "), 0) << before;
    ASSERT_GT(Field(before, "Dead bytes: "), 0) << before;
    // The preview, rebuilt from the tiles, keeps its size.
    Ok("kle preview " + Kle() + " " + Path("p2.ppm"));
    EXPECT_TRUE(ReadBytes(Path("p2.ppm")).substr(0, 12) == ReadBytes(Path("p1.ppm")).substr(0, 12));

    Ok("kle reorganize " + Kle() + " " + Kle("copy.kle"));
    EXPECT_EQ(Run("info " + Kle()).out, before) << "the source stays as it was";
    Ok("kle reorganize " + Kle());
    for (const char* name : {"c.kle", "copy.kle"}) {
        const std::string after = Run("info " + Kle(name)).out;
        EXPECT_EQ(Field(after, "Dead bytes: "), 0) << after;
        EXPECT_EQ(Field(after, "Stored tiles: "), Field(before, "Stored tiles: "));
        EXPECT_LT(Field(after, "File size: "), Field(before, "File size: "));
        Ok("kle read " + Kle(name) + " " + Path("after.raw") + " --region 0,0,96,64");
        EXPECT_TRUE(ReadBytes(Path("after.raw")) == ReadBytes(Path("before.raw"))) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(Kle() + ".tmp"));
}

TEST_F(Container, OlderFilesAreReadAndRepairBringsThemToTheCurrentStructure) {
    WriteBytes(Path("in.raw"), RandomRaw(ModeRGB, 40, 30, 6));
    Ok("kle create " + Kle() + " --size 40x30 --tile 16x16 --mode RGB --preview 20x15");
    Ok("kle write " + Kle() + " " + Path("in.raw") + " --at 0,0 " + RawArgument(ModeRGB, 40, 30));
    // The same file with a 21-byte header (no default quality); a zero byte after the layout
    // block keeps every offset where it was.
    const std::string current = ReadBytes(Kle());
    WriteBytes(Kle("old.kle"), current.substr(0, 4) + std::string("\x15\0\0\0", 4) +
                                   current.substr(8, 21) + current.substr(30, 24) +
                                   std::string(1, '\0') + current.substr(54));
    EXPECT_NE(Run("info " + Kle("old.kle")).out.find("Structure: older"), std::string::npos);
    Ok("kle read " + Kle("old.kle") + " " + Path("old.raw") + " --region 0,0,40,30");
    EXPECT_TRUE(ReadBytes(Path("old.raw")) == ReadBytes(Path("in.raw")));
    const Outcome write = Run("kle write " + Kle("old.kle") + " " + Path("in.raw") + " --at 0,0 " +
                              RawArgument(ModeRGB, 40, 30));
    EXPECT_EQ(write.status, 1);
    EXPECT_NE(write.err.find("older structure"), std::string::npos) << write.err;

    Ok("kle repair " + Kle("old.kle"));
    const std::string info = Run("info " + Kle("old.kle")).out;
    EXPECT_NE(info.find("Structure: current"), std::string::npos) << info;
    EXPECT_NE(info.find("Preview: 20 x 15"), std::string::npos) << info;
    Ok("kle read " + Kle("old.kle") + " " + Path("new.raw") + " --region 0,0,40,30");
    EXPECT_TRUE(ReadBytes(Path("new.raw")) == ReadBytes(Path("in.raw")));
}

TEST_F(Container, DamagedFilesFailAndAPreviewIsRepaired) {
    WriteBytes(Path("in.raw"), RandomRaw(ModeRGB, 64, 64, 4));
    Ok("kle create " + Kle() + " --size 64x64 --tile 32x32 --mode RGB --preview 16x16");
    Ok("kle write " + Kle() + " " + Path("in.raw") + " --at 0,0 " + RawArgument(ModeRGB, 64, 64));
    const std::string file = ReadBytes(Kle());
    const std::string info = Run("info " + Kle()).out;
    const auto previewAt =
        static_cast<std::size_t>(Field(info.substr(info.find("Preview: ")), "bytes at "));
    ASSERT_LT(previewAt, file.size());

    WriteBytes(Kle("magic.kle"), "XYZ" + file.substr(3));
    WriteBytes(Kle("cut.kle"), file.substr(0, file.size() / 2));
    // The preview's own bytes damaged: the file no longer opens, but repair builds it anew.
    std::string preview = file;
    for (std::size_t i = previewAt; i < file.size(); ++i)
        preview[i] = static_cast<char>(0xA5);
    WriteBytes(Kle("preview.kle"), preview);

    for (const char* name : {"magic.kle", "cut.kle", "preview.kle"}) {
        for (const std::string& command :
             {"info " + Kle(name),
              "kle read " + Kle(name) + " " + Path("x.ppm") + " --region 0,0,8,8"}) {
            const Outcome outcome = Run(command);
            EXPECT_EQ(outcome.status, 1) << command;
            EXPECT_NE(outcome.err.find("pictor-cli: " + Kle(name) + ": QVT error: "),
                      std::string::npos)
                << command << "\n"
                << outcome.err;
        }
    }
    EXPECT_EQ(Run("kle repair " + Kle("magic.kle")).status, 1);
    const Outcome repaired = Run("kle repair " + Kle("preview.kle"));
    EXPECT_EQ(repaired.status, 0) << repaired.err;
    EXPECT_NE(repaired.err.find("preview could not be read"), std::string::npos);
    Ok("kle read " + Kle("preview.kle") + " " + Path("back.raw") + " --region 0,0,64,64");
    EXPECT_TRUE(ReadBytes(Path("back.raw")) == ReadBytes(Path("in.raw")));
    EXPECT_NE(Run("info " + Kle("preview.kle")).out.find("Preview: 500 x 500"), std::string::npos);
}

TEST_F(Container, BadArgumentsAndFailuresGiveTheirStatusAndMessage) {
    Ok("kle create " + Kle() + " --size 64x48 --mode RGB");
    WriteBytes(Path("in.ppm"), "P6\n2 2\n255\n" + std::string(12, 'x'));
    WriteBytes(Path("in.pbm"), "P4\n8 2\n\xA5\x5A");
    Ok("kle create " + Kle("lab.kle") + " --size 16x16 --mode Lab48");
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const std::string kle = " " + Kle() + " ";
    const Case cases[] = {
        {"kle", 2, "unknown command kle"},
        {"kle frobnicate" + kle, 2, "unknown command kle frobnicate"},
        {"kle create" + kle + "--mode RGB", 2, "--size and --mode"},
        {"kle create " + Path("x.png") + " --size 9x9 --mode RGB", 2, ".kle"},
        {"kle create" + kle + "--size 9x9 --mode Purple", 2, "unknown mode"},
        {"kle create" + kle + "--size 9x9 --mode RGB --tile 10x4", 2, "--tile"},
        {"kle create" + kle + "--size 9x9 --mode RGB --ordering zigzag", 2, "--ordering"},
        {"kle create" + kle + "--size 9x9 --mode RGB --background 12345", 2, "--background"},
        {"kle create" + kle + "--size 9x9 --mode RGB --quality 40", 2, "--quality"},
        {"kle write" + kle + Path("in.ppm"), 2, "--at"},
        {"kle write" + kle + Path("in.ppm") + " --at 64,0", 2, "outside the 64x48"},
        {"kle write" + kle + Path("in.ppm") + " --at 1,1 --codec jpeg", 2, "--codec"},
        {"kle read" + kle + Path("x.ppm") + " --region 0,48,2,2", 2, "outside"},
        {"kle read" + kle + Path("x.ppm") + " --region 0,0,2,2 --level 1 --scale 0.5", 2,
         "exclude"},
        {"kle read" + kle + Path("x.ppm") + " --region 0,0,2,2 --scale 0", 2, "--scale"},
        {"kle read" + kle + Path("x.ppm") + " --region 0,0,3,3 --scale 0.2", 2, "no pixel"},
        {"kle reorganize" + kle + Path("x.ppm"), 2, ".kle"},
        {"kle read " + Kle("missing.kle") + " " + Path("x.ppm") + " --region 0,0,2,2", 1,
         "No such file or directory"},
        {"kle write " + Kle("lab.kle") + " " + Path("in.pbm") + " --at 0,0", 1,
         "The input image has an incompatible image mode. Change image mode or choose another "
         "input image."},
        {"kle write" + kle + Path("in.ppm") + " --at 0,0", 0, ""},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Run(c.arguments);
        EXPECT_EQ(outcome.status, c.status) << c.arguments << "\n" << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.arguments << "\n"
                                                                  << outcome.err;
    }
    for (const char* name : {"create", "write", "read", "preview", "repair", "reorganize"}) {
        const Outcome outcome = Run(std::string("kle ") + name + " --help");
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out.rfind(std::string("usage: pictor-cli kle ") + name, 0), 0u);
    }
}

} // namespace
