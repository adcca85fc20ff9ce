#include "index_io.h"

#include "kld_header.h"
#include "qvt_error.h"
#include "qvt_memory.h"

#include <zlib.h>

namespace {

void CheckCompression(std::uint8_t compression) {
    if (compression != IndexPlain && compression != IndexZlib) ThrowCodecError(ErrorWrongFormat);
}

ByteBuffer AllocateBytes(std::uint64_t size) {
    ByteBuffer buffer = TryAllocate<std::uint8_t>(size);
    if (!buffer) ThrowCodecError(ErrorOutOfMemory);
    return buffer;
}

} // namespace

CIndex ReadIndex(CQVTStream& stream, std::uint8_t compression, std::uint64_t offset,
                 std::uint32_t length, std::uint64_t stored) {
    CheckCompression(compression);
    if (offset == 0 || length == 0) return CIndex();
    if (length % kIndexEntrySize != 0) ThrowCodecError(ErrorOutOfMemory);
    if (compression == IndexPlain && stored != length) ThrowCodecError(ErrorWrongFormat);

    stream.SetPos(PosFromStart, static_cast<std::int64_t>(offset));
    if (RemainingBytes(stream) < stored) ThrowCodecError(ErrorShortRead);
    ByteBuffer storedBytes = AllocateBytes(stored);
    ReadBytes(stream, storedBytes.get(), stored);
    if (compression == IndexPlain)
        return CIndex::LoadEntries(storedBytes.get(), length, IndexOrder::ByTile);

    ByteBuffer entries = AllocateBytes(length);
    uLongf inflated = length;
    if (uncompress(entries.get(), &inflated, storedBytes.get(), stored) != Z_OK)
        ThrowCodecError(ErrorZlib);
    if (inflated != length) ThrowCodecError(ErrorWrongFormat);
    return CIndex::LoadEntries(entries.get(), length, IndexOrder::ByTile);
}

std::uint64_t WriteIndex(const CIndex& index, CQVTStream& stream, std::uint8_t compression,
                         std::uint64_t offset) {
    CheckCompression(compression);
    if (index.Count() == 0) return 0;
    const std::vector<std::uint8_t> entries = index.StoreEntries();
    const std::uint8_t* bytes = entries.data();
    std::uint64_t size = entries.size();

    ByteBuffer deflated;
    if (compression == IndexZlib) {
        // Room for what zlib adds to incompressible data.
        uLongf deflatedSize = size + size / 10 + 13;
        deflated = AllocateBytes(deflatedSize);
        if (compress(deflated.get(), &deflatedSize, bytes, size) != Z_OK)
            ThrowCodecError(ErrorZlib);
        bytes = deflated.get();
        size = deflatedSize;
    }
    stream.SetPos(PosFromStart, static_cast<std::int64_t>(offset));
    WriteBytes(stream, bytes, size);
    return size;
}
