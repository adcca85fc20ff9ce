#include "image_rows.h"

const std::uint8_t* RasterImageRows::Rows(std::uint32_t first, std::uint32_t,
                                          std::ptrdiff_t& pitch) {
    if (image_->pixMap) {
        pitch = image_->pixMap->Stride();
        return image_->pixMap->Row(first);
    }
    pitch = image_->display->Pitch();
    return image_->display->TopRow() + pitch * static_cast<std::ptrdiff_t>(first);
}
