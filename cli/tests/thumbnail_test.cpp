// The thumbnailer as file managers run it: files are recognised by content whatever their name,
// wide, tall and tiny images get thumbnails of the right size (tiny ones unscaled, pixel for
// pixel, so colour order and alpha survive the PNG), and a container's thumbnail is its preview.
#include "cli_fixture.h"

#include <QImage>

namespace {

using namespace cli_test;

class Thumbnail : public Cli {
protected:
    // A QVT file holding random pixels of `mode`, "image.qvt" and its copy "image".
    std::string Encoded(ImageMode mode, std::uint32_t width, std::uint32_t height) const {
        const std::string raw = Path("in.raw");
        WriteBytes(raw, RandomRaw(mode, width, height, width * 3 + height));
        Ok("encode " + raw + " " + Path("image.qvt") + " " + RawArgument(mode, width, height));
        std::filesystem::copy_file(Path("image.qvt"), Path("image"),
                                   std::filesystem::copy_options::overwrite_existing);
        return Path("image");
    }

    QImage Thumb(const std::string& input, int size) const {
        Ok("thumbnail -s " + std::to_string(size) + " " + input + " " + Path("thumb.png"));
        return QImage(QString::fromStdString(Path("thumb.png")), "png");
    }
};

TEST_F(Thumbnail, FitsWideTallAndTinyImagesInTheSize) {
    EXPECT_EQ(Thumb(Encoded(ModeRGB, 1000, 10), 256).size(), QSize(256, 3));
    EXPECT_EQ(Thumb(Encoded(ModeGray16, 10, 1000), 256).size(), QSize(3, 256));
    EXPECT_EQ(Thumb(Encoded(ModeRGB, 4000, 1), 128).size(), QSize(128, 1));
    for (const ImageMode mode : {ModeRGB, ModeARGB, ModeGray, ModeBitmap}) {
        const std::string tiny = Encoded(mode, 5, 4);
        Ok("decode " + Path("image.qvt") + " " + Path("tiny.png"));
        const QImage expected(QString::fromStdString(Path("tiny.png")));
        const QImage thumb = Thumb(tiny, 256);
        EXPECT_EQ(thumb.convertToFormat(QImage::Format_ARGB32),
                  expected.convertToFormat(QImage::Format_ARGB32))
            << ImageModeName(mode);
    }
}

TEST_F(Thumbnail, ContainersShowTheirPreview) {
    WriteBytes(Path("in.raw"), RandomRaw(ModeRGB, 600, 400, 7));
    Ok("kle create " + Path("c.kle") + " --size 600x400 --mode RGB --tile 128x128 " +
       "--preview 150x100 --from " + Path("in.raw") + " " + RawArgument(ModeRGB, 600, 400));
    Ok("kle preview " + Path("c.kle") + " " + Path("preview.png"));
    std::filesystem::rename(Path("c.kle"), Path("tiles"));
    EXPECT_EQ(Thumb(Path("tiles"), 150), QImage(QString::fromStdString(Path("preview.png"))));
    EXPECT_EQ(Thumb(Path("tiles"), 64).size(), QSize(64, 43));
}

TEST_F(Thumbnail, NeedsASizeAndAnImage) {
    EXPECT_EQ(Run("thumbnail " + Path("a") + " " + Path("b.png")).status, 2);
    const Outcome missing = Run("thumbnail -s 64 " + Path("none.qvt") + " " + Path("b.png"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No such file"), std::string::npos) << missing.err;
}

} // namespace
