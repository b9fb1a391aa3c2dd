#include <gtest/gtest.h>

#include <windows.h>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "System/Crc32.h"
#include "System/Exception.h"
#include "System/Net/MultiStreamDownload/DownloadFiles.h"
#include "System/Net/MultiStreamDownload/ProgressFile.h"
#include "System/String/AnsiWide.h"
#include "TestSupport.h"

using namespace Lm::System::Net::MultiStreamDownload;

namespace {

std::vector<unsigned char> ReadBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t U32At(const std::vector<unsigned char>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

uint64_t U64At(const std::vector<unsigned char>& b, size_t at)
{
    return U32At(b, at) | (static_cast<uint64_t>(U32At(b, at + 4)) << 32);
}

void PutU32(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

const DownloadIdentity kIdentity = DownloadIdentity::For("http://host/files/Patch.exe?token=1", 6442450944ull,
                                                         "ABCDEF" + std::string(58, '0'));

} // namespace

TEST(ProgressFile, files_are_named_after_the_target)
{
    const std::wstring target = L"C:\\dl\\Patch.exe";
    EXPECT_EQ(L"C:\\dl\\Patch.exe.downloadstate", DownloadProgress(target).FileName());
    EXPECT_EQ(L"C:\\dl\\Patch.exe.0", StreamProgress(target, 0).FileName());
    EXPECT_EQ(L"C:\\dl\\Patch.exe.1", StreamProgress(target, 1).FileName());
    EXPECT_EQ(L"C:\\dl\\Patch.exe.cache", CacheFileName(target));
}

// Sizes past 4 GiB are kept whole; the identity is the URL without its query, the expected
// size and the lower-case digest.
TEST(ProgressFile, state_file_holds_exactly_the_documented_bytes)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    DownloadProgress(target, 2, 0x123456789ull, kIdentity).Write();

    std::vector<unsigned char> bytes = ReadBytes(StateFileName(target));
    const std::string url = "http://host/files/Patch.exe";
    ASSERT_EQ(92u + url.size() + 4, bytes.size());
    EXPECT_EQ(3u, U32At(bytes, 0));
    EXPECT_EQ(2u, U32At(bytes, 4));
    EXPECT_EQ(0x123456789ull, U64At(bytes, 8));
    EXPECT_EQ(6442450944ull, U64At(bytes, 16));
    EXPECT_EQ("abcdef" + std::string(58, '0'), std::string(bytes.begin() + 24, bytes.begin() + 88));
    EXPECT_EQ(url.size(), U32At(bytes, 88));
    EXPECT_EQ(url, std::string(bytes.begin() + 92, bytes.begin() + 92 + url.size()));
    EXPECT_EQ(Lm::System::Crc32(bytes.data(), bytes.size() - 4), U32At(bytes, bytes.size() - 4));

    DownloadProgress read(target);
    ASSERT_TRUE(read.Read());
    EXPECT_EQ(3u, read.Version);
    EXPECT_EQ(0x123456789ull, read.TotalSize);
    EXPECT_EQ(2u, read.ThreadsUsed);
    EXPECT_TRUE(read.Identity == kIdentity);
}

TEST(ProgressFile, stream_record_holds_exactly_the_documented_bytes)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    StreamProgress(target, 1, 0x1A0000001ull, 0x240000001ull, "Wed, 21 Oct 2015 07:28:00 GMT", 2, "\"v1\"")
        .Write(nullptr);

    std::vector<unsigned char> bytes = ReadBytes(StreamRecordFileName(target, 1));
    ASSERT_EQ(216u, bytes.size());
    EXPECT_EQ(2u, U32At(bytes, 0));
    EXPECT_EQ(1u, U32At(bytes, 4));
    EXPECT_EQ(2u, U32At(bytes, 8));
    EXPECT_EQ(0u, U32At(bytes, 12));
    EXPECT_EQ(0x1A0000001ull, U64At(bytes, 16));
    EXPECT_EQ(0x240000001ull, U64At(bytes, 24));
    const std::string text = "Wed, 21 Oct 2015 07:28:00 GMT";
    EXPECT_EQ(text, std::string(bytes.begin() + 32, bytes.begin() + 32 + text.size()));
    for (size_t i = 32 + text.size(); i < 82; ++i)
        EXPECT_EQ(0, bytes[i]) << "byte " << i << " must be zero (field fill)";
    EXPECT_EQ("\"v1\"", std::string(bytes.begin() + 82, bytes.begin() + 86));
    for (size_t i = 86; i < 212; ++i)
        EXPECT_EQ(0, bytes[i]) << "byte " << i << " must be zero (field fill)";
    EXPECT_EQ(Lm::System::Crc32(bytes.data(), 212), U32At(bytes, 212));

    StreamProgress read(target, 1);
    ASSERT_TRUE(read.Read(nullptr));
    EXPECT_EQ(0x1A0000001ull, read.Offset);
    EXPECT_EQ(0x240000001ull, read.DownloadSize);
    EXPECT_EQ(2u, read.ThreadsUsed);
    EXPECT_EQ(text, read.GetLastModified());
    EXPECT_EQ("\"v1\"", read.GetETag());
}

TEST(ProgressFile, last_modified_and_etag_keep_their_first_49_and_129_characters)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    StreamProgress(target, 0, 0, 10, std::string(60, 'x'), 1, std::string(200, 'e')).Write(nullptr);
    StreamProgress read(target, 0);
    ASSERT_TRUE(read.Read(nullptr));
    EXPECT_EQ(std::string(49, 'x'), read.GetLastModified());
    EXPECT_EQ(std::string(129, 'e'), read.GetETag());
    EXPECT_EQ(0, ReadBytes(read.FileName())[32 + 49]);
    EXPECT_EQ(0, ReadBytes(read.FileName())[82 + 129]);
}

// What the 32-bit layouts wrote (state file version 2, stream record version 1), with their
// correct Crc: not read, so such a download starts afresh instead of resuming on unidentified bytes.
TEST(ProgressFile, records_of_the_old_layout_are_not_read)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    std::vector<unsigned char> state(16, 0);
    PutU32(state, 0, 2);
    PutU32(state, 4, 42);
    PutU32(state, 8, 1);
    PutU32(state, 12, Lm::System::Crc32(state.data(), 12));
    WriteBytes(StateFileName(target), state);
    EXPECT_FALSE(DownloadProgress(target).Read());

    std::vector<unsigned char> stream(76, 0);
    PutU32(stream, 0, 1);
    PutU32(stream, 8, 40);
    PutU32(stream, 12, 100);
    PutU32(stream, 16, 1);
    PutU32(stream, 72, Lm::System::Crc32(stream.data(), 72));
    WriteBytes(StreamRecordFileName(target, 0), stream);
    EXPECT_FALSE(StreamProgress(target, 0).Read(nullptr));
}

TEST(ProgressFile, a_flipped_bit_anywhere_invalidates_the_state_file)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    DownloadProgress(target, 1, 5000, kIdentity).Write();
    const std::vector<unsigned char> good = ReadBytes(StateFileName(target));
    ASSERT_EQ(92u + 27 + 4, good.size());
    // Every field (sizes, identity, URL length and text, Crc), every byte, the low and the high bit.
    for (size_t at = 0; at < good.size(); ++at) {
        for (int bit : { 0, 7 }) {
            std::vector<unsigned char> bad = good;
            bad[at] ^= static_cast<unsigned char>(1u << bit);
            WriteBytes(StateFileName(target), bad);
            EXPECT_FALSE(DownloadProgress(target).Read()) << "byte " << at << " bit " << bit;
        }
    }
}

TEST(ProgressFile, a_flipped_bit_anywhere_invalidates_the_stream_record)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    StreamProgress(target, 0, 65536, 200000, "Mon, 01 Jan 2024 00:00:00 GMT", 2, "\"tag\"").Write(nullptr);
    const std::vector<unsigned char> good = ReadBytes(StreamRecordFileName(target, 0));
    ASSERT_EQ(216u, good.size());
    // Version, StreamIndex, ThreadsUsed, the zero bytes, Offset, DownloadSize, LastModified, ETag, Crc.
    for (size_t at = 0; at < good.size(); ++at) {
        std::vector<unsigned char> bad = good;
        bad[at] ^= static_cast<unsigned char>(1u << (at % 8));
        WriteBytes(StreamRecordFileName(target, 0), bad);
        EXPECT_FALSE(StreamProgress(target, 0).Read(nullptr)) << "byte " << at;
    }
}

TEST(ProgressFile, truncated_or_missing_records_are_invalid)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    EXPECT_FALSE(DownloadProgress(target).Read());
    EXPECT_FALSE(StreamProgress(target, 0).Read(nullptr));

    DownloadProgress(target, 2, 123, kIdentity).Write();
    StreamProgress(target, 0, 7, 123, "UNKNOWN", 2).Write(nullptr);
    std::vector<unsigned char> state = ReadBytes(StateFileName(target));
    const std::vector<unsigned char> stream = ReadBytes(StreamRecordFileName(target, 0));
    for (size_t length : { size_t(0), size_t(1), size_t(16), size_t(95), state.size() - 1 }) {
        WriteBytes(StateFileName(target), std::vector<unsigned char>(state.begin(), state.begin() + length));
        EXPECT_FALSE(DownloadProgress(target).Read()) << "state length " << length;
    }
    // A longer state file is no record either.
    state.push_back(0);
    WriteBytes(StateFileName(target), state);
    EXPECT_FALSE(DownloadProgress(target).Read()) << "one byte too many";
    for (size_t length : { size_t(0), size_t(20), size_t(76), size_t(215) }) {
        WriteBytes(StreamRecordFileName(target, 0), std::vector<unsigned char>(stream.begin(), stream.begin() + length));
        EXPECT_FALSE(StreamProgress(target, 0).Read(nullptr)) << "stream length " << length;
    }
    // A directory of the record's name is no record.
    ASSERT_TRUE(CreateDirectoryW(StreamRecordFileName(target, 1).c_str(), nullptr));
    EXPECT_FALSE(StreamProgress(target, 1).Read(nullptr));
}

TEST(ProgressFile, a_bad_second_record_leaves_the_first_valid)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    StreamProgress(target, 0, 100, 300, "UNKNOWN", 2).Write(nullptr);
    StreamProgress(target, 1, 250, 300, "UNKNOWN", 2).Write(nullptr);
    std::vector<unsigned char> second = ReadBytes(StreamRecordFileName(target, 1));
    second[9] ^= 0x10;
    WriteBytes(StreamRecordFileName(target, 1), second);

    StreamProgress first(target, 0);
    EXPECT_TRUE(first.Read(nullptr));
    EXPECT_EQ(100u, first.Offset);
    EXPECT_FALSE(StreamProgress(target, 1).Read(nullptr));
}

TEST(ProgressFile, delete_removes_the_file_and_ignores_a_missing_one)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    DownloadProgress(target, 1, 1, kIdentity).Write();
    StreamProgress(target, 1, 0, 1, "UNKNOWN", 1).Write(nullptr);
    DownloadProgress(target).Delete();
    StreamProgress(target, 1).Delete();
    EXPECT_FALSE(LmTest::FileExists(StateFileName(target)));
    EXPECT_FALSE(LmTest::FileExists(StreamRecordFileName(target, 1)));
    DownloadProgress(target).Delete();
    StreamProgress(target, 1).Delete();
}

TEST(ProgressFile, write_gives_up_on_a_file_held_open_exclusively)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    HANDLE held = CreateFileW(StateFileName(target).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const ULONGLONG begin = GetTickCount64();
    std::string message;
    try {
        DownloadProgress(target, 1, 0, kIdentity).Write();
    } catch (const Lm::System::CException& e) {
        message = Lm::Utf16ToMBCS_CP(CP_ACP, e.Message());
    }
    const ULONGLONG elapsed = GetTickCount64() - begin;
    CloseHandle(held);
    EXPECT_EQ("File open failed;  " + Lm::Utf16ToMBCS_CP(CP_ACP, target) + "; Version=3; ThreadsUsed=1", message);
    EXPECT_GE(elapsed, 700u) << "ten tries with growing pauses";
}
