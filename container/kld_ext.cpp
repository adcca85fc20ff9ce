#include "kld_ext.h"

#include "byte_order.h"
#include "index_io.h"
#include "kld_preview.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "qvt_tile_codec.h"

#include <algorithm>
#include <array>

namespace {

// Every stored tile record starts with its 4-byte tag.
constexpr std::uint64_t kMinTileRecord = 4;

std::uint64_t StreamSize(CQVTStream& stream) {
    stream.SetPos(PosFromStart, 0);
    return RemainingBytes(stream);
}

std::uint32_t CacheCapacity(std::uint64_t budget, std::uint64_t entryBytes) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(budget / entryBytes, 0xFFFFFFFF));
}

} // namespace

void CKLDExt::Create(int fd, const KLDExtHeader& header, std::uint32_t previewWidth,
                     std::uint32_t previewHeight, std::span<const std::uint8_t> userData) {
    Create(std::make_unique<CQVTFileStream>(fd), header, previewWidth, previewHeight, userData);
}

void CKLDExt::Create(std::unique_ptr<CQVTStream> stream, const KLDExtHeader& header,
                     std::uint32_t previewWidth, std::uint32_t previewHeight,
                     std::span<const std::uint8_t> userData) {
    Close();
    if (userData.size() > 0xFFFFFFFF) ThrowCodecError(ErrorWrongFormat); // a u32 in the layout
    m_stream = std::move(stream);
    m_header = header;
    NormalizeKLDExtHeader(m_header);
    CheckKLDExtHeader(m_header);
    BuildGrid();
    m_index = CIndex();
    m_storedHeaderLength = kKLDHeaderSize;
    m_userData.assign(userData.begin(), userData.end());
    const std::uint64_t dataStart = TileDataStart(kKLDHeaderSize, m_userData.size());
    m_layout = {dataStart, 0, dataStart, static_cast<std::uint32_t>(m_userData.size())};
    WriteHeader(*m_stream);
    if (previewWidth == 0 || previewHeight == 0) return;
    SetPreview(CreatePixMap(PixRect{0, 0, previewWidth, previewHeight}, PreviewMode(m_header.mode),
                            m_header.background.data(),
                            static_cast<int>(m_header.background.size())));
    // The bytes up to the tile data are zero, as a file gets them from a seek past its end.
    const std::array<std::uint8_t, 3> padding{};
    WriteBytes(*m_stream, padding.data(), dataStart - m_stream->GetPos());
    WritePreview(*m_stream);
}

bool CKLDExt::Open(int fd, std::uint64_t decodedCacheBytes, std::uint64_t decoderCacheBytes,
                   PreviewReading preview) {
    return Open(std::make_unique<CQVTFileStream>(fd), decodedCacheBytes, decoderCacheBytes,
                preview);
}

bool CKLDExt::Open(std::unique_ptr<CQVTStream> stream, std::uint64_t decodedCacheBytes,
                   std::uint64_t decoderCacheBytes, PreviewReading preview) {
    Close();
    m_stream = std::move(stream);
    const bool current = ReadHeader(*m_stream);
    CheckKLDExtHeader(m_header);
    BuildGrid();
    ReadCheckedIndex(StreamSize(*m_stream));
    m_decodedCacheCapacity =
        CacheCapacity(decodedCacheBytes, std::uint64_t{m_header.tileWidth} * m_header.tileHeight);
    // Edge tiles, which take the rest of the image, hold more; lossy colour tiles less.
    m_decoderCacheCapacity = CacheCapacity(
        decoderCacheBytes,
        KLD::CQVT::KeptDecoderBytes(m_header.tileWidth, m_header.tileHeight, m_header.channels));
    const PixRect largestTile{0, 0, m_header.tileWidth + m_header.width % m_header.tileWidth,
                              m_header.tileHeight + m_header.height % m_header.tileHeight};
    m_scratch = CreatePixMap(largestTile, m_header.mode);
    m_caches = std::make_unique<TileCaches>(m_decodedCacheCapacity, m_decoderCacheCapacity);
    if (preview == PreviewReading::Decode) {
        ReadPreview(*m_stream, 0);
    } else {
        if (StreamSize(*m_stream) < m_layout.previewOffset) ThrowCodecError(ErrorShortRead);
        m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(m_layout.previewOffset));
        const PreviewSize size = CheckPreviewStream(*m_stream);
        m_previewWidth = size.width;
        m_previewHeight = size.height;
    }
    return current;
}

bool CKLDExt::ReadHeader(CQVTStream& stream) {
    ReadFixedPart(stream);
    return m_storedHeaderLength == kKLDHeaderSize;
}

void CKLDExt::ReadFixedPart(CQVTStream& stream) {
    stream.SetPos(PosFromStart, 0);
    std::array<std::uint8_t, kKLDLeadInSize> leadIn{};
    ReadBytes(stream, leadIn.data(), leadIn.size());
    if (!HasKLDMagic(leadIn.data())) ThrowCodecError(ErrorWrongFormat);
    // Only the low 16 bits of the stored length count.
    const std::uint16_t headerLength = LoadLE16(&leadIn[4]);
    if (headerLength > kKLDHeaderSize) ThrowCodecError(ErrorWrongFormat);

    std::array<std::uint8_t, kKLDHeaderSize + kKLDLayoutSize> fixed{};
    ReadBytes(stream, fixed.data(), headerLength + kKLDLayoutSize);
    m_storedHeaderLength = headerLength;
    m_header = LoadKLDExtHeader(fixed.data(), headerLength);
    m_layout = LoadKLDExtLayout(fixed.data() + headerLength);

    if (RemainingBytes(stream) < m_layout.userDataLength) ThrowCodecError(ErrorShortRead);
    m_userData.resize(m_layout.userDataLength);
    ReadBytes(stream, m_userData.data(), m_userData.size());
}

void CKLDExt::BuildGrid() {
    const TileGrid grid(m_header);
    m_columns = grid.columns;
    m_rows = grid.rows;
    m_ordering = CreateOrdering(m_header.ordering, m_columns, m_rows);
}

std::uint64_t CKLDExt::TileDataBegin() const {
    return kKLDLeadInSize + m_storedHeaderLength + kKLDLayoutSize + m_layout.userDataLength;
}

// The index lies between the tile data and the preview, which ends the file. Its size is
// bounded by the grid and by the tile data (each record takes at least its tag) before
// anything is allocated, so a hostile length cannot ask for more memory than the file backs.
void CKLDExt::ReadCheckedIndex(std::uint64_t fileSize) {
    const KLDExtLayout& layout = m_layout;
    if (layout.indexOffset < TileDataBegin()) ThrowCodecError(ErrorWrongFormat);
    if (layout.previewOffset < layout.indexOffset) ThrowCodecError(ErrorWrongFormat);
    if (layout.previewOffset > fileSize) ThrowCodecError(ErrorShortRead);
    const std::uint64_t entryCount = layout.indexLength / kIndexEntrySize;
    const std::uint64_t tileDataSize = layout.indexOffset - TileDataBegin();
    if (entryCount > std::uint64_t{m_columns} * m_rows ||
        entryCount > tileDataSize / kMinTileRecord)
        ThrowCodecError(ErrorWrongFormat);

    m_index = ReadIndex(*m_stream, layout.indexOffset, layout.indexLength,
                        layout.previewOffset - layout.indexOffset);
    CheckIndexEntries();
}

// Entries in strictly ascending tile order (lookups search them), for tiles of the grid, with
// records inside the tile data.
void CKLDExt::CheckIndexEntries() const {
    const std::uint64_t tileCount = std::uint64_t{m_columns} * m_rows;
    const std::uint64_t begin = TileDataBegin();
    const std::uint64_t end = m_layout.indexOffset;
    const IndexEntry* previous = nullptr;
    for (const IndexEntry& entry : m_index.Entries()) {
        if (entry.tile >= tileCount) ThrowCodecError(ErrorWrongFormat);
        if (previous && entry.tile <= previous->tile) ThrowCodecError(ErrorWrongFormat);
        if (entry.length < kMinTileRecord) ThrowCodecError(ErrorWrongFormat);
        if (entry.offset < begin || entry.offset > end || entry.length > end - entry.offset)
            ThrowCodecError(ErrorWrongFormat);
        previous = &entry;
    }
}

void CKLDExt::ReadPreview(CQVTStream& stream, int level) {
    if (StreamSize(stream) < m_layout.previewOffset) ThrowCodecError(ErrorShortRead);
    stream.SetPos(PosFromStart, static_cast<std::int64_t>(m_layout.previewOffset));
    SetPreview(ReadPreviewPixMap(stream, level, m_header.background));
}

void CKLDExt::SetPreview(std::unique_ptr<CPixMap> preview) {
    m_preview = std::move(preview);
    m_previewWidth = m_preview ? m_preview->Width() : 0;
    m_previewHeight = m_preview ? m_preview->Height() : 0;
}

void CKLDExt::WriteHeader(CQVTStream& stream, std::span<const std::uint8_t> userData) {
    if (!userData.empty()) {
        const std::size_t kept = std::min(userData.size(), m_userData.size());
        m_userData.assign(userData.begin(), userData.begin() + static_cast<std::ptrdiff_t>(kept));
        m_layout.userDataLength = static_cast<std::uint32_t>(kept);
    }
    WriteFixedPart(stream, m_layout);
}

std::uint64_t CKLDExt::FileEnd() const { return StreamSize(*m_stream); }

std::uint64_t CKLDExt::CommittedEnd() {
    if (!m_stream) ThrowCodecError(ErrorWrongFormat);
    m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(m_layout.previewOffset));
    return PreviewStreamEnd(*m_stream);
}

void CKLDExt::CommitIndexAndPreview(CIndex index, std::unique_ptr<CPixMap> preview,
                                    std::uint64_t offset) {
    KLDExtLayout layout = m_layout;
    layout.indexOffset = offset;
    layout.indexLength = static_cast<std::uint32_t>(kIndexEntrySize * index.Count());
    layout.previewOffset = offset + WriteIndex(index, *m_stream, offset);
    m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(layout.previewOffset));
    WritePreviewPixMap(*m_stream, *preview);
    m_stream->Flush();
    WriteFixedPart(*m_stream, layout);
    m_layout = layout;
    m_index = std::move(index);
    SetPreview(std::move(preview));
    // Last, so that when it fails the object already agrees with the file.
    m_stream->Flush();
}

// One write, so that the header, the commit point of every change, is never written in part
// by this process.
void CKLDExt::WriteFixedPart(CQVTStream& stream, const KLDExtLayout& layout) const {
    // An older file's fixed part is shorter: the current one would overwrite its user data or
    // first tile. Such a file is rewritten by reorganising it into another file.
    if (&stream == m_stream.get() && m_storedHeaderLength != kKLDHeaderSize)
        ThrowCodecError(ErrorWrongVersion);
    std::vector<std::uint8_t> bytes(kKLDFixedPartSize + m_userData.size());
    const auto leadIn = StoreKLDLeadIn();
    const auto header = StoreKLDExtHeader(m_header);
    const auto layoutBytes = StoreKLDExtLayout(layout);
    auto to = std::copy(leadIn.begin(), leadIn.end(), bytes.begin());
    to = std::copy(header.begin(), header.end(), to);
    to = std::copy(layoutBytes.begin(), layoutBytes.end(), to);
    std::copy(m_userData.begin(), m_userData.end(), to);
    stream.SetPos(PosFromStart, 0);
    WriteBytes(stream, bytes.data(), bytes.size());
}

CIndex CKLDExt::ReadIndex(CQVTStream& stream, std::uint64_t offset, std::uint32_t length,
                          std::uint64_t stored) const {
    return ::ReadIndex(stream, m_header.indexCompression, offset, length, stored);
}

std::uint64_t CKLDExt::WriteIndex(const CIndex& index, CQVTStream& stream,
                                  std::uint64_t offset) const {
    return ::WriteIndex(index, stream, m_header.indexCompression, offset);
}

void CKLDExt::WritePreview(CQVTStream& stream, std::uint64_t offset) const {
    if (!m_preview) return;
    stream.SetPos(PosFromStart, static_cast<std::int64_t>(offset));
    WritePreviewPixMap(stream, *m_preview);
}

CKLDExt::~CKLDExt() { Close(); }

void CKLDExt::Close() {
    m_caches.reset();
    m_stream.reset();
    m_index = CIndex();
    m_ordering.reset();
    m_scratch.reset();
    SetPreview(nullptr);
    m_userData.clear();
    m_userData.shrink_to_fit();
}

PixRect CKLDExt::GetTileRect(std::uint32_t tile) const {
    if (!m_ordering || std::uint64_t{tile} >= std::uint64_t{m_columns} * m_rows) return {};
    std::uint32_t column = 0;
    std::uint32_t row = 0;
    m_ordering->IndexToXY(tile, column, row);
    return TileCellRect(m_header, column, row);
}

TileHeader CKLDExt::TileHeaderOf(std::uint32_t tile) const {
    const PixRect rect = GetTileRect(tile);
    TileHeader header;
    header.width = rect.Width();
    header.height = rect.Height();
    header.mode = m_header.mode;
    header.bitsPerPixel = m_header.bitsPerPixel;
    header.channels = m_header.channels;
    return header;
}

std::unique_ptr<CPixMap> CKLDExt::CreateTilePixMap(std::uint32_t tile) const {
    const PixRect rect = GetTileRect(tile);
    if (rect.IsEmpty()) return nullptr;
    return CreatePixMap(rect, m_header.mode, m_header.background.data(),
                        static_cast<int>(m_header.background.size()));
}
