#include "kld_preview.h"

#include "pixmap_factory.h"
#include "qvt_error.h"
#include "qvt_head.h"
#include "qvt_image.h"

#include <algorithm>

namespace {

// Keep none of the preview's user data while checking its length.
constexpr std::uint32_t kSkipUserData = 0xFFFFFFFF;

// Reads the head at the stream's position, checks that the coded data it announces are all in
// the stream, and returns to where it started.
void CheckStreamComplete(CQVTStream& stream) {
    const std::uint64_t start = stream.GetPos();
    const QVTHead head = ReadHead(stream, kSkipUserData);
    std::uint64_t dataLength = head.levelDataSize;
    if (head.header.levels == 0) {
        // Without levels the samples follow raw, 4 bytes each per channel.
        dataLength = 0;
        for (std::uint32_t c = 0; c < head.header.channels; ++c)
            dataLength += 4 * std::uint64_t{head.layout.widths[c]} * head.layout.heights[c];
    }
    if (RemainingBytes(stream) < dataLength) ThrowCodecError(ErrorShortRead);
    stream.SetPos(PosFromStart, static_cast<std::int64_t>(start));
}

} // namespace

std::unique_ptr<CPixMap> ReadPreviewPixMap(CQVTStream& stream, int level,
                                           const std::array<std::uint8_t, 3>& background) {
    CheckStreamComplete(stream);
    CQVTImage image;
    image.SetUserDataPolicy(kSkipUserData);
    image.Open(stream);
    const QVTHeader& header = image.Header();
    image.Read(level < 0 ? std::max(header.levels - 1, 0) : level);
    auto preview = CreatePixMap(PixRect{0, 0, header.width, header.height}, header.mode,
                                background.data(), static_cast<int>(background.size()));
    if (!preview) ThrowCodecError(ErrorWrongFormat); // a mode without pixel maps
    image.ExportPixels(preview->Stride(), preview->GetBits(), preview->BitsPerPixel());
    return preview;
}

void WritePreviewPixMap(CQVTStream& stream, const CPixMap& preview) {
    QVTHeader header;
    header.width = preview.Width();
    header.height = preview.Height();
    header.levels = 0; // the codec chooses
    header.quality = 0;
    header.bitsPerPixel = preview.BitsPerPixel();
    header.channels = static_cast<std::uint8_t>(preview.GetChannels());
    header.mode = preview.GetMode();
    CQVTImage image;
    image.SetHeader(header);
    image.ImportPixels(preview.Stride(), preview.GetBits(), preview.BitsPerPixel());
    image.Write(stream);
}
