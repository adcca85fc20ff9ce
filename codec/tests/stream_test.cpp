// The memory stream grows by the written count plus 16 KiB, keeps its data across growth, cuts
// reads at the end of the data and refuses positions outside it; the file stream passes errno
// failures on as exceptions and never closes the descriptor it was given; the buffered read
// stream reads and seeks exactly as the plain file stream does.
#include "error_of.h"
#include "qvt_error.h"
#include "qvt_stream.h"
#include "temp_file.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

namespace {

void Write(CQVTStream& stream, const std::vector<std::uint8_t>& bytes) {
    std::int32_t count = static_cast<std::int32_t>(bytes.size());
    stream.Write(count, bytes.data());
    ASSERT_EQ(count, static_cast<std::int32_t>(bytes.size()));
}

std::vector<std::uint8_t> Sequence(std::size_t size, std::uint8_t first = 0) {
    std::vector<std::uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

} // namespace

TEST(MemoryStream, GrowsByCountPlus16KiBAndKeepsItsData) {
    CQVTMemoryStream empty(0);
    Write(empty, {7});
    EXPECT_EQ(empty.Capacity(), 16385u);
    Write(empty, std::vector<std::uint8_t>(16384, 1));
    EXPECT_EQ(empty.Capacity(), 16385u);
    Write(empty, {2});
    EXPECT_EQ(empty.Capacity(), 16385u + 1 + 16384);
    EXPECT_EQ(empty.DataSize(), 16386u);

    CQVTMemoryStream stream(3);
    std::vector<std::uint8_t> written;
    for (std::size_t piece = 1; piece < 9000; piece += 997) {
        const auto bytes = Sequence(piece, static_cast<std::uint8_t>(piece));
        Write(stream, bytes);
        written.insert(written.end(), bytes.begin(), bytes.end());
    }
    ASSERT_EQ(stream.DataSize(), written.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), stream.Data()));
}

TEST(MemoryStream, ReadsStopAtTheEndOfData) {
    CQVTMemoryStream stream(64);
    Write(stream, Sequence(30));
    stream.SetPos(PosFromStart, 20);
    std::vector<std::uint8_t> out(100, 0xEE);
    std::int32_t count = 100;
    stream.Read(count, out.data());
    EXPECT_EQ(count, 10);
    EXPECT_EQ(out[0], 20);
    EXPECT_EQ(out[9], 29);
    EXPECT_EQ(out[10], 0xEE);
    EXPECT_EQ(stream.GetPos(), 30u);
    count = 100;
    stream.Read(count, out.data());
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ErrorOf([&] {
                  stream.SetPos(PosFromStart, 25);
                  ReadBytes(stream, out.data(), 6);
              }),
              ErrorShortRead);

    // Writing inside the data keeps its end.
    stream.SetPos(PosFromStart, 2);
    Write(stream, {0xAA, 0xBB});
    EXPECT_EQ(stream.DataSize(), 30u);
    EXPECT_EQ(stream.Data()[3], 0xBB);
    EXPECT_EQ(stream.Data()[4], 4);
    EXPECT_EQ(RemainingBytes(stream), 26u);
    stream.Reset();
    EXPECT_EQ(stream.DataSize(), 0u);
    EXPECT_EQ(stream.GetPos(), 0u);
}

TEST(MemoryStream, PositionsOutsideTheDataAreRefusedAndLeaveThePositionAlone) {
    CQVTMemoryStream stream(0);
    Write(stream, Sequence(10));
    stream.SetPos(PosFromStart, 4);
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    const struct {
        std::int16_t mode;
        std::int64_t offset;
    } refused[] = {{PosFromEnd, 1},        {PosFromStart, 11},     {PosFromStart, -1},
                   {PosFromCurrent, 7},    {PosFromCurrent, -5},   {PosFromEnd, -11},
                   {PosFromCurrent, kMax}, {PosFromCurrent, kMin}, {PosFromEnd, kMin}};
    for (const auto& r : refused) {
        EXPECT_EQ(ErrorOf([&] { stream.SetPos(r.mode, r.offset); }), ErrorStreamPosition)
            << r.mode << " " << r.offset;
        EXPECT_EQ(stream.GetPos(), 4u);
    }
    stream.SetPos(PosFromEnd, 0);
    EXPECT_EQ(stream.GetPos(), 10u);
    stream.SetPos(PosFromCurrent, -10);
    EXPECT_EQ(stream.GetPos(), 0u);
    stream.SetPos(PosFromEnd, -3);
    EXPECT_EQ(stream.GetPos(), 7u);
    stream.SetPos(3, 100); // not a seek mode: ignored
    EXPECT_EQ(stream.GetPos(), 7u);
}

TEST(MemoryStream, CallerBlockIsReadableButNeverGrows) {
    std::vector<std::uint8_t> block = Sequence(8);
    {
        CQVTMemoryStream stream(block.data(), block.size());
        EXPECT_TRUE(stream.IsValid());
        EXPECT_EQ(stream.DataSize(), 8u);
        stream.SetPos(PosFromStart, 6);
        Write(stream, {0x55, 0x66});
        EXPECT_EQ(ErrorOf([&] { Write(stream, {1}); }), ErrorOutOfMemory);
        EXPECT_TRUE(stream.IsValid());
    }
    EXPECT_EQ(block[6], 0x55); // written in place, and the block was not freed
    EXPECT_EQ(block[7], 0x66);
    EXPECT_EQ(ErrorOf([] { CQVTMemoryStream stream(std::numeric_limits<std::uint64_t>::max()); }),
              ErrorOutOfMemory);
}

TEST(StreamHelpers, AStreamThatStopsShortIsAnError) {
    // Accepts half of every write and reports no error of its own.
    struct HalfStream final : CQVTStream {
        void Write(std::int32_t& count, const void*) override { count /= 2; }
        void Read(std::int32_t& count, void*) override { count /= 2; }
        void SetPos(std::int16_t, std::int64_t) override {}
        std::uint64_t GetPos() override { return 0; }
        bool IsValid() const override { return true; }
    } stream;
    std::uint8_t bytes[4] = {};
    EXPECT_EQ(ErrorOf([&] { WriteBytes(stream, bytes, 4); }), static_cast<std::uint32_t>(EIO));
    EXPECT_EQ(ErrorOf([&] { ReadBytes(stream, bytes, 4); }), ErrorShortRead);
    EXPECT_EQ(ErrorOf([&] { WriteBytes(stream, bytes, 0); }), 0u);
}

TEST(FileStream, WritesReadsAndSeeksThroughTheDescriptor) {
    TempFile file;
    ASSERT_GE(file.fd, 0);
    CQVTFileStream stream(file.fd);
    EXPECT_TRUE(stream.IsValid());
    const auto bytes = Sequence(300);
    WriteBytes(stream, bytes.data(), bytes.size());
    EXPECT_EQ(stream.GetPos(), 300u);
    stream.SetPos(PosFromEnd, -100);
    EXPECT_EQ(stream.GetPos(), 200u);
    EXPECT_EQ(RemainingBytes(stream), 100u);
    stream.SetPos(PosFromCurrent, -50);

    std::vector<std::uint8_t> out(500);
    std::int32_t count = 500;
    stream.Read(count, out.data());
    EXPECT_EQ(count, 150); // the end of the file is no error
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 150, bytes.begin() + 150));
    count = 10;
    stream.Read(count, out.data());
    EXPECT_EQ(count, 0);
}

TEST(FileStream, SystemFailuresThrowErrno) {
    TempFile file;
    const int readOnly = ::open(file.path.c_str(), O_RDONLY);
    ASSERT_GE(readOnly, 0);
    {
        CQVTFileStream stream(readOnly);
        EXPECT_EQ(ErrorOf([&] { Write(stream, {1, 2, 3}); }), static_cast<std::uint32_t>(EBADF));
        EXPECT_EQ(ErrorOf([&] { stream.SetPos(PosFromStart, -1); }),
                  static_cast<std::uint32_t>(EINVAL));
        EXPECT_EQ(ErrorOf([&] { stream.SetPos(3, 0); }), static_cast<std::uint32_t>(EINVAL));
    }
    // The stream never owns the descriptor: it is still open after the stream is gone.
    EXPECT_NE(::fcntl(readOnly, F_GETFD), -1);
    ::close(readOnly);

    CQVTFileStream closed(readOnly);
    std::uint8_t byte;
    std::int32_t count = 1;
    EXPECT_EQ(ErrorOf([&] { closed.Read(count, &byte); }), static_cast<std::uint32_t>(EBADF));
    EXPECT_EQ(ErrorOf([&] { closed.GetPos(); }), static_cast<std::uint32_t>(EBADF));
    EXPECT_FALSE(CQVTFileStream(-1).IsValid());
}

// Random reads of every size (inside the buffer, across its end, larger than it, large enough
// for the threads to share, also past the end of the file) and seeks of every kind, checked
// against the unbuffered stream over the same file.
TEST(FileReadStream, ReadsAndSeeksAsTheDescriptorDoes) {
    TempFile file;
    ASSERT_GE(file.fd, 0);
    CQVTFileStream plain(file.fd);
    const auto bytes = Sequence(6000000, 7);
    WriteBytes(plain, bytes.data(), bytes.size());
    plain.SetPos(PosFromStart, 0);
    const int fd = ::open(file.path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    CQVTFileReadStream buffered(fd);
    std::mt19937 rng(5);
    for (int step = 0; step < 3000; ++step) {
        const std::uint32_t what = rng() % 8;
        if (what < 5) {
            const std::int32_t sizes[] = {1, 2, 7, 300, 70000};
            std::int32_t wanted =
                (step % 100 == 0 ? 4500000 : sizes[what]) + static_cast<std::int32_t>(rng() % 5);
            std::vector<std::uint8_t> a(static_cast<std::size_t>(wanted)), b(a.size());
            std::int32_t countA = wanted, countB = wanted;
            plain.Read(countA, a.data());
            buffered.Read(countB, b.data());
            ASSERT_EQ(countB, countA) << "step " << step;
            ASSERT_EQ(b, a) << "step " << step;
        } else {
            const std::int16_t mode = static_cast<std::int16_t>(what - 5);
            const std::int64_t offset = static_cast<std::int64_t>(rng() % 6400000) - 3200000;
            const std::uint32_t errorA = ErrorOf([&] { plain.SetPos(mode, offset); });
            const std::uint32_t errorB = ErrorOf([&] { buffered.SetPos(mode, offset); });
            ASSERT_EQ(errorB, errorA) << "step " << step;
        }
        ASSERT_EQ(buffered.GetPos(), plain.GetPos()) << "step " << step;
    }
    EXPECT_EQ(ErrorOf([&] { Write(buffered, {1}); }), static_cast<std::uint32_t>(EBADF));
    ::close(fd);
    CQVTFileReadStream closed(fd);
    std::uint8_t byte;
    std::int32_t count = 1;
    EXPECT_EQ(ErrorOf([&] { closed.Read(count, &byte); }), static_cast<std::uint32_t>(EBADF));
    EXPECT_EQ(count, 0);
}
