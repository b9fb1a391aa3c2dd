#include <gtest/gtest.h>

#include <cstring>

#include "System/Crc32.h"

using Lm::System::Crc32;
using Lm::System::Crc32Update;

TEST(Crc32, matches_the_standard_check_values)
{
    struct Case { const char* text; uint32_t crc; } cases[] = {
        { "", 0x00000000u },
        { "a", 0xE8B7BE43u },
        { "123456789", 0xCBF43926u },
        { "The quick brown fox jumps over the lazy dog", 0x414FA339u },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.crc, Crc32(c.text, std::strlen(c.text))) << c.text;
}

TEST(Crc32, continues_over_split_input)
{
    const char text[] = "123456789";
    EXPECT_EQ(0xCBF43926u, Crc32Update(Crc32(text, 4), text + 4, 5));
}
