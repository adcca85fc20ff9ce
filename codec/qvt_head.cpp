#include "qvt_head.h"

#include "byte_order.h"
#include "image_mode.h"
#include "qvt_error.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

std::int64_t AsOffset(std::uint64_t position) { return static_cast<std::int64_t>(position); }

QVTLeadIn ReadLeadIn(CQVTStream& stream) {
    std::array<std::uint8_t, 4> signature;
    ReadBytes(stream, signature.data(), signature.size());
    QVTLeadIn leadIn;
    std::copy_n(signature.begin(), 3, leadIn.signature.begin());
    leadIn.version = signature[3];

    std::array<std::uint8_t, 4> size{};
    if (leadIn.version & kVersionLongHeaderSize) {
        ReadBytes(stream, size.data(), 4);
        leadIn.headerSize = LoadLE32(size.data());
    } else {
        ReadBytes(stream, size.data(), 2);
        leadIn.headerSize = LoadLE16(size.data());
    }
    return leadIn;
}

// Colour table and user data: whatever the header size counts beyond the 16 header bytes.
void ReadExtension(CQVTStream& stream, QVTHead& head, std::uint32_t userDataPolicy) {
    if (head.leadIn.headerSize <= kHeaderSize) return;
    std::uint64_t extension = head.leadIn.headerSize - kHeaderSize;
    if (head.header.mode == ModeIndexed) {
        if (extension < kColorTableSize) ThrowCodecError(ErrorWrongFormat);
        ReadBytes(stream, head.colorTable.data(), kColorTableSize);
        head.hasColorTable = true;
        extension -= kColorTableSize;
    }
    if (extension == 0) return;

    head.userDataPosition = stream.GetPos();
    head.userDataLength = static_cast<std::uint32_t>(extension);
    // Checked up front: a hostile length must not be allocated for, nor be skipped past the end.
    if (RemainingBytes(stream) < extension) ThrowCodecError(ErrorShortRead);
    head.keptUserDataLength = KeptUserDataLength(userDataPolicy, head.userDataLength);
    if (head.keptUserDataLength > 0) {
        head.userData = TryAllocate<std::uint8_t>(head.keptUserDataLength);
        if (!head.userData) ThrowCodecError(ErrorOutOfMemory);
        ReadBytes(stream, head.userData.get(), head.keptUserDataLength);
    }
    stream.SetPos(PosFromCurrent, AsOffset(extension - head.keptUserDataLength));
}

void ReadLevelTable(CQVTStream& stream, QVTHead& head) {
    // The level count is checked only after the table, so up to 255 entries are read here.
    std::array<std::uint8_t, 4 * 255> bytes;
    const std::size_t levels = head.header.levels;
    ReadBytes(stream, bytes.data(), 4 * levels);
    head.levelLengths.resize(levels);
    for (std::size_t i = 0; i < levels; ++i) {
        head.levelLengths[i] = LoadLE32(&bytes[4 * i]);
        head.levelDataSize += head.levelLengths[i];
    }
}

std::uint64_t PlaneSamples(const ChannelLayout& layout, std::size_t channel) {
    return std::uint64_t{layout.widths[channel]} * layout.heights[channel];
}

} // namespace

std::uint32_t KeptUserDataLength(std::uint32_t policy, std::uint32_t length) {
    if (policy == 0xFFFFFFFF) return 0;
    if (policy <= 0x7FFFFFFF || policy == 0xFFFFFFFE) return std::min(length, policy);
    return length;
}

QVTHead ReadHead(CQVTStream& stream, std::uint32_t userDataPolicy) {
    QVTHead head;
    head.startPosition = stream.GetPos();
    head.leadIn = ReadLeadIn(stream);
    if (!HasQVTSignature(head.leadIn)) ThrowCodecError(ErrorWrongFormat);

    std::array<std::uint8_t, kHeaderSize> header;
    const std::size_t headerBytes = std::min<std::size_t>(head.leadIn.headerSize, kHeaderSize);
    ReadBytes(stream, header.data(), headerBytes);
    head.header = LoadHeader(header.data(), headerBytes);

    // The oldest files (version byte 0) have neither extension nor level table.
    if (head.leadIn.version != 0) {
        ReadExtension(stream, head, userDataPolicy);
        ReadLevelTable(stream, head);
    }
    head.headLength = stream.GetPos() - head.startPosition;

    if (head.header.levels > kMaxLevels) ThrowCodecError(ErrorWrongFormat);
    // No writer makes an image without pixels; its other side could still be billions wide and
    // cost a walk over every column for nothing.
    if (head.header.width == 0 || head.header.height == 0) ThrowCodecError(ErrorWrongFormat);
    if (!CompleteHeader(head.header)) ThrowCodecError(ErrorWrongFormat);
    if (head.header.channels > kMaxChannels) ThrowCodecError(ErrorWrongFormat);
    head.layout = DeriveChannelLayout(head.header);
    return head;
}

std::vector<SampleBuffer> ReadRawChannels(CQVTStream& stream, const QVTHead& head) {
    const std::size_t channels = head.header.channels;
    std::uint64_t totalBytes = 0;
    for (std::size_t c = 0; c < channels; ++c) {
        // Width × height fits 64 bits; four bytes each and the sum over channels may not.
        const auto bytes = CheckedMul(PlaneSamples(head.layout, c), 4);
        if (!bytes || *bytes > std::numeric_limits<std::uint64_t>::max() - totalBytes)
            ThrowCodecError(ErrorOutOfMemory);
        totalBytes += *bytes;
    }
    // Nothing is allocated for samples the stream does not hold, so a hostile header fails with
    // a short read instead of claiming memory in proportion to its declared size.
    if (RemainingBytes(stream) < totalBytes) ThrowCodecError(ErrorShortRead);

    std::vector<SampleBuffer> planes;
    for (std::size_t c = 0; c < channels; ++c) {
        const std::uint64_t width = head.layout.widths[c];
        const std::uint64_t samples = PlaneSamples(head.layout, c);
        SampleBuffer plane = TryAllocateSamples(samples);
        if (!plane) ThrowCodecError(ErrorOutOfMemory);
        for (std::uint64_t row = 0; width > 0 && row < head.layout.heights[c]; ++row)
            ReadBytes(stream, plane.get() + row * width, width * 4);
        for (std::uint64_t i = 0; i < samples; ++i) {
            std::uint8_t bytes[4];
            std::memcpy(bytes, &plane[i], 4);
            plane[i] = static_cast<std::int32_t>(LoadLE32(bytes));
        }
        planes.push_back(std::move(plane));
    }
    return planes;
}

void WriteRawChannels(CQVTStream& stream, const ChannelLayout& layout,
                      std::span<const std::int32_t* const> channels) {
    constexpr std::uint64_t kChunk = 1024;
    std::array<std::uint8_t, 4 * kChunk> bytes;
    // No reader accepts more planes, so writing them would only make an unreadable file.
    if (channels.size() > kMaxChannels) ThrowCodecError(ErrorWrongFormat);
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const std::uint64_t samples = PlaneSamples(layout, c);
        // Rows are stored back to back, so a plane is one run of samples.
        for (std::uint64_t first = 0; first < samples; first += kChunk) {
            const std::uint64_t count = std::min(kChunk, samples - first);
            for (std::uint64_t i = 0; i < count; ++i)
                StoreLE32(&bytes[4 * i], static_cast<std::uint32_t>(channels[c][first + i]));
            WriteBytes(stream, bytes.data(), 4 * count);
        }
    }
}

CQVTHeadWriter::CQVTHeadWriter(CQVTStream& stream, std::uint8_t flags, const QVTHeader& header,
                               const ColorTable& colorTable, std::span<const std::uint8_t> userData)
    : m_stream(stream), m_start(stream.GetPos()) {
    const auto userDataLength =
        static_cast<std::uint32_t>(std::min<std::size_t>(userData.size(), kMaxUserDataLength));
    m_leadIn = MakeLeadIn(flags, header.mode, userDataLength);
    WriteBytes(m_stream, StoreLeadIn(m_leadIn).data(), kLeadInSize);
    WriteBytes(m_stream, StoreHeader(header).data(), kHeaderSize);
    if (header.mode == ModeIndexed) WriteBytes(m_stream, colorTable.data(), kColorTableSize);
    m_userData = m_stream.GetPos();
    WriteBytes(m_stream, userData.data(), userDataLength);
    m_levelTable = m_stream.GetPos();
}

void CQVTHeadWriter::BeginLevelData(int levels) {
    const std::uint64_t end = m_stream.GetPos();
    if (end > m_levelTable) {
        // The header size must keep pointing at the level table, past the caller's bytes.
        const std::uint64_t headerSize = m_leadIn.headerSize + (end - m_levelTable);
        if (headerSize > std::numeric_limits<std::uint32_t>::max())
            ThrowCodecError(ErrorWrongFormat);
        m_leadIn.headerSize = static_cast<std::uint32_t>(headerSize);
        m_stream.SetPos(PosFromStart, AsOffset(m_start));
        WriteBytes(m_stream, StoreLeadIn(m_leadIn).data(), kLeadInSize);
        m_stream.SetPos(PosFromStart, AsOffset(end));
    }
    m_levelTable = end;
    const std::vector<std::uint8_t> placeholder(4 * static_cast<std::size_t>(std::max(levels, 0)));
    WriteBytes(m_stream, placeholder.data(), placeholder.size());
}

std::uint64_t CQVTHeadWriter::FinishLevelData(std::span<const std::uint32_t> levelLengths) {
    const std::uint64_t end = m_stream.GetPos();
    std::vector<std::uint8_t> table(4 * levelLengths.size());
    for (std::size_t i = 0; i < levelLengths.size(); ++i)
        StoreLE32(&table[4 * i], levelLengths[i]);
    m_stream.SetPos(PosFromStart, AsOffset(m_levelTable));
    WriteBytes(m_stream, table.data(), table.size());
    m_stream.SetPos(PosFromStart, AsOffset(end));
    return end - m_levelTable;
}
