#pragma once

#include <cmath>
#include <cstdint>

namespace resmill {

/// round(x) with a half going to the even neighbour (progress positions).
inline int RoundHalfEven(double x) {
  double r = std::nearbyint(x);  // default rounding mode: to nearest, ties to even
  return static_cast<int>(r);
}

/// Progress position round(done / total × 100), 0 for an empty total.
inline int PercentDone(std::int64_t done, std::int64_t total) {
  if (total <= 0) return 0;
  return RoundHalfEven(static_cast<double>(done) / static_cast<double>(total) * 100.0);
}

/// a × b / c with the intermediate product in 64 bits, a half rounded away from
/// zero; −1 when c is 0 or the result does not fit an int.
inline int MultiplyDivide(int a, int b, int c) {
  if (c == 0) return -1;
  std::int64_t p = static_cast<std::int64_t>(a) * b;
  std::int64_t q = p / c, r = p % c;
  if (2 * (r < 0 ? -r : r) >= (c < 0 ? -static_cast<std::int64_t>(c) : c)) q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int>(q);
}

}  // namespace resmill
