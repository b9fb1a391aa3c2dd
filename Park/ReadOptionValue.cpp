#include "Park/ParkModule.h"

#include <wchar.h>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

} // namespace

ParkValue ReadOptionValue(const wchar_t* position, wchar_t* area, int areaSize)
{
    area[0] = L'\0';
    const wchar_t* p = position;
    while (IsBlank(*p))
        p = CharNextW(p);
    if (*p == L'\0')
        return ParkValue::Empty;

    const wchar_t* start = p;
    const wchar_t* end = p;
    if (*p == L'"') {
        // A quoted value runs to the next double quote or to the end of the text.
        start = end = CharNextW(p);
        while (*end != L'\0' && *end != L'"')
            end = CharNextW(end);
    } else {
        while (*end != L'\0' && !IsBlank(*end))
            end = CharNextW(end);
    }

    // A value that does not fit is not cut short: a shortened program path or argument text
    // would start something else than the caller asked for.
    ptrdiff_t length = end - start;
    if (length >= areaSize)
        return ParkValue::TooLong;
    if (length == 0)
        return ParkValue::Empty;
    wmemcpy(area, start, static_cast<size_t>(length));
    area[length] = L'\0';
    return ParkValue::Read;
}
