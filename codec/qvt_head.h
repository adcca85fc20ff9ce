// The head of QVT data: reading and checking it, and writing it with its level-length table.
// Positions are relative to where the QVT data start, so the same code serves a whole file and
// a tile inside a container.
#pragma once

#include "qvt_format.h"
#include "qvt_memory.h"
#include "qvt_stream.h"

#include <cstdint>
#include <span>
#include <vector>

// How many bytes of user data a reader keeps in memory: up to 0x7FFFFFFF keeps that many,
// 0xFFFFFFFF none, 0xFFFFFFFE up to that many, any other value from 0x80000000 up all of them.
inline constexpr std::uint32_t kDefaultUserDataPolicy = 2;
std::uint32_t KeptUserDataLength(std::uint32_t policy, std::uint32_t length);

// The most user data a writer stores.
inline constexpr std::uint32_t kMaxUserDataLength = 0x7FFFFFFF;

struct QVTHead {
    QVTLeadIn leadIn;
    QVTHeader header; // completed
    bool hasColorTable = false;
    ColorTable colorTable{};
    ByteBuffer userData;              // the kept prefix, null when nothing is kept
    std::uint32_t userDataLength = 0; // as stored
    std::uint32_t keptUserDataLength = 0;
    std::uint64_t userDataPosition = 0;      // stream position of the first user-data byte
    std::vector<std::uint32_t> levelLengths; // coarsest level first
    std::uint64_t levelDataSize = 0;         // sum of levelLengths
    std::uint64_t startPosition = 0;         // stream position of the signature
    std::uint64_t headLength = 0;            // bytes from the signature to the level data
    ChannelLayout layout;

    std::uint64_t LevelDataStart() const { return startPosition + headLength; }
};

// Reads the head at the stream's position up to the start of the level data, in file order, so
// the first piece that fails names the error: ErrorShortRead for missing bytes, ErrorWrongFormat
// for a wrong signature, no room for the colour table, more than 30 levels, more than 8 channels
// or an inconsistent header, ErrorOutOfMemory when the kept user data cannot be allocated.
QVTHead ReadHead(CQVTStream& stream, std::uint32_t userDataPolicy = kDefaultUserDataPolicy);

// The samples of an image without levels, which follow the head unchanged: per channel
// width × height signed 32-bit values, row after row.
std::vector<SampleBuffer> ReadRawChannels(CQVTStream& stream, const QVTHead& head);
// Writes one plane per entry of `channels` (at most kMaxChannels, else ErrorWrongFormat), each
// of the layout's size for its index.
void WriteRawChannels(CQVTStream& stream, const ChannelLayout& layout,
                      std::span<const std::int32_t* const> channels);

// Writes a head and later the level-length table that follows it. The caller writes the level
// data (or raw channels) between BeginLevelData and FinishLevelData.
class CQVTHeadWriter {
public:
    // Writes lead-in (version 0x76 | flags), the header as given, the colour table for indexed
    // images and at most kMaxUserDataLength bytes of user data.
    CQVTHeadWriter(CQVTStream& stream, std::uint8_t flags, const QVTHeader& header,
                   const ColorTable& colorTable, std::span<const std::uint8_t> userData = {});

    const QVTLeadIn& LeadIn() const { return m_leadIn; }
    std::uint64_t StartPosition() const { return m_start; }
    std::uint64_t UserDataPosition() const { return m_userData; }
    std::uint64_t LevelTablePosition() const { return m_levelTable; }

    // Bytes the caller wrote after the head become part of it (the lead-in is rewritten with the
    // larger header size); then a zero table of `levels` entries is written as a placeholder.
    void BeginLevelData(int levels);
    // Writes the real table over the placeholder and returns to the end of the level data.
    // Returns the bytes of the table and the level data.
    std::uint64_t FinishLevelData(std::span<const std::uint32_t> levelLengths);

private:
    CQVTStream& m_stream;
    QVTLeadIn m_leadIn;
    std::uint64_t m_start;
    std::uint64_t m_userData = 0;
    std::uint64_t m_levelTable = 0;
};
