#include "kld_preview.h"

#include "pixmap_factory.h"
#include "qvt_error.h"
#include "qvt_head.h"
#include "qvt_image.h"

#include <algorithm>

namespace {

// Keep none of the preview's user data while checking its length.
constexpr std::uint32_t kSkipUserData = 0xFFFFFFFF;

// Where the stream whose head this is ends.
std::uint64_t StreamEnd(const QVTHead& head) {
    std::uint64_t dataLength = head.levelDataSize;
    if (head.header.levels == 0) {
        // Without levels the samples follow raw, 4 bytes each per channel.
        dataLength = 0;
        for (std::uint32_t c = 0; c < head.header.channels; ++c)
            dataLength += 4 * std::uint64_t{head.layout.widths[c]} * head.layout.heights[c];
    }
    return head.LevelDataStart() + dataLength;
}

} // namespace

PreviewSize CheckPreviewStream(CQVTStream& stream) {
    const std::uint64_t start = stream.GetPos();
    const QVTHead head = ReadHead(stream, kSkipUserData);
    stream.SetPos(PosFromStart, static_cast<std::int64_t>(start));
    if (RemainingBytes(stream) < StreamEnd(head) - start) ThrowCodecError(ErrorShortRead);
    return {head.header.width, head.header.height};
}

std::uint64_t PreviewStreamEnd(CQVTStream& stream) {
    const std::uint64_t start = stream.GetPos();
    const QVTHead head = ReadHead(stream, kSkipUserData);
    stream.SetPos(PosFromStart, static_cast<std::int64_t>(start));
    return StreamEnd(head);
}

std::unique_ptr<CPixMap> ReadPreviewPixMap(CQVTStream& stream, int level,
                                           const std::array<std::uint8_t, 3>& background) {
    CheckPreviewStream(stream);
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
