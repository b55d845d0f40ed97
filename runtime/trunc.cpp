#include "runtime/trunc.h"

#include <cmath>

int32_t TruncToInt(double x) {
  // NaN, infinities and values the 64-bit conversion cannot hold all give
  // the conversion's indefinite value, whose low half is 0.
  if (!(std::fabs(x) < 0x1p63)) return 0;
  // Rounding in whatever mode is in force and correcting afterwards leaves
  // the mode alone: switching it would cost more than the correction.
  long long r = std::llrint(x);
  if (r != 0) {
    // x and r are close, so the difference is exact; as a float it keeps
    // its sign (it is never smaller than 2^-53 here).
    float d = static_cast<float>(x - static_cast<double>(r));
    if (x < 0) {
      if (d > 0) ++r;
    } else if (d < 0) {
      --r;
    }
  }
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(r)));
}
