#include "print_layout.h"

#include <algorithm>
#include <cmath>

Size PrintedSize(Size image, Size page, double dpiX, double dpiY) {
    if (image.Empty() || page.Empty() || dpiX <= 0 || dpiY <= 0) return {1, 1};
    // Dots per image pixel across, limited by the page width and by the page height (where a
    // pixel is dpiY / dpiX dots high for each dot it is wide).
    const double across = std::min(static_cast<double>(page.width) / image.width,
                                   static_cast<double>(page.height) * dpiX / (image.height * dpiY));
    // The margin keeps a product that should be a whole number of dots from rounding below it.
    constexpr double kMargin = 1e-6;
    const auto width = static_cast<std::int64_t>(std::floor(image.width * across + kMargin));
    const auto height =
        static_cast<std::int64_t>(std::floor(image.height * across * dpiY / dpiX + kMargin));
    return {std::clamp<std::int64_t>(width, 1, page.width),
            std::clamp<std::int64_t>(height, 1, page.height)};
}
