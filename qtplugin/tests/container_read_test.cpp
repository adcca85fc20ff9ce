// Containers through the plugin: a scaled read that the preview covers decodes the preview and
// reads little else, and a read asking for more than the preview holds comes from the tiles,
// pixel for pixel what was written; both are found by content in a file without an extension.
#include "kld_ext.h"
#include "plugin_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace plugin_test;

constexpr int kWidth = 600, kHeight = 400, kPreviewWidth = 150, kPreviewHeight = 100;

class ContainerRead : public ::testing::Test {
protected:
    ContainerRead() : m_path(m_dir.filePath("tiles")), m_content(Pattern(kWidth, kHeight)) {
        KLDExtHeader header;
        header.mode = ModeRGB;
        header.width = kWidth;
        header.height = kHeight;
        header.tileWidth = header.tileHeight = 128;
        header.indexCompression = IndexZlib;
        NormalizeKLDExtHeader(header);
        const int fd = ::open(m_path.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        CKLDExt().Create(fd, header, kPreviewWidth, kPreviewHeight, {});
        CKLDExt container;
        container.Open(fd, 0x500000, 0x400000);
        RasterImage content = RasterImageFromQImage(m_content);
        container.WriteRegion(*ImagePixels(content), 0, 0, 2, KLD::KindWavelet);
        m_fileSize = ::lseek(fd, 0, SEEK_END);
        const CPixMap& preview = *container.Preview();
        m_preview =
            QImage(preview.GetBits(), static_cast<int>(preview.Width()),
                   static_cast<int>(preview.Height()), preview.Stride(), QImage::Format_BGR888)
                .copy();
        container.Close();
        ::close(fd);
    }

    QTemporaryDir m_dir;
    QString m_path;
    QImage m_content;
    QImage m_preview;
    qint64 m_fileSize = 0;
};

TEST_F(ContainerRead, ScaledReadsThatThePreviewCoversDecodeThePreview) {
    QImageReader reader(m_path);
    EXPECT_EQ(reader.format(), "kle");
    EXPECT_EQ(reader.size(), QSize(kWidth, kHeight));
    const CountedRead read = ReadCounted(
        m_path, [](QImageReader& r) { r.setScaledSize(QSize(kPreviewWidth, kPreviewHeight)); });
    EXPECT_TRUE(SamePixels(read.image, m_preview));
    EXPECT_LT(read.bytes * 4, m_fileSize);
}

TEST_F(ContainerRead, ReadsBeyondThePreviewComeFromTheTiles) {
    const QRect clip(130, 90, 200, 120);
    const CountedRead read = ReadCounted(m_path, [&](QImageReader& r) { r.setClipRect(clip); });
    EXPECT_EQ(read.image.format(), read.announced);
    EXPECT_TRUE(SamePixels(read.image, m_content.copy(clip)));
    EXPECT_LT(read.bytes * 2, m_fileSize);
}

// A few kilobytes declaring 524288 x 11826 pixels in 32 x 24 tiles, eight million of them, with
// damaged tiles: a small picture of the whole comes from the preview at once, instead of a
// visit to every tile that took seconds and then failed on the damage.
TEST(HostileContainer, SmallPicturesOfMillionsOfTilesComeFromThePreview) {
    QImageReader reader(PICTOR_PLUGIN_TEST_DATA "/millions_of_tiny_tiles.kle");
    reader.setScaledSize(QSize(24, 24));
    EXPECT_EQ(reader.read().size(), QSize(24, 24)) << reader.errorString().toStdString();
}

} // namespace
