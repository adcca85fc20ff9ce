// Writing a compacted copy of the container: tiles in tile-number order without gaps, then the
// index, the preview and the fixed part of the current version.
#include "kld_ext.h"

#include "qvt_error.h"
#include "qvt_memory.h"

#include <vector>

namespace {

void Report(ProgressCallback progress, double fraction, void* data) {
    if (progress && progress(fraction, false, data)) ThrowCodecError(ErrorUserBreak);
}

} // namespace

void CKLDExt::Reorganize(CQVTStream& target, ProgressCallback progress, void* data) {
    if (!m_stream || !m_caches) ThrowCodecError(ErrorWrongFormat);
    m_caches->decoders.Clear();
    m_index.SortByTile();
    CIndex copy = m_index;
    Report(progress, 0, data);
    double done = 0.05;

    const std::uint32_t count = copy.Count();
    ByteBuffer record = TryAllocate<std::uint8_t>(copy.MaxEntryLength());
    if (!record && copy.MaxEntryLength() > 0) ThrowCodecError(ErrorOutOfMemory);
    std::uint64_t position = TileDataStart(kKLDHeaderSize, m_userData.size());
    // Zeros up to the tile data, as a file gets them from a seek past its end; the fixed part is
    // written over them last.
    const std::vector<std::uint8_t> zeros(position);
    target.SetPos(PosFromStart, 0);
    WriteBytes(target, zeros.data(), zeros.size());
    for (std::uint32_t i = 0; i < count; ++i) {
        IndexEntry& entry = *copy.Entry(i);
        m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(entry.offset));
        ReadBytes(*m_stream, record.get(), entry.length);
        entry.offset = position;
        target.SetPos(PosFromStart, static_cast<std::int64_t>(position));
        WriteBytes(target, record.get(), entry.length);
        position += entry.length;
        Report(progress, done, data);
        done += 0.9 / count;
    }
    const std::uint64_t storedIndex = WriteIndex(copy, target, position);
    Report(progress, done, data);

    // The layout describes the target only while it is written: this object stays on its own
    // file, whose index and preview lie elsewhere.
    const KLDExtLayout layout{position, static_cast<std::uint32_t>(kIndexEntrySize * count),
                              position + storedIndex,
                              static_cast<std::uint32_t>(m_userData.size())};
    WriteFixedPart(target, layout);
    WritePreview(target, layout.previewOffset);
    // The copy is complete on disk before anyone puts it in the source's place.
    target.Flush();
    Report(progress, done + 0.02, data);
}
