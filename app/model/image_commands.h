// The Image menu's commands that compute a new image, run as jobs of their document: the
// document keeps its image (and its modified flag) until the result is complete and takes it
// only then, so a failed or stopped command leaves everything as it was.
#pragma once

#include "pictor_app.h"

void ChangeMode(CPictorApp& app, CMyDoc& document, ImageMode target);
void ChangeSize(CPictorApp& app, CMyDoc& document, std::uint32_t width, std::uint32_t height);
// Adds `step` to the alpha of every pixel (negative for more transparency).
void StepTransparency(CPictorApp& app, CMyDoc& document, int step);
