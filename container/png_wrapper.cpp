#include "png_wrapper.h"

#include "qvt_error.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>

namespace png {

namespace {

// libpng's error function: keeps the message and leaves through the jump buffer that the
// running wrapper call set up.
[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    static_cast<CIOBase*>(png_get_error_ptr(png))->SetErrorText(message);
    png_longjmp(png, 1);
}

// Warnings are not errors and must not reach stderr.
void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep bytes, std::size_t count) {
    auto* io = static_cast<CIOBase*>(png_get_io_ptr(png));
    io->ReadFromStream(bytes, count);
    if (io->HasError()) png_longjmp(png, 1);
}

void OnWrite(png_structp png, png_bytep bytes, std::size_t count) {
    auto* io = static_cast<CIOBase*>(png_get_io_ptr(png));
    io->WriteToStream(bytes, count);
    if (io->HasError()) png_longjmp(png, 1);
}

// The stream writes through at once; there is nothing to flush.
void OnFlush(png_structp) {}

constexpr std::size_t kMaxPiece = std::numeric_limits<std::int32_t>::max();

} // namespace

namespace detail {

bool RunGuarded(png_structp png, png_infop info, Step step, void* context) {
    // Nothing in this frame changes after setjmp, so no local needs to be volatile.
    if (setjmp(png_jmpbuf(png))) return false;
    step(png, info, context);
    return true;
}

COwnedStruct::COwnedStruct(Direction direction, void* errorOwner)
    : m_direction(direction),
      m_png(direction == Direction::Read
                ? png_create_read_struct(PNG_LIBPNG_VER_STRING, errorOwner, OnError, OnWarning)
                : png_create_write_struct(PNG_LIBPNG_VER_STRING, errorOwner, OnError, OnWarning)) {
    if (!m_png) throw CError("libpng structure could not be created");
}

COwnedStruct::~COwnedStruct() {
    if (m_direction == Direction::Read)
        png_destroy_read_struct(&m_png, nullptr, nullptr);
    else
        png_destroy_write_struct(&m_png, nullptr);
}

} // namespace detail

CInfoBase::CInfoBase(png_structp png) : m_png(png), m_info(png_create_info_struct(png)) {
    if (!m_info) throw CError("libpng info structure could not be created");
}

CIOBase::CIOBase(detail::Direction direction, CQVTStream& stream)
    : m_png(direction, this), m_info(m_png.Get()), m_endInfo(m_png.Get()), m_stream(stream) {
    if (direction == detail::Direction::Read)
        png_set_read_fn(m_png.Get(), this, OnRead);
    else
        png_set_write_fn(m_png.Get(), this, OnWrite, OnFlush);
}

void CIOBase::SetErrorText(const char* text) noexcept {
    const std::size_t length = std::min(std::strlen(text), m_errorText.size() - 1);
    std::memmove(m_errorText.data(), text, length);
    m_errorText[length] = '\0';
}

void CIOBase::ThrowIfJumped(bool completed) {
    if (completed) return;
    throw CError(HasError() ? ErrorText() : "libpng error");
}

// Moves `count` bytes in pieces the stream's 32-bit counts can carry. A short piece or a stream
// exception becomes the error text that libpng's error exit then reports; libpng must never go
// on with bytes that never arrived.
template <typename Transfer>
void CIOBase::TransferInPieces(std::size_t count, const char* shortText,
                               Transfer transfer) noexcept {
    m_errorText[0] = '\0';
    try {
        for (std::size_t done = 0; done < count;) {
            const std::size_t piece = std::min(count - done, kMaxPiece);
            if (transfer(done, piece) != piece) {
                SetErrorText(shortText);
                return;
            }
            done += piece;
        }
    } catch (const IOException& e) {
        std::snprintf(m_errorText.data(), m_errorText.size(), "KLD Stream error: 0x%08X",
                      static_cast<unsigned>(e.error));
    } catch (...) {
        SetErrorText("KLD Stream error: unexpected failure");
    }
}

void CIOBase::ReadFromStream(png_bytep bytes, std::size_t count) noexcept {
    TransferInPieces(count, "KLD Stream error: not all data have been read!",
                     [&](std::size_t done, std::size_t piece) {
                         auto transferred = static_cast<std::int32_t>(piece);
                         m_stream.Read(transferred, bytes + done);
                         return static_cast<std::size_t>(std::max(transferred, 0));
                     });
}

void CIOBase::WriteToStream(png_const_bytep bytes, std::size_t count) noexcept {
    TransferInPieces(count, "KLD Stream error: not all data have been written!",
                     [&](std::size_t done, std::size_t piece) {
                         auto transferred = static_cast<std::int32_t>(piece);
                         m_stream.Write(transferred, bytes + done);
                         const auto written = static_cast<std::size_t>(std::max(transferred, 0));
                         m_bytesWritten += static_cast<std::uint32_t>(written);
                         return written;
                     });
}

// --- Reader ------------------------------------------------------------------------------------

CReader::CReader(CQVTStream& stream) : CIOBase(detail::Direction::Read, stream) {}

void CReader::ReadHeader() {
    Call([](png_structp png, png_infop info) {
        png_set_bgr(png);
        png_read_info(png, info);
    });
}

ImageHeader CReader::Header() const {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    ImageHeader header;
    png_get_IHDR(m_png.Get(), m_info.Get(), &width, &height, &header.bitDepth, &header.colorType,
                 &header.interlace, &header.compression, &header.filter);
    header.width = width;
    header.height = height;
    return header;
}

int CReader::Channels() const { return png_get_channels(m_png.Get(), m_info.Get()); }

std::uint64_t CReader::RowBytes() const { return png_get_rowbytes(m_png.Get(), m_info.Get()); }

png_colorp CReader::Palette(int& count) const {
    png_colorp palette = nullptr;
    count = 0;
    if (png_get_PLTE(m_png.Get(), m_info.Get(), &palette, &count) != PNG_INFO_PLTE) {
        count = 0;
        return nullptr;
    }
    return palette;
}

void CReader::InvertMonochrome() {
    Call([](png_structp png, png_infop) { png_set_invert_mono(png); });
}

int CReader::InterlacePasses() {
    int passes = 1;
    Call([&passes](png_structp png, png_infop) { passes = png_set_interlace_handling(png); });
    return passes;
}

void CReader::ReadRow(png_bytep row) {
    Call([row](png_structp png, png_infop) { png_read_row(png, row, nullptr); });
}

// --- Writer ------------------------------------------------------------------------------------

CWriter::CWriter(CQVTStream& stream) : CIOBase(detail::Direction::Write, stream) {}

void CWriter::PreferSpeed() {
    Call([](png_structp png, png_infop) {
        png_set_compression_level(png, 1);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    });
}

void CWriter::WriteHeader(const ImageHeader& header, const png_color* palette, int paletteCount,
                          bool invertMonochrome) {
    Call([&](png_structp png, png_infop info) {
        png_set_bgr(png);
        png_set_IHDR(png, info, header.width, header.height, header.bitDepth, header.colorType,
                     header.interlace, header.compression, header.filter);
        if (palette) png_set_PLTE(png, info, palette, paletteCount);
        if (invertMonochrome) png_set_invert_mono(png);
        png_write_info(png, info);
    });
}

int CWriter::InterlacePasses() {
    int passes = 1;
    Call([&passes](png_structp png, png_infop) { passes = png_set_interlace_handling(png); });
    return passes;
}

void CWriter::WriteRow(png_const_bytep row) {
    Call([row](png_structp png, png_infop) { png_write_row(png, row); });
}

void CWriter::WriteEnd() {
    Call([](png_structp png, png_infop info) { png_write_end(png, info); });
}

} // namespace png
