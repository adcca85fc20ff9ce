#include "qvt_image.h"

#include "block_decoder.h"
#include "block_encoder.h"
#include "last_level_rows.h"

#include <cstring>
#include <omp.h>

CQVTImage::CQVTImage() = default;

CQVTImage::~CQVTImage() = default;

bool CQVTImage::IsModeSupported(std::uint32_t mode) { return ::IsModeSupported(mode); }

int CQVTImage::ThreadCount() const {
    // The runtime's default honours OMP_NUM_THREADS and the processors this process may use.
    return m_threadCount > 0 ? m_threadCount : omp_get_max_threads();
}

int CQVTImage::ChannelDepth() const {
    if (m_header.channels == 0) return 0;
    const int depth = m_header.bitsPerPixel / m_header.channels;
    return depth < 9 ? depth : m_header.usedBitsPerChannel;
}

void CQVTImage::Close() {
    // The rows' last level reads the planes of level 1.
    m_lastLevelRows.reset();
    m_encoder.reset();
    m_headWriter.reset();
    m_decoder.reset();
    m_channels = {};
    m_stream = nullptr;
    m_levelLengths.clear();
    m_leadIn = {};
    m_header = {};
    m_layout = {};
    m_colorTable = {};
    m_userData.clear();
    m_userDataLength = 0;
    m_userDataPosition = 0;
    m_levelDataStart = 0;
    m_currentLevel = 0;
    m_hasRegion = false;
    m_region = {};
    m_progress = 0;
}

void CQVTImage::ReleaseStream() {
    m_decoder.reset();
    m_stream = nullptr;
}

void CQVTImage::GetColorTable(int first, int count, std::uint8_t* entries) const {
    if (first < 0 || count < 0 || first + count > 256) ThrowCodecError(ErrorColorTable);
    std::memcpy(entries, m_colorTable.data() + 4 * first, 4 * static_cast<std::size_t>(count));
}

void CQVTImage::SetColorTable(int first, int count, const std::uint8_t* entries) {
    if (first < 0 || count < 0 || first + count > 256) ThrowCodecError(ErrorColorTable);
    std::memcpy(m_colorTable.data() + 4 * first, entries, 4 * static_cast<std::size_t>(count));
}
