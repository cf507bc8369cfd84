// The one value of pi that the toolkit's tables and windows are computed from.
#pragma once

namespace spectral {

/// 4 * atan(1.0), computed once at start-up (defined in real_fft.cpp).
extern const double pi;

}  // namespace spectral
