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

void PutU32(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

} // namespace

TEST(ProgressFile, files_are_named_after_the_target)
{
    const std::wstring target = L"C:\\dl\\Patch.exe";
    EXPECT_EQ(L"C:\\dl\\Patch.exe.downloadstate", DownloadProgress(target).FileName());
    EXPECT_EQ(L"C:\\dl\\Patch.exe.0", StreamProgress(target, 0).FileName());
    EXPECT_EQ(L"C:\\dl\\Patch.exe.1", StreamProgress(target, 1).FileName());
    EXPECT_EQ(L"C:\\dl\\Patch.exe.cache", CacheFileName(target));
}

TEST(ProgressFile, state_file_holds_exactly_the_documented_bytes)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    DownloadProgress(target, 2, 0x01234567u).Write();

    std::vector<unsigned char> bytes = ReadBytes(StateFileName(target));
    const unsigned char expected[12] = { 2, 0, 0, 0, 0x67, 0x45, 0x23, 0x01, 2, 0, 0, 0 };
    ASSERT_EQ(16u, bytes.size());
    EXPECT_EQ(0, std::memcmp(expected, bytes.data(), 12));
    EXPECT_EQ(Lm::System::Crc32(expected, 12), U32At(bytes, 12));

    DownloadProgress read(target);
    ASSERT_TRUE(read.Read());
    EXPECT_EQ(2u, read.Version);
    EXPECT_EQ(0x01234567u, read.TotalSize);
    EXPECT_EQ(2u, read.ThreadsUsed);
}

TEST(ProgressFile, stream_record_holds_exactly_the_documented_bytes)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    StreamProgress(target, 1, 0x00A00001u, 0x01400001u, "Wed, 21 Oct 2015 07:28:00 GMT", 2).Write(nullptr);

    std::vector<unsigned char> bytes = ReadBytes(StreamRecordFileName(target, 1));
    ASSERT_EQ(76u, bytes.size());
    EXPECT_EQ(1u, U32At(bytes, 0));
    EXPECT_EQ(1u, U32At(bytes, 4));
    EXPECT_EQ(0x00A00001u, U32At(bytes, 8));
    EXPECT_EQ(0x01400001u, U32At(bytes, 12));
    EXPECT_EQ(2u, U32At(bytes, 16));
    const char text[] = "Wed, 21 Oct 2015 07:28:00 GMT";
    EXPECT_EQ(0, std::memcmp(text, bytes.data() + 20, sizeof(text) - 1));
    for (size_t i = 20 + sizeof(text) - 1; i < 72; ++i)
        EXPECT_EQ(0, bytes[i]) << "byte " << i << " must be zero (field fill and padding)";
    EXPECT_EQ(Lm::System::Crc32(bytes.data(), 72), U32At(bytes, 72));

    StreamProgress read(target, 1);
    ASSERT_TRUE(read.Read(nullptr));
    EXPECT_EQ(0x00A00001u, read.Offset);
    EXPECT_EQ(0x01400001u, read.DownloadSize);
    EXPECT_EQ(2u, read.ThreadsUsed);
    EXPECT_EQ(text, read.GetLastModified());
}

TEST(ProgressFile, last_modified_keeps_its_first_49_characters)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    const std::string sixty(60, 'x');
    StreamProgress(target, 0, 0, 10, sixty, 1).Write(nullptr);
    StreamProgress read(target, 0);
    ASSERT_TRUE(read.Read(nullptr));
    EXPECT_EQ(std::string(49, 'x'), read.GetLastModified());
    EXPECT_EQ(0, ReadBytes(read.FileName())[20 + 49]);
}

TEST(ProgressFile, a_flipped_bit_anywhere_invalidates_the_state_file)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    DownloadProgress(target, 1, 5000).Write();
    const std::vector<unsigned char> good = ReadBytes(StateFileName(target));
    ASSERT_EQ(16u, good.size());
    // Every field (Version, TotalSize, ThreadsUsed, Crc), every byte, the low and the high bit.
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
    StreamProgress(target, 0, 65536, 200000, "Mon, 01 Jan 2024 00:00:00 GMT", 2).Write(nullptr);
    const std::vector<unsigned char> good = ReadBytes(StreamRecordFileName(target, 0));
    ASSERT_EQ(76u, good.size());
    // Version, StreamIndex, Offset, DownloadSize, ThreadsUsed, LastModified, padding, Crc.
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

    DownloadProgress(target, 2, 123).Write();
    StreamProgress(target, 0, 7, 123, "UNKNOWN", 2).Write(nullptr);
    const std::vector<unsigned char> state = ReadBytes(StateFileName(target));
    const std::vector<unsigned char> stream = ReadBytes(StreamRecordFileName(target, 0));
    for (size_t length : { size_t(0), size_t(1), size_t(12), size_t(15) }) {
        WriteBytes(StateFileName(target), std::vector<unsigned char>(state.begin(), state.begin() + length));
        EXPECT_FALSE(DownloadProgress(target).Read()) << "state length " << length;
    }
    for (size_t length : { size_t(0), size_t(20), size_t(72), size_t(75) }) {
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

TEST(ProgressFile, version_is_not_checked)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    std::vector<unsigned char> bytes(16, 0);
    PutU32(bytes, 0, 1);
    PutU32(bytes, 4, 42);
    PutU32(bytes, 8, 1);
    PutU32(bytes, 12, Lm::System::Crc32(bytes.data(), 12));
    WriteBytes(StateFileName(target), bytes);
    DownloadProgress read(target);
    ASSERT_TRUE(read.Read());
    EXPECT_EQ(1u, read.Version);
    EXPECT_EQ(42u, read.TotalSize);
}

TEST(ProgressFile, delete_removes_the_file_and_ignores_a_missing_one)
{
    LmTest::ScratchFolder folder(L"lmprog");
    const std::wstring target = folder / L"file.bin";
    DownloadProgress(target, 1, 1).Write();
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
        DownloadProgress(target, 1, 0).Write();
    } catch (const Lm::System::CException& e) {
        message = Lm::Utf16ToMBCS_CP(CP_ACP, e.Message());
    }
    const ULONGLONG elapsed = GetTickCount64() - begin;
    CloseHandle(held);
    EXPECT_EQ("File open failed;  " + Lm::Utf16ToMBCS_CP(CP_ACP, target) + "; Version=2; ThreadsUsed=1", message);
    EXPECT_GE(elapsed, 700u) << "ten tries with growing pauses";
}
