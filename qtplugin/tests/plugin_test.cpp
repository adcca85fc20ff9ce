// The plugin as Qt programs meet it, loaded from the build tree through QT_PLUGIN_PATH: it
// recognises QVT data under any name, decodes only the level and region a scaled or clipped read
// needs (counted in bytes taken from the device) with the pixels the library gives for them,
// writes losslessly unless asked otherwise, maps deep modes onto Qt's deep formats, and refuses
// damaged input and images over Qt's allocation limit instead of failing later.
#include "image_handler.h"
#include "image_transform.h"
#include "plugin_support.h"

#include <QBuffer>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace plugin_test;

class Plugin : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

TEST_F(Plugin, RecognisesQVTByContentUnderAnyName) {
    const QImage source = Pattern(96, 64);
    const QString path = Path("photo.png");
    WriteQVT(path, source);
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "qvt");
    EXPECT_EQ(reader.size(), QSize(96, 64));
    EXPECT_EQ(reader.imageFormat(), QImage::Format_BGR888);
    const QImage read = reader.read();
    EXPECT_EQ(read.format(), QImage::Format_BGR888);
    EXPECT_TRUE(SamePixels(read, source));
    EXPECT_TRUE(QImageReader::supportedImageFormats().contains("qvt"));
    EXPECT_TRUE(QImageReader::supportedMimeTypes().contains("image/x-kldext"));
}

TEST_F(Plugin, ScaledReadsDecodeOnlyTheCoarseLevelThatCoversThem) {
    const QString path = Path("scaled.qvt");
    WriteQVT(path, Pattern(512, 384));
    const CountedRead full = ReadCounted(path);
    ASSERT_EQ(full.image.size(), QSize(512, 384));

    const CountedRead quarter =
        ReadCounted(path, [](QImageReader& r) { r.setScaledSize(QSize(128, 96)); });
    EXPECT_LT(quarter.bytes * 8, full.bytes);
    EXPECT_TRUE(SamePixels(quarter.image, DecodeLevel(path, 2)));

    // Between levels: the covering level, smoothed down the rest of the way.
    const CountedRead between =
        ReadCounted(path, [](QImageReader& r) { r.setScaledSize(QSize(100, 70)); });
    EXPECT_TRUE(
        SamePixels(between.image, DecodeLevel(path, 2).scaled(100, 70, Qt::IgnoreAspectRatio,
                                                              Qt::SmoothTransformation)));
    // A device that cannot seek is read whole, and gives the same picture.
    const CountedRead streamed = ReadCounted(
        path, [](QImageReader& r) { r.setScaledSize(QSize(128, 96)); }, true);
    EXPECT_TRUE(SamePixels(streamed.image, quarter.image));
}

TEST_F(Plugin, ClippedReadsOfRegionFilesEqualTheCropAndReadLess) {
    const QString path = Path("region.qvt");
    QVTWriteOptions options;
    options.regionSupport = true;
    WriteQVT(path, Pattern(640, 480), options);
    const CountedRead full = ReadCounted(path);
    const QRect clip(200, 150, 96, 80);
    const CountedRead clipped = ReadCounted(path, [&](QImageReader& r) { r.setClipRect(clip); });
    EXPECT_TRUE(SamePixels(clipped.image, full.image.copy(clip)));
    EXPECT_LT(clipped.bytes * 2, full.bytes);
}

TEST_F(Plugin, WritesLosslesslyByDefaultAndMapsQualityOntoTheCodec) {
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Grayscale8,
          QImage::Format_Grayscale16, QImage::Format_RGBX64, QImage::Format_Mono}) {
        const QImage source = Pattern(70, 45, format);
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        ASSERT_TRUE(QImageWriter(&buffer, "qvt").write(source)) << format;
        buffer.seek(0);
        const QImage read = QImageReader(&buffer).read();
        EXPECT_TRUE(SamePixels(read, source)) << format;
    }
    QBuffer lossy;
    lossy.open(QIODevice::ReadWrite);
    QImageWriter writer(&lossy, "qvt");
    writer.setQuality(50);
    ASSERT_TRUE(writer.write(Pattern(70, 45)));
    EXPECT_EQ(lossy.data().at(8 + 9), CodecQuality(50)); // the header's quality byte
    EXPECT_EQ((std::vector{CodecQuality(-1), CodecQuality(100), CodecQuality(99), CodecQuality(0)}),
              (std::vector{0, 0, 1, 31}));
}

TEST_F(Plugin, DeepModesComeAsTheNearestQtFormats) {
    // 12-bit gray samples come stretched to the 16-bit range (16-bit RGB round trips above).
    QImage ramp(8, 4, QImage::Format_Grayscale16);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<quint16*>(ramp.scanLine(y))[x] =
                static_cast<quint16>(100 * (8 * y + x));
    RasterImage twelveBits = RasterImageFromQImage(ramp);
    twelveBits.maxChannelValue = 4095;
    const QString gray = Path("gray12.qvt");
    WriteQVTFile(twelveBits, gray.toStdString());
    const CountedRead grayRead = ReadCounted(gray);
    ASSERT_EQ(grayRead.image.format(), QImage::Format_Grayscale16);
    EXPECT_EQ(grayRead.announced, QImage::Format_Grayscale16);
    EXPECT_EQ(reinterpret_cast<const quint16*>(grayRead.image.constScanLine(3))[7],
              (3100 * 65535 + 4095 / 2) / 4095);

    // CMYK and Lab come as RGB, their 16-bit forms as RGB with 16 bits a channel.
    RasterImage photo = RasterImageFromQImage(Pattern(20, 10));
    for (const auto& [mode, deepMode] : {std::pair{ModeCMYK, ModeCMYK64}, {ModeLab, ModeLab48}}) {
        RasterImage eight = ConvertImage(photo, mode);
        RasterImage sixteen = ConvertImage(eight, deepMode);
        for (RasterImage* image : {&eight, &sixteen}) {
            const QString path = Path(QString("mode%1.qvt").arg(image->Mode()));
            WriteQVTFile(*image, path.toStdString());
            const CountedRead read = ReadCounted(path);
            EXPECT_EQ(read.image.format(), read.announced) << image->Mode();
            EXPECT_EQ(read.image.format(),
                      image == &eight ? QImage::Format_BGR888 : QImage::Format_RGBX64);
        }
    }
}

TEST_F(Plugin, RefusesDamagedDataAndImagesOverTheAllocationLimit) {
    const QString path = Path("whole.qvt");
    WriteQVT(path, Pattern(200, 150));
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    for (qsizetype cut = 0; cut < bytes.size(); cut += 1 + cut / 3) {
        QBuffer buffer;
        buffer.setData(bytes.left(cut));
        buffer.open(QIODevice::ReadOnly);
        EXPECT_TRUE(QImageReader(&buffer, "qvt").read().isNull()) << cut;
    }

    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1); // megabyte: 2^18 pixels of four bytes
    const QString large = Path("large.qvt");
    WriteQVT(large, Pattern(1024, 1024));
    EXPECT_TRUE(ReadCounted(large).image.isNull());
    EXPECT_EQ(
        ReadCounted(large, [](QImageReader& r) { r.setScaledSize(QSize(256, 256)); }).image.size(),
        QSize(256, 256));
    EXPECT_TRUE(ReadCounted(large, [](QImageReader& r) {
                    r.setScaledSize(QSize(4096, 4096));
                }).image.isNull());
    QImageReader::setAllocationLimit(limit);
}

} // namespace
