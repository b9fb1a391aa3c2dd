// The progress figures the Updater computes in single precision. A 32-bit x87 build keeps float
// expressions and even float variables in 80-bit registers, so a sum that reaches a whole number
// only once rounded to single precision (0.501 + 0.499) would stay just below it and the bar one
// lower; every step here is rounded to single precision on its own.
#pragma once

namespace Lm {
namespace Updater {

// The value rounded to single precision (a store the compiler cannot keep in a register).
float ToSinglePrecision(double value);

// min(trunc(percent x scale + 0.499) + base, 100), each step in single precision.
int SinglePrecisionBarPosition(float percent, float scale, int base);

} // namespace Updater
} // namespace Lm
