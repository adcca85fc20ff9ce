// A thin wrapper over libpng for the PNG tile codec. libpng reports every error by longjmp; each
// wrapper method runs its libpng calls inside a small frame that owns nothing with a destructor,
// so the jump never skips a C++ clean-up, and then turns the jump into png::CError.
#pragma once

#include "qvt_stream.h"

#include <png.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <type_traits>

namespace png {

// libpng's error text (or the stream's) from a failed wrapper call.
class CError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One libpng info structure tied to the read or write structure it belongs to.
class CInfoBase {
public:
    CInfoBase(const CInfoBase&) = delete;
    CInfoBase& operator=(const CInfoBase&) = delete;

    png_infop Get() const { return m_info; }

protected:
    // Throws CError when libpng cannot allocate the structure.
    explicit CInfoBase(png_structp png);
    ~CInfoBase() { png_destroy_info_struct(m_png, &m_info); }

private:
    png_structp m_png;
    png_infop m_info;
};

class CInfo : public CInfoBase {
public:
    explicit CInfo(png_structp png) : CInfoBase(png) {}
};

class CEndInfo : public CInfoBase {
public:
    explicit CEndInfo(png_structp png) : CInfoBase(png) {}
};

namespace detail {
using Step = void (*)(png_structp png, png_infop info, void* context);
// Runs `step` under libpng's jump buffer; false when libpng left through its error exit.
bool RunGuarded(png_structp png, png_infop info, Step step, void* context);

enum class Direction : std::uint8_t { Read, Write };

// The libpng read or write structure; destroyed after the info structures declared behind it.
class COwnedStruct {
public:
    COwnedStruct(Direction direction, void* errorOwner);
    ~COwnedStruct();
    COwnedStruct(const COwnedStruct&) = delete;
    COwnedStruct& operator=(const COwnedStruct&) = delete;

    png_structp Get() const { return m_png; }

private:
    Direction m_direction;
    png_structp m_png;
};
} // namespace detail

// What reader and writer share: the libpng structure, its two info structures, the stream, the
// count of bytes written and the text of the last error. The text lives in a fixed array so
// that recording it inside libpng's error path can neither allocate nor throw.
class CIOBase {
public:
    CIOBase(const CIOBase&) = delete;
    CIOBase& operator=(const CIOBase&) = delete;

    const char* ErrorText() const { return m_errorText.data(); }
    void SetErrorText(const char* text) noexcept;

    // The stream transfers behind libpng's input and output functions. A short transfer or a
    // failing stream is recorded as the error text, which makes the callback leave libpng.
    template <typename Transfer>
    void TransferInPieces(std::size_t count, const char* shortText, Transfer transfer) noexcept;
    void ReadFromStream(png_bytep bytes, std::size_t count) noexcept;
    void WriteToStream(png_const_bytep bytes, std::size_t count) noexcept;
    bool HasError() const { return m_errorText[0] != '\0'; }

protected:
    CIOBase(detail::Direction direction, CQVTStream& stream);
    ~CIOBase() = default;

    // Runs `step(png, info)` under the jump buffer and throws CError when libpng jumped out. The
    // step must only call libpng: anything it owned would be skipped by the jump.
    template <typename Step>
    void Call(const Step& step) {
        static_assert(std::is_trivially_destructible_v<Step>);
        const detail::Step thunk = [](png_structp png, png_infop info, void* context) {
            (*static_cast<const Step*>(context))(png, info);
        };
        ThrowIfJumped(detail::RunGuarded(m_png.Get(), m_info.Get(), thunk,
                                         const_cast<void*>(static_cast<const void*>(&step))));
    }
    void ThrowIfJumped(bool completed);

    detail::COwnedStruct m_png;
    CInfo m_info;
    CEndInfo m_endInfo;
    CQVTStream& m_stream;
    std::uint64_t m_bytesWritten = 0;
    std::array<char, 256> m_errorText{};
};

// The header fields of a PNG image.
struct ImageHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = PNG_INTERLACE_NONE;
    int compression = PNG_COMPRESSION_TYPE_BASE;
    int filter = PNG_FILTER_TYPE_BASE;
};

// Reads a PNG image from the stream's position, rows with red and blue swapped.
class CReader : public CIOBase {
public:
    explicit CReader(CQVTStream& stream);

    // Reads everything up to the image data.
    void ReadHeader();
    ImageHeader Header() const;
    int Channels() const;
    std::uint64_t RowBytes() const;
    // The palette inside the reader (valid while it lives); count 0 when there is none.
    png_colorp Palette(int& count) const;
    void InvertMonochrome();
    // Number of interlace passes; every pass reads every row.
    int InterlacePasses();
    void ReadRow(png_bytep row);
};

// Writes a PNG image to the stream's position, rows with red and blue swapped.
class CWriter : public CIOBase {
public:
    explicit CWriter(CQVTStream& stream);

    // Compresses quickly rather than small (zlib level 1, one cheap row filter), for images
    // that live briefly. Call before WriteHeader.
    void PreferSpeed();
    // Writes the header chunks; `palette` with `paletteCount` entries for palette images.
    void WriteHeader(const ImageHeader& header, const png_color* palette, int paletteCount,
                     bool invertMonochrome);
    int InterlacePasses();
    void WriteRow(png_const_bytep row);
    void WriteEnd();
    std::uint64_t BytesWritten() const { return m_bytesWritten; }
};

} // namespace png
