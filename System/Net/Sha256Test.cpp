#include "System/Net/Sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "System/Io/Stream/MemoryStream.h"
#include "TestServer.h"

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

} // namespace
