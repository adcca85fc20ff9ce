// Progress reporting with cancellation, shared by every long codec operation.
#pragma once

#include "qvt_error.h"

// Called with the fraction done (0 to 1), whether Esc may cancel, and the caller's data.
// Returning true cancels the operation with ErrorUserBreak.
using ProgressCallback = bool (*)(double fraction, bool escapeAllowed, void* data);

// Reports one step; a null callback reports nothing. Throws ErrorUserBreak on cancellation.
inline void ReportProgress(ProgressCallback progress, double fraction, void* data) {
    if (progress && progress(fraction, true, data)) ThrowCodecError(ErrorUserBreak);
}
