#include "System/Io/Stream/MemoryStream.h"

#include <gtest/gtest.h>

#include <string>

#include "System/Exception.h"
#include "System/RefPtr.h"

using Lm::System::CException;
using Lm::System::IO::Stream::CMemoryStream;

namespace {

// Runs f and returns the message of the CException it throws ("" when it throws none).
template <typename F>
std::wstring ThrownMessage(F f)
{
    try {
        f();
    } catch (const CException& e) {
        return e.Message();
    }
    return L"";
}

std::string ReadAll(CMemoryStream& s, int cursor = 0)
{
    std::string out(static_cast<size_t>(s.GetLength()) + 16, '\0');
    out.resize(static_cast<size_t>(s.ReadCur(cursor, &out[0], static_cast<int>(out.size()))));
    return out;
}

TEST(MemoryStreamTest, a_new_stream_is_empty)
{
    CMemoryStream s;
    char buffer[10];
    EXPECT_EQ(0, s.GetLength());
    EXPECT_EQ(0u, s.Read(buffer, 10));
    EXPECT_TRUE(s.CanRead() && s.CanSeek() && s.CanWrite());
}

TEST(MemoryStreamTest, written_bytes_read_back_from_the_start)
{
    CMemoryStream s;
    s.Write("hello", 5);
    EXPECT_EQ(5, s.GetPosition());
    s.SetPosition(0);
    char buffer[10] = {};
    EXPECT_EQ(5u, s.Read(buffer, 10));
    EXPECT_EQ(std::string("hello"), std::string(buffer, 5));
    EXPECT_EQ(0u, s.Read(buffer, 10));
}

TEST(MemoryStreamTest, writing_before_the_end_overwrites)
{
    CMemoryStream s;
    s.Write("abcdef", 6);
    s.SetPosition(2);
    s.Write("XY", 2);
    EXPECT_EQ(6, s.GetLength());
    s.SetPosition(0);
    EXPECT_EQ("abXYef", ReadAll(s));
}

TEST(MemoryStreamTest, seeks_inside_the_content_and_refuses_outside)
{
    CMemoryStream s;
    s.Write("0123456789", 10);
    struct {
        long long offset;
        int origin;
        long long expected;
    } cases[] = {{3, 0, 3}, {2, 1, 5}, {-1, 2, 9}, {0, 2, 10}, {-1, 0, -1}, {1, 2, -1}, {-11, 1, -1},
                 {0x7FFFFFFFFFFFFFFFll, 1, -1}, {-0x7FFFFFFFFFFFFFFFll, 2, -1}};
    s.SetPosition(0);
    long long position = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        EXPECT_EQ(c.expected, s.Seek(c.offset, static_cast<Lm::System::IO::Stream::SeekOrigin>(c.origin)));
        if (c.expected >= 0)
            position = c.expected;
        EXPECT_EQ(position, s.GetPosition());
    }
    EXPECT_EQ(L"seek origin", ThrownMessage([&] { s.Seek(0, static_cast<Lm::System::IO::Stream::SeekOrigin>(3)); }));
}

TEST(MemoryStreamTest, bad_arguments_throw_and_change_nothing)
{
    CMemoryStream s;
    s.Write("abc", 3);
    char buffer[4];
    EXPECT_EQ(L"memory stream position", ThrownMessage([&] { s.SetPosition(4); }));
    EXPECT_EQ(L"memory stream position", ThrownMessage([&] { s.SetPosition(-1); }));
    EXPECT_EQ(L"bad memory stream read count", ThrownMessage([&] { s.Read(buffer, static_cast<std::uint32_t>(-1)); }));
    EXPECT_EQ(L"memory stream position cursor", ThrownMessage([&] { s.ReadCur(2, buffer, 1); }));
    EXPECT_EQ(L"memory stream position cursor", ThrownMessage([&] { s.SeekCur(-1, 0, 0); }));
    EXPECT_EQ(L"memory stream position cursor", ThrownMessage([&] { s.WriteCur(2, "x", 1); }));
    EXPECT_EQ(L"nullptr buffer pointer", ThrownMessage([&] { s.Write(nullptr, 1); }));
    EXPECT_EQ(L"bad memory stream write count", ThrownMessage([&] { s.Write("x", static_cast<std::uint32_t>(-5)); }));
    EXPECT_EQ(L"memory stream length", ThrownMessage([&] { s.SetLength(-1); }));
    EXPECT_EQ(L"memory stream length", ThrownMessage([&] { s.SetCapacity(-1); }));
    EXPECT_EQ(L"", ThrownMessage([&] { s.Write(nullptr, 0); }));
    EXPECT_EQ(3, s.GetLength());
    EXPECT_EQ(3, s.GetPosition());
}

TEST(MemoryStreamTest, the_append_cursor_leaves_the_read_cursor_in_place)
{
    CMemoryStream s;
    s.WriteCur(1, "first", 5);
    EXPECT_EQ(0, s.GetPosition());
    char buffer[16] = {};
    EXPECT_EQ(3u, s.Read(buffer, 3));
    s.WriteCur(1, "+more", 5);
    EXPECT_EQ(3, s.GetPosition());
    EXPECT_EQ(7u, s.Read(buffer, 16));
    EXPECT_EQ(std::string("st+more"), std::string(buffer, 7));
}

TEST(MemoryStreamTest, a_null_read_buffer_skips_bytes)
{
    CMemoryStream s;
    s.Write("abcdef", 6);
    s.SetPosition(0);
    EXPECT_EQ(4u, s.Read(nullptr, 4));
    EXPECT_EQ("ef", ReadAll(s));
}

TEST(MemoryStreamTest, set_length_zero_keeps_the_buffer_and_reads_nothing)
{
    CMemoryStream s;
    s.Write("abcdef", 6);
    long long capacity = s.GetCapacity();
    s.SetLength(0);
    EXPECT_EQ(0, s.GetLength());
    EXPECT_EQ(capacity, s.GetCapacity());
    char buffer[4];
    s.SetPosition(0);
    EXPECT_EQ(0u, s.Read(buffer, 4));
}

TEST(MemoryStreamTest, growth_doubles_and_a_capacity_set_first_avoids_reallocation)
{
    CMemoryStream grown;
    grown.Write("12345", 5);
    EXPECT_EQ(10, grown.GetCapacity());

    CMemoryStream sized;
    sized.SetCapacity(100000);
    EXPECT_EQ(100000, sized.GetCapacity());
    EXPECT_EQ(0, sized.GetLength());
    std::string block(1000, 'z');
    for (int i = 0; i < 100; ++i)
        sized.WriteCur(1, block.data(), 1000);
    EXPECT_EQ(100000, sized.GetCapacity());
    EXPECT_EQ(100000, sized.GetLength());
    sized.SetCapacity(50);          // at or below the length: nothing
    EXPECT_EQ(100000, sized.GetCapacity());
}

TEST(MemoryStreamTest, sizes_beyond_what_it_can_hold_are_refused_before_allocation)
{
    CMemoryStream s;
    s.Write("keep", 4);
    EXPECT_FALSE(CMemoryStream::CanHold(CMemoryStream::kMaxLength + 1));
    EXPECT_FALSE(CMemoryStream::CanHold(0x100000000ll + 10));    // would wrap to 10 in 32 bits
    EXPECT_EQ(L"realloc failed", ThrownMessage([&] { s.SetCapacity(0x100000000ll + 10); }));
    EXPECT_EQ(L"memory stream length", ThrownMessage([&] { s.SetLength(0x100000000ll + 10); }));
    EXPECT_EQ(4, s.GetLength());
    s.SetPosition(0);
    EXPECT_EQ("keep", ReadAll(s));
}

TEST(MemoryStreamTest, a_failed_reallocation_keeps_the_content)
{
    CMemoryStream s;
    s.Write("still here", 10);
    // Nearly 2 GiB cannot be had in this 32-bit process; should it ever be, the content still holds.
    std::wstring message = ThrownMessage([&] { s.SetCapacity(CMemoryStream::kMaxLength); });
    if (!message.empty()) {
        EXPECT_EQ(L"realloc failed", message);
        EXPECT_EQ(20, s.GetCapacity());
    }
    s.SetPosition(0);
    EXPECT_EQ("still here", ReadAll(s));
    s.SetCapacity(20);
}

TEST(MemoryStreamTest, lives_behind_a_reference)
{
    Lm::System::CRefPtr<CMemoryStream> s(new CMemoryStream);
    s->Write("x", 1);
    EXPECT_EQ(1, s->GetLength());
}

} // namespace
