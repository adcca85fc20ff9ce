// A stream that passes everything to a memory stream until its k-th write, which fails as a
// full disk does: the way to test what a file looks like after a write stopped part-way.
#pragma once

#include "qvt_error.h"
#include "qvt_stream.h"

#include <cerrno>

class CFailingStream final : public CQVTStream {
public:
    CFailingStream(CQVTStream& inner, int writesBeforeFailure)
        : m_inner(inner), m_writesLeft(writesBeforeFailure) {}

    void Write(std::int32_t& count, const void* bytes) override {
        if (m_writesLeft-- == 0) throw IOException{ENOSPC};
        m_inner.Write(count, bytes);
    }
    void Read(std::int32_t& count, void* bytes) override { m_inner.Read(count, bytes); }
    void SetPos(std::int16_t mode, std::int64_t offset) override { m_inner.SetPos(mode, offset); }
    std::uint64_t GetPos() override { return m_inner.GetPos(); }
    bool IsValid() const override { return m_inner.IsValid(); }

private:
    CQVTStream& m_inner;
    int m_writesLeft;
};
