// The codec's byte stream over a Qt device, so that the codec reads straight from whatever device
// a Qt program hands its image readers.
#pragma once

#include "qvt_stream.h"

#include <QIODevice>

// A stream over a device that can seek. Positions count from where the device stood when the
// stream was made, the start of the image data. Failed transfers throw IOException(EIO), seeks
// before the start or that the device refuses IOException(EINVAL).
class CDeviceStream final : public CQVTStream {
public:
    explicit CDeviceStream(QIODevice& device) : m_device(device), m_origin(device.pos()) {}

    void Write(std::int32_t& count, const void* bytes) override;
    // Loops until `count` bytes arrived or the device has no more.
    void Read(std::int32_t& count, void* bytes) override;
    void SetPos(std::int16_t mode, std::int64_t offset) override;
    std::uint64_t GetPos() override;
    bool IsValid() const override { return m_device.isOpen(); }

    // Puts the device back where the stream started.
    void Rewind() { m_device.seek(m_origin); }

private:
    QIODevice& m_device;
    qint64 m_origin;
};
