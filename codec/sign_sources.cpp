#include "sign_sources.h"

namespace {

// Decodes sign events from `window` one after the other: 1 is a full run of 2^k negative signs,
// 0 then r in k bits is r negative signs and a positive one.
SignEvents SignEventsOf(std::uint32_t k, std::uint32_t window) {
    SignEvents run{0, 0, 0, static_cast<std::uint8_t>(k)};
    std::uint32_t pos = 0;
    for (;;) {
        if (pos >= kSignTableBits) return run;
        std::uint32_t ones = 0;
        std::uint32_t signs = 0;
        std::uint32_t length = 1;
        if (((window >> pos) & 1) != 0) {
            ones = signs = 1u << k;
        } else {
            length += k;
            if (pos + length > kSignTableBits) return run;
            ones = (window >> (pos + 1)) & LowBitsMask(k);
            signs = ones + 1;
        }
        if (run.count + signs > 32) return run;
        run.negative |= LowBitsMask(ones) << run.count;
        run.count = static_cast<std::uint8_t>(run.count + signs);
        pos += length;
        run.bits = static_cast<std::uint8_t>(pos);
        if (length == 1 && ones != 0)
            ++k;
        else if (k > 0)
            --k;
        run.k = static_cast<std::uint8_t>(k);
    }
}

} // namespace

const SignEventEntries& SignEventTable() {
    static const auto table = [] {
        SignEventEntries entries{};
        for (std::uint32_t k = 0; k <= kSignTableMaxK; ++k)
            for (std::uint32_t window = 0; window < (1u << kSignTableBits); ++window)
                entries[k << kSignTableBits | window] = SignEventsOf(k, window);
        return entries;
    }();
    return table;
}
