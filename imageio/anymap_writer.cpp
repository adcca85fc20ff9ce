#include "anymap_file.h"

#include "anymap_rows.h"
#include "background_job.h"
#include "mul_div.h"
#include "parallel_guard.h"
#include "qvt_error.h"
#include "qvt_stream.h"
#include "strip_buffer.h"
#include "thread_placement.h"
#include "vector_clones.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <omp.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The error a failed file call left in errno, EIO when it left none.
[[noreturn]] void ThrowFileError() {
    ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
}

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

int KindOf(std::uint32_t mode) {
    switch (mode) {
    case ModeBitmap:
        return 1;
    case ModeGray:
    case ModeGray16:
        return 2;
    case ModeRGB:
    case ModeRGB48:
        return 3;
    default:
        return 0;
    }
}

// The maxval written: the image's maximum when it fits the samples, else their full range.
std::uint32_t WrittenMaxval(const ImageRowSource& image) {
    const std::uint32_t full = IsDeepMode(image.Mode()) ? 65535 : 255;
    const std::uint32_t maximum = image.MaxChannelValue();
    return maximum == 0 || maximum > full ? full : maximum;
}

// Calls visit(first, count) for every strip of the image, top to bottom.
template <typename Visit>
void ForEachStrip(const ImageRowSource& image, Visit visit) {
    const std::uint32_t height = image.Height();
    const std::uint32_t strip = std::max<std::uint32_t>(1, image.StripRows());
    for (std::uint32_t first = 0; first < height; first += std::min(strip, height - first))
        visit(first, std::min(strip, height - first));
}

// Calls writeRow(row) for every row of the image, top to bottom, a strip at a time.
template <typename WriteRow>
void ForEachRow(ImageRowSource& image, WriteRow writeRow) {
    ForEachStrip(image, [&](std::uint32_t first, std::uint32_t count) {
        std::ptrdiff_t pitch = 0;
        const std::uint8_t* rows = image.Rows(first, count, pitch);
        for (std::uint32_t y = 0; y < count; ++y)
            writeRow(rows + pitch * static_cast<std::ptrdiff_t>(y));
    });
}

// Collects one row of output and hands it to the file in one call.
class RowWriter {
public:
    RowWriter(std::FILE* file, bool binary) : file_(file), binary_(binary) {}

    // A sample of a plain (text) file.
    void Sample(std::uint32_t value) {
        char digits[12];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        row_.insert(row_.end(), digits, end);
        row_.push_back(' ');
    }
    void Bytes(const std::uint8_t* bytes, std::size_t count) {
        row_.insert(row_.end(), bytes, bytes + count);
    }
    bool Binary() const { return binary_; }
    // Bytes that go to the file as they are. A large block goes to the system straight from
    // where it lies: stdio would first copy all of it but whole multiples of its buffer.
    void Block(const std::uint8_t* bytes, std::size_t count) {
        constexpr std::size_t kDirectBytes = std::size_t{64} << 10;
        if (count < kDirectBytes) {
            if (std::fwrite(bytes, 1, count, file_) != count) ThrowFileError();
            return;
        }
        if (std::fflush(file_) != 0) ThrowFileError();
        CQVTFileStream stream(::fileno(file_));
        try {
            WriteBytes(stream, bytes, count);
        } catch (const IOException& error) {
            ThrowCodeError(error.error);
        }
    }
    void EndRow() {
        if (!binary_) row_.push_back('\n');
        Block(reinterpret_cast<const std::uint8_t*>(row_.data()), row_.size());
        row_.clear();
    }
    // Where the next bytes go, when the file can take writes at any place (a regular file).
    std::optional<std::uint64_t> Place() {
        struct stat info {};
        const off_t at = FlushedPosition();
        if (::fstat(::fileno(file_), &info) != 0 || !S_ISREG(info.st_mode) || at < 0)
            return std::nullopt;
        return static_cast<std::uint64_t>(at);
    }
    // Bytes written at `at`, on any thread, leaving the file's position where it is.
    void BlockAt(std::uint64_t at, const std::uint8_t* bytes, std::size_t count) {
        while (count > 0) {
            const ssize_t written = ::pwrite(::fileno(file_), bytes, count, static_cast<off_t>(at));
            if (written < 0 && errno == EINTR) continue;
            if (written == 0) errno = EIO;
            if (written <= 0) ThrowFileError();
            const auto done = static_cast<std::size_t>(written);
            bytes += done;
            count -= done;
            at += done;
        }
    }
    // Has the file system set aside room for the next `bytes` bytes before they come, where it
    // can: reserving it a page at a time as the writes came took a third of their time.
    // Nothing depends on it, so failures are left to the writes.
    void Reserve(std::uint64_t bytes) {
#if defined(__linux__)
        const off_t at = FlushedPosition();
        if (at >= 0 && bytes > 0)
            ::fallocate(::fileno(file_), FALLOC_FL_KEEP_SIZE, at, static_cast<off_t>(bytes));
#else
        (void)bytes;
#endif
    }
    void MoveTo(std::uint64_t at) {
        if (::fseeko(file_, static_cast<off_t>(at), SEEK_SET) != 0) ThrowFileError();
    }

private:
    // The file's position with every byte so far handed to the system; negative for a pipe.
    off_t FlushedPosition() {
        if (std::fflush(file_) != 0) ThrowFileError();
        return ::ftello(file_);
    }

    std::FILE* file_;
    bool binary_;
    std::vector<char> row_;
};

// Strips of an image whose rows RowsRedFirst makes on any thread, on a team of `threads`: each
// thread makes whole strips into a buffer of its own and the strips go to the file in order.
// Only one thread can write at a time, and the others make the strips that follow meanwhile, so
// that no processor waits for the writes. The first strip that fails, in file order, is the one
// reported.
void WriteRedFirstStripsOnEveryThread(ImageRowSource& image, std::size_t rowBytes, RowWriter& out,
                                      int threads) {
    const std::uint32_t height = image.Height();
    const std::uint32_t strip = std::max<std::uint32_t>(1, image.StripRows());
    const auto strips = static_cast<std::int64_t>((std::uint64_t{height} + strip - 1) / strip);
    std::vector<StripBuffer> buffers(static_cast<std::size_t>(threads));
    std::exception_ptr error;
    std::atomic<bool> failed{false};
    image.SetRowThreads(1);
#pragma omp parallel num_threads(threads)
    {
        StripBuffer& buffer = buffers[static_cast<std::size_t>(omp_get_thread_num())];
#pragma omp for ordered schedule(static, 1)
        for (std::int64_t s = 0; s < strips; ++s) {
            const std::uint32_t first = static_cast<std::uint32_t>(s) * strip;
            const std::uint32_t count = std::min(strip, height - first);
            const std::size_t bytes = rowBytes * count;
            std::uint8_t* to = nullptr;
            std::exception_ptr made;
            if (!failed.load(std::memory_order_relaxed)) {
                try {
                    to = buffer.Hold(bytes);
                    image.RowsRedFirst(first, count, to, static_cast<std::ptrdiff_t>(rowBytes));
                } catch (...) {
                    made = std::current_exception();
                }
            }
#pragma omp ordered
            if (!error) {
                error = made;
                if (!error) {
                    try {
                        out.Block(to, bytes);
                    } catch (...) {
                        error = std::current_exception();
                    }
                }
                if (error) failed.store(true, std::memory_order_relaxed);
            }
        }
    }
    image.SetRowThreads(0);
    if (error) std::rethrow_exception(error);
}

// The rows of an image that makes them in runs (ImageRowSource::RowRuns), a thread each, every
// strip written at its place in the file: no thread waits for another. `at` is where the rows
// begin. The first strip that fails, in file order, is the one reported.
void WriteRedFirstRunsOnEveryThread(ImageRowSource& image, std::size_t rowBytes, RowWriter& out,
                                    const std::vector<std::uint32_t>& runs, std::uint64_t at) {
    const std::uint32_t height = image.Height();
    const std::uint32_t strip = std::max<std::uint32_t>(1, image.StripRows());
    const auto count = static_cast<int>(runs.size());
    // Runs below one that failed need not go on: their errors would come later in the file.
    FirstFailure failure;
    image.SetRowThreads(1);
#pragma omp parallel for schedule(static, 1) num_threads(count)
    for (int r = 0; r < count; ++r) {
        const auto run = static_cast<std::size_t>(r);
        const std::uint32_t end = run + 1 < runs.size() ? runs[run + 1] : height;
        StripBuffer buffer;
        try {
            for (std::uint32_t first = runs[run]; first < end && !failure.KeptBefore(r);
                 first += strip) {
                const std::uint32_t rows = std::min(strip, end - first);
                std::uint8_t* to = buffer.Hold(rowBytes * rows);
                image.RowsRedFirst(first, rows, to, static_cast<std::ptrdiff_t>(rowBytes));
                out.BlockAt(at + std::uint64_t{first} * rowBytes, to, rowBytes * rows);
            }
        } catch (...) {
            failure.Keep(r, std::current_exception());
        }
    }
    image.SetRowThreads(0);
    failure.Rethrow();
    out.MoveTo(at + std::uint64_t{height} * rowBytes);
}

// Binary rows leave a strip at a time: convertRow(to, from) turns each row of the strip into
// its rowBytes file bytes, rows shared among threads when the strip is large, and the strip goes
// to the file in one write. When the file's bytes are the rows themselves with colour pixels red
// first (`redFirstAsIs`), an image that can make its rows so makes them straight into the strip,
// on every thread when it can. Otherwise, with more than one thread, a strip is written on a
// thread of its own while the next is made, into the other of two buffers.
template <typename ConvertRow>
void WriteBinaryStrips(ImageRowSource& image, std::size_t rowBytes, RowWriter& out,
                       bool redFirstAsIs, ConvertRow convertRow) {
    constexpr std::size_t kBytesPerThread = std::size_t{256} << 10;
    const bool severalStrips = image.StripRows() < image.Height();
    out.Reserve(std::uint64_t{rowBytes} * image.Height());
    if (redFirstAsIs && severalStrips && omp_get_max_threads() > 1) {
        if (const std::optional<std::uint64_t> at = out.Place()) {
            const std::vector<std::uint32_t> runs = image.RowRuns(omp_get_max_threads());
            if (runs.size() > 1) {
                WriteRedFirstRunsOnEveryThread(image, rowBytes, out, runs, *at);
                return;
            }
        }
        if (image.RowsRedFirstOnAnyThread()) {
            WriteRedFirstStripsOnEveryThread(image, rowBytes, out, omp_get_max_threads());
            return;
        }
    }
    std::array<StripBuffer, 2> strips;
    std::size_t next = 0;
    std::optional<BackgroundJob> writer;
    // While a strip is written, the next one is made on the other processors: a thread making
    // rows beside the writer held up the rest of its team, and the writes hardly overlapped.
    int rowThreads = omp_get_max_threads();
    if (rowThreads > 1 && severalStrips) {
        writer.emplace();
        writer->Start(BindCallingThreadBesideSmallerTeam);
        --rowThreads;
        image.SetRowThreads(rowThreads);
    }
    ForEachStrip(image, [&](std::uint32_t first, std::uint32_t count) {
        const std::size_t bytes = rowBytes * count;
        // The buffer's last write ended before the write in flight began.
        std::uint8_t* to = strips[next].Hold(bytes);
        if (!redFirstAsIs ||
            !image.RowsRedFirst(first, count, to, static_cast<std::ptrdiff_t>(rowBytes))) {
            std::ptrdiff_t pitch = 0;
            const std::uint8_t* rows = image.Rows(first, count, pitch);
#pragma omp parallel for schedule(static) num_threads(rowThreads) if (bytes >= 2 * kBytesPerThread)
            for (std::int64_t y = 0; y < std::int64_t{count}; ++y)
                convertRow(to + rowBytes * static_cast<std::size_t>(y), rows + pitch * y);
        }
        if (!writer) {
            out.Block(to, bytes);
            return;
        }
        writer->Start([&out, to, bytes] { out.Block(to, bytes); });
        next ^= 1;
    });
    if (!writer) return;
    writer->Wait();
    image.SetRowThreads(0);
}

void WriteBitmapRows(ImageRowSource& image, RowWriter& out, bool binary) {
    const std::uint32_t width = image.Width();
    const std::size_t rowBytes = (std::size_t{width} + 7) / 8;
    ForEachRow(image, [&](const std::uint8_t* row) {
        if (binary) {
            out.Bytes(row, rowBytes);
        } else {
            for (std::uint32_t x = 0; x < width; ++x)
                out.Sample(row[x / 8] >> (7 - x % 8) & 1);
        }
        out.EndRow();
    });
}

// 16-bit words (gray, or blue, green, red) as big-endian samples in file order, clamped to
// maxval.
inline void StoreBigEndian(std::uint8_t* to, std::uint16_t word, std::uint16_t maxval) {
    const std::uint16_t s = word < maxval ? word : maxval;
    to[0] = static_cast<std::uint8_t>(s >> 8);
    to[1] = static_cast<std::uint8_t>(s);
}

// The 16-bit word at `from` in the machine's order; rows need not be aligned for words.
inline std::uint16_t LoadWord(const std::uint8_t* from) {
    std::uint16_t word;
    std::memcpy(&word, from, 2);
    return word;
}

VECTOR_CLONES void StoreDeepGrayRow(std::uint8_t* __restrict to,
                                    const std::uint8_t* __restrict from, std::size_t pixels,
                                    std::uint16_t maxval) {
#pragma omp simd
    for (std::size_t i = 0; i < pixels; ++i)
        StoreBigEndian(to + 2 * i, LoadWord(from + 2 * i), maxval);
}

VECTOR_CLONES void StoreDeepColourRow(std::uint8_t* __restrict to,
                                      const std::uint8_t* __restrict from, std::size_t pixels,
                                      std::uint16_t maxval) {
#pragma omp simd
    for (std::size_t i = 0; i < pixels; ++i) {
        StoreBigEndian(to + 6 * i, LoadWord(from + 6 * i + 4), maxval);
        StoreBigEndian(to + 6 * i + 2, LoadWord(from + 6 * i + 2), maxval);
        StoreBigEndian(to + 6 * i + 4, LoadWord(from + 6 * i), maxval);
    }
}

// Display rows (8-bit gray or blue, green, red) scaled from 0 ... 255 down to 0 ... maxval, which
// gives back exactly the samples an opened file had.
void WriteDisplayRows(ImageRowSource& image, int channels, std::uint32_t maxval, RowWriter& out) {
    std::uint8_t toFile[256];
    for (std::uint32_t v = 0; v < 256; ++v)
        toFile[v] = static_cast<std::uint8_t>(MulDiv(v, maxval, 255));
    const auto step = static_cast<std::size_t>(channels);
    const std::size_t rowBytes = std::size_t{image.Width()} * step;
    if (!out.Binary()) {
        ForEachRow(image, [&](const std::uint8_t* row) {
            for (std::size_t i = 0; i < rowBytes; i += step)
                for (int c = channels - 1; c >= 0; --c)
                    out.Sample(toFile[row[i + static_cast<std::size_t>(c)]]);
            out.EndRow();
        });
        return;
    }
    // At full range the samples stay as they are: gray rows are copied, colour rows only change
    // their channel order.
    WriteBinaryStrips(image, rowBytes, out, maxval == 255,
                      [&](std::uint8_t* __restrict to, const std::uint8_t* __restrict row) {
                          if (maxval == 255 && channels == 1) {
                              std::memcpy(to, row, rowBytes);
                          } else if (maxval == 255 && channels == 3) {
                              SwapOuterBytes(to, row, rowBytes / 3);
                          } else {
                              for (std::size_t i = 0; i < rowBytes; i += step)
                                  for (std::size_t c = 0; c < step; ++c)
                                      to[i + c] = toFile[row[i + step - 1 - c]];
                          }
                      });
}

// 16-bit words (gray, or blue, green, red) written as stored, clamped to maxval.
void WriteDeepRows(ImageRowSource& image, int channels, std::uint32_t maxval, RowWriter& out) {
    const std::uint32_t width = image.Width();
    const auto step = static_cast<std::size_t>(channels);
    if (out.Binary()) {
        const auto clamp = static_cast<std::uint16_t>(maxval);
        WriteBinaryStrips(image, std::size_t{width} * step * 2, out, false,
                          [&](std::uint8_t* to, const std::uint8_t* row) {
                              if (channels == 3)
                                  StoreDeepColourRow(to, row, width, clamp);
                              else
                                  StoreDeepGrayRow(to, row, width, clamp);
                          });
        return;
    }
    ForEachRow(image, [&](const std::uint8_t* row) {
        for (std::uint32_t x = 0; x < width; ++x)
            for (int c = channels - 1; c >= 0; --c)
                out.Sample(std::min<std::uint32_t>(
                    LoadWord(row + (std::size_t{x} * step + static_cast<std::size_t>(c)) * 2),
                    maxval));
        out.EndRow();
    });
}

} // namespace

bool IsAnymapMode(std::uint32_t mode) { return KindOf(mode) != 0; }

void WriteAnymapFile(RasterImage& image, const std::string& path, bool binary) {
    if (!image.display) throw ImageFileError(kNoSuitableFormat);
    RasterImageRows rows(image);
    WriteAnymapFile(rows, path, binary);
}

void WriteAnymapFile(ImageRowSource& image, const std::string& path, bool binary) {
    const ImageMode mode = image.Mode();
    const int kind = KindOf(mode);
    if (kind == 0) throw ImageFileError(kNoSuitableFormat);
    errno = 0;
    // Rows leave in writes of a mebibyte rather than a system call or two each. The buffer
    // outlives the file, which writes it out when it closes. Left uncleared, it costs only the
    // pages that are written: binary strips go to the file past it.
    constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kBufferBytes);
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) ThrowFileError();
    std::setvbuf(file.get(), buffer.get(), _IOFBF, kBufferBytes);

    const std::uint32_t maxval = kind == 1 ? 1 : WrittenMaxval(image);
    std::string head = "P" + std::to_string(binary ? kind + 3 : kind) + "\n" +
                       std::to_string(image.Width()) + " " + std::to_string(image.Height()) + "\n";
    if (kind != 1) head += std::to_string(maxval) + "\n";
    if (std::fwrite(head.data(), 1, head.size(), file.get()) != head.size()) ThrowFileError();
    RowWriter out(file.get(), binary);
    const int channels = kind == 3 ? 3 : 1;
    if (kind == 1)
        WriteBitmapRows(image, out, binary);
    else if (IsDeepMode(mode))
        WriteDeepRows(image, channels, maxval, out);
    else
        WriteDisplayRows(image, channels, maxval, out);
    if (std::fflush(file.get()) != 0 || std::ferror(file.get())) ThrowFileError();
}
