// Where a printed image goes on the page: as large as the printable area allows, keeping its
// aspect ratio on printers whose dots are not square, at the top left.
#pragma once

#include "view_math.h"

// The image's size in printer dots inside a printable area of `page` dots with the given
// horizontal and vertical resolutions; at least one dot each way. Computed in floating point:
// any image size and page size fit without overflow.
Size PrintedSize(Size image, Size page, double dpiX, double dpiY);
