#include "System/Net/Sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "System/Io/Stream/MemoryStream.h"
#include "System/Win32/Handle.h"
#include "TestServer.h"
#include "TestSupport.h"

using Lm::System::IO::Stream::CMemoryStream;
using Lm::System::Net::ComputeFileSha256;

namespace {

std::string Hex(const unsigned char* digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 32; ++i) {
        text += digits[digest[i] >> 4];
        text += digits[digest[i] & 15];
    }
    return text;
}

// A stream that hands out its bytes in reads of a fixed size, to show where the digest stops.
class CChunkedStream : public CMemoryStream {
public:
    explicit CChunkedStream(int chunk) : m_chunk(chunk) {}
    std::uint32_t Read(void* buffer, std::uint32_t count) override
    {
        ++reads;
        return CMemoryStream::Read(buffer, count < m_chunk ? count : m_chunk);
    }
    int reads = 0;

private:
    std::uint32_t m_chunk;
};

TEST(Sha256Test, the_empty_stream_has_the_digest_of_the_empty_message)
{
    CMemoryStream s;
    unsigned char digest[32];
    ASSERT_TRUE(ComputeFileSha256(s, digest));
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", Hex(digest));
}

TEST(Sha256Test, a_stream_of_exactly_one_block_is_read_twice)
{
    CChunkedStream s(1 << 30);
    std::string body = LmTest::GeneratedBody(10, 0, 8192);
    s.Write(body.data(), 8192);
    s.SetPosition(0);
    unsigned char digest[32];
    ASSERT_TRUE(ComputeFileSha256(s, digest));
    EXPECT_EQ(2, s.reads);
}

TEST(Sha256Test, a_short_read_ends_the_input)
{
    CChunkedStream shortReads(5000);
    std::string body = LmTest::GeneratedBody(3, 0, 20000);
    shortReads.Write(body.data(), 20000);
    shortReads.SetPosition(0);
    CMemoryStream firstPart;
    firstPart.Write(body.data(), 5000);
    firstPart.SetPosition(0);
    unsigned char a[32], b[32];
    ASSERT_TRUE(ComputeFileSha256(shortReads, a));
    ASSERT_TRUE(ComputeFileSha256(firstPart, b));
    EXPECT_EQ(1, shortReads.reads);
    EXPECT_EQ(Hex(b), Hex(a));
}

TEST(Sha256Test, generated_bodies_match_the_digests_of_hashlib)
{
    std::vector<LmTest::DigestCase> table = LmTest::ServerDigestTable();
    ASSERT_GE(table.size(), 10u) << "no digest table: is the test server running?";
    for (const LmTest::DigestCase& c : table) {
        SCOPED_TRACE(c.size);
        CMemoryStream s;
        std::string body = LmTest::GeneratedBody(c.seed, 0, static_cast<size_t>(c.size));
        s.Write(body.data(), static_cast<std::uint32_t>(body.size()));
        s.SetPosition(0);
        unsigned char digest[32];
        ASSERT_TRUE(ComputeFileSha256(s, digest));
        EXPECT_EQ(c.sha256, Hex(digest));
    }
}

// Reads a file through the stream interface (what the Updater hashes is a file stream).
class CReadOnlyFile : public Lm::System::IO::Stream::CStream {
public:
    explicit CReadOnlyFile(const std::wstring& path)
        : m_file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    bool IsOpen() const { return m_file.IsValid(); }
    bool CanRead() const override { return true; }
    bool CanSeek() const override { return false; }
    bool CanWrite() const override { return false; }
    std::int64_t GetLength() override { return -1; }
    void SetPosition(std::int64_t) override {}
    std::int64_t GetPosition() override { return 0; }
    bool Flush() override { return true; }
    std::uint32_t Read(void* buffer, std::uint32_t count) override
    {
        DWORD n = 0;
        return ReadFile(m_file.Get(), buffer, count, &n, nullptr) ? n : 0;
    }
    std::int64_t Seek(std::int64_t, Lm::System::IO::Stream::SeekOrigin) override { return -1; }
    void SetLength(std::int64_t) override {}
    void Write(const void*, std::uint32_t) override {}

private:
    Lm::System::Win32::CHandleGuard m_file;
};

TEST(Sha256Test, files_written_by_the_test_match_the_digests_of_hashlib)
{
    LmTest::ScratchFolder folder(L"lmsha");
    std::vector<LmTest::DigestCase> table = LmTest::ServerDigestTable();
    ASSERT_GE(table.size(), 10u) << "no digest table: is the test server running?";
    for (const LmTest::DigestCase& c : table) {
        SCOPED_TRACE(c.size);
        std::wstring path = folder / LmTest::UniqueName(L"file");
        {
            Lm::System::Win32::CHandleGuard file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                             FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(file.IsValid());
            std::string body = LmTest::GeneratedBody(c.seed, 0, static_cast<size_t>(c.size));
            DWORD written = 0;
            ASSERT_TRUE(body.empty() || WriteFile(file.Get(), body.data(), static_cast<DWORD>(body.size()), &written,
                                                  nullptr));
        }
        CReadOnlyFile file(path);
        ASSERT_TRUE(file.IsOpen());
        unsigned char digest[32];
        ASSERT_TRUE(ComputeFileSha256(file, digest));
        EXPECT_EQ(c.sha256, Hex(digest));
    }
}

} // namespace
