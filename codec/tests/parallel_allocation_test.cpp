// An allocation that fails inside the codec's parallel loops is reported as ErrorOutOfMemory,
// whichever allocation of the loop it is and on whichever thread: an exception escaping an
// OpenMP region would end the program instead.
#include "failing_allocation.h"
#include "qvt_image.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ParallelAllocation, FailuresInsideTheChannelPassesAreOutOfMemory) {
    const std::vector<std::uint8_t> pixels(3 * 96 * 80, 77);
    for (const int threads : {1, 3}) {
        int failures = 0;
        for (int n = 1; n < 100; ++n) {
            SCOPED_TRACE("threads " + std::to_string(threads) + " allocation " + std::to_string(n));
            CQVTImage image;
            image.SetThreadCount(threads);
            image.SetHeader({96, 80, 0, 0, 0, 0, ModeRGB, 0, 0}, kVersionRegion);
            image.ImportPixels(3 * 96, pixels.data(), 24);
            CQVTMemoryStream stream(0);
            FailParallelAllocation(n);
            std::uint32_t error = 0;
            try {
                image.Write(stream);
            } catch (const IOException& e) {
                error = e.error;
            }
            const bool failed = ParallelAllocationFailed();
            FailParallelAllocation(0);
            if (!failed) {
                EXPECT_EQ(error, 0u);
                break;
            }
            EXPECT_EQ(error, ErrorOutOfMemory);
            ++failures;
        }
        // At least each channel's pyramid is allocated inside the loop.
        EXPECT_GE(failures, 3);
    }
}

} // namespace
