#include "device_stream.h"

#include "qvt_error.h"

#include <cerrno>

void CDeviceStream::Write(std::int32_t& count, const void* bytes) {
    const qint64 written = m_device.write(static_cast<const char*>(bytes), count);
    if (written < 0) ThrowCodecError(EIO);
    count = static_cast<std::int32_t>(written);
}

void CDeviceStream::Read(std::int32_t& count, void* bytes) {
    std::int32_t done = 0;
    while (done < count) {
        const qint64 got = m_device.read(static_cast<char*>(bytes) + done, count - done);
        if (got < 0) ThrowCodecError(EIO);
        if (got == 0) break;
        done += static_cast<std::int32_t>(got);
    }
    count = done;
}

void CDeviceStream::SetPos(std::int16_t mode, std::int64_t offset) {
    qint64 base = m_origin;
    if (mode == PosFromCurrent) base = m_device.pos();
    if (mode == PosFromEnd) base = m_device.size();
    qint64 target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < m_origin ||
        !m_device.seek(target))
        ThrowCodecError(EINVAL);
}

std::uint64_t CDeviceStream::GetPos() {
    return static_cast<std::uint64_t>(m_device.pos() - m_origin);
}
