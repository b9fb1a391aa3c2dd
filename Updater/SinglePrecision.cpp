#include "Updater/SinglePrecision.h"

#include <algorithm>
#include <cmath>

namespace Lm {
namespace Updater {

float ToSinglePrecision(double value)
{
    volatile float stored = static_cast<float>(value);
    return stored;
}

int SinglePrecisionBarPosition(float percent, float scale, int base)
{
    const float scaled = ToSinglePrecision(ToSinglePrecision(percent) * scale);
    const float rounded = ToSinglePrecision(scaled + 0.499f);
    const int position = static_cast<int>(std::trunc(rounded)) + base;
    return std::min(position, 100);
}

} // namespace Updater
} // namespace Lm
