#include "System/Io/Stream/FileStream.h"

#include <gtest/gtest.h>

#include <string>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "System/String/StringUtils.h"
#include "System/Win32/KnownFolders.h"
#include "CaughtException.h"
#include "TestSupport.h"

using Lm::System::CException;
using Lm::System::CRefPtr;
using namespace Lm::System::IO::Stream;

namespace {

const std::string kTenBytes = "0123456789";

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
}

std::string ReadBytes(const std::wstring& path)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[4096];
    DWORD read = 0;
    ::ReadFile(h, buffer, sizeof(buffer), &read, nullptr);
    ::CloseHandle(h);
    return std::string(buffer, read);
}

// The open failure's text: the path as given, the code in hexadecimal, the system's text.
std::wstring OpenFailure(const std::wstring& path, DWORD code)
{
    return L"Failed to open file : '" + path + L"'\n\tError (0x" + Lm::System::String::FormatString(L"%08x", code) +
           L") : " + Lm::System::String::GetWin32ErrorText(code);
}

struct ModeCase {
    FileMode mode;
    FileAccess access;
    bool existing;           // the file is there (ten bytes) before the stream opens it
    DWORD openError;         // 0: opens
    int64_t length;          // after opening
    int64_t position;        // after opening
};

class FileStreamModeTest : public testing::TestWithParam<ModeCase> {};

TEST_P(FileStreamModeTest, mode_and_access_decide_how_the_file_is_opened)
{
    const ModeCase& c = GetParam();
    LmTest::ScratchFolder scratch(L"lmstream");
    const std::wstring path = scratch / L"data.bin";
    if (c.existing)
        WriteBytes(path, kTenBytes);

    if (c.openError != 0) {
        const CException e = LmTest::CaughtException([&] { CFileStream stream(path, c.mode, c.access); });
        EXPECT_EQ(OpenFailure(path, c.openError), e.Message());
        EXPECT_EQ(c.openError, e.LastError());
        EXPECT_EQ(L"Stream.FileStream.83", e.GetLocationCode());
        EXPECT_EQ("Lm::System::IO::Stream::CFileStream::Init", e.Function());
        EXPECT_EQ(c.existing, LmTest::FileExists(path));
        return;
    }
    CRefPtr<CFileStream> stream(new CFileStream(path, c.mode, c.access));
    EXPECT_EQ(c.length, stream->GetLength());
    EXPECT_EQ(c.position, stream->GetPosition());
    EXPECT_EQ(c.access != FileAccess::Write, stream->CanRead());
    EXPECT_EQ(c.access != FileAccess::Read, stream->CanWrite());
    EXPECT_TRUE(stream->CanSeek());
    EXPECT_EQ(path, stream->GetPath());
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, FileStreamModeTest,
    testing::Values(ModeCase{FileMode::Append, FileAccess::Write, false, 0, 0, 0},
                    ModeCase{FileMode::Append, FileAccess::ReadWrite, true, 0, 10, 10},
                    ModeCase{FileMode::Create, FileAccess::Write, false, 0, 0, 0},
                    ModeCase{FileMode::Create, FileAccess::ReadWrite, true, 0, 0, 0},
                    ModeCase{FileMode::CreateNew, FileAccess::Write, false, 0, 0, 0},
                    ModeCase{FileMode::CreateNew, FileAccess::Write, true, ERROR_FILE_EXISTS, 0, 0},
                    ModeCase{FileMode::Open, FileAccess::Read, true, 0, 10, 0},
                    ModeCase{FileMode::Open, FileAccess::Read, false, ERROR_FILE_NOT_FOUND, 0, 0},
                    ModeCase{FileMode::OpenOrCreate, FileAccess::ReadWrite, true, 0, 10, 0},
                    ModeCase{FileMode::OpenOrCreate, FileAccess::Read, false, 0, 0, 0},
                    ModeCase{FileMode::Truncate, FileAccess::Write, true, 0, 0, 0},
                    ModeCase{FileMode::Truncate, FileAccess::Write, false, ERROR_FILE_NOT_FOUND, 0, 0}));

TEST(FileStreamTest, append_writes_land_at_the_end_or_at_zero_for_a_new_file)
{
    LmTest::ScratchFolder scratch(L"lmstream");
    const std::wstring path = scratch / L"log.txt";
    {
        CFileStream stream(path, FileMode::Append, FileAccess::Write);
        stream.Write("abc", 3);
    }
    EXPECT_EQ("abc", ReadBytes(path));
    {
        CFileStream stream(path, FileMode::Append, FileAccess::Write);
        stream.Write("de", 2);
    }
    EXPECT_EQ("abcde", ReadBytes(path));
}

TEST(FileStreamTest, unknown_mode_throws_filestream_mode)
{
    LmTest::ScratchFolder scratch(L"lmstream");
    const CException e =
        LmTest::CaughtException([&] { CFileStream stream(scratch / L"x", static_cast<FileMode>(6), FileAccess::Write); });
    EXPECT_EQ(L"FileStream mode", e.Message());
    EXPECT_EQ(55, e.Line());
    EXPECT_FALSE(LmTest::FileExists(scratch / L"x"));
}

TEST(FileStreamTest, relative_path_is_opened_in_the_program_folder)
{
    const std::wstring name = LmTest::UniqueName(L"lmrelative") + L".bin";
    {
        CFileStream stream(name, FileMode::Create, FileAccess::Write);
        EXPECT_EQ(Lm::System::Win32::GetModuleDirectory() + name, stream.GetPath());
    }
    EXPECT_TRUE(LmTest::FileExists(LmTest::TestDir() + name));
    ::DeleteFileW((LmTest::TestDir() + name).c_str());
}

TEST(FileStreamTest, open_failure_message_keeps_the_path_as_given)
{
    const std::wstring name = LmTest::UniqueName(L"lmmissing") + L".bin";
    const CException e = LmTest::CaughtException([&] { CFileStream stream(name, FileMode::Open, FileAccess::Read); });
    EXPECT_EQ(OpenFailure(name, ERROR_FILE_NOT_FOUND), e.Message());
}

TEST(FileStreamTest, written_bytes_read_back_and_read_at_the_end_returns_zero)
{
    LmTest::ScratchFolder scratch(L"lmstream");
    CFileStream stream(scratch / L"rw.bin", FileMode::Create, FileAccess::ReadWrite);
    stream.Write(kTenBytes.data(), 10);
    EXPECT_EQ(10, stream.GetPosition());
    char buffer[16] = {};
    EXPECT_EQ(0u, stream.Read(buffer, sizeof(buffer)));
    stream.SetPosition(4);
    EXPECT_EQ(6u, stream.Read(buffer, sizeof(buffer)));
    EXPECT_EQ("456789", std::string(buffer, 6));
    EXPECT_EQ(2, stream.Seek(-8, SeekOrigin::Current));
    EXPECT_EQ(7, stream.Seek(-3, SeekOrigin::End));
    EXPECT_EQ(1, stream.Seek(1, SeekOrigin::Begin));
    EXPECT_TRUE(stream.Flush());
    EXPECT_NE(nullptr, stream.GetHandle());
}

TEST(FileStreamTest, set_length_keeps_the_position_even_past_the_end)
{
    LmTest::ScratchFolder scratch(L"lmstream");
    const std::wstring path = scratch / L"len.bin";
    CFileStream stream(path, FileMode::Create, FileAccess::ReadWrite);
    const std::string hundred(100, 'x');
    stream.Write(hundred.data(), 100);
    stream.SetLength(0);
    EXPECT_EQ(100, stream.GetPosition());
    EXPECT_EQ(0, stream.GetLength());
    stream.SetLength(300);
    EXPECT_EQ(300, stream.GetLength());
    EXPECT_EQ(100, stream.GetPosition());
}

struct SeekFailureCase {
    int64_t offset;
    int origin;
    std::wstring message;
    int line;
};

class FileStreamSeekTest : public testing::TestWithParam<SeekFailureCase> {};

TEST_P(FileStreamSeekTest, bad_seeks_throw_their_messages)
{
    const SeekFailureCase& c = GetParam();
    LmTest::ScratchFolder scratch(L"lmstream");
    CFileStream stream(scratch / L"seek.bin", FileMode::Create, FileAccess::ReadWrite);
    const CException e = LmTest::CaughtException([&] { stream.Seek(c.offset, static_cast<SeekOrigin>(c.origin)); });
    EXPECT_EQ(c.message, e.Message());
    EXPECT_EQ(c.line, e.Line());
    EXPECT_EQ("Lm::System::IO::Stream::CFileStream::Seek", e.Function());
}

INSTANTIATE_TEST_SUITE_P(Cases, FileStreamSeekTest,
                         testing::Values(SeekFailureCase{-1, 0, L"failed to seek in file", 227},
                                         SeekFailureCase{0, 3, L"bad seek origin", 220},
                                         SeekFailureCase{0, -1, L"bad seek origin", 220}));

TEST(FileStreamTest, set_position_before_the_start_throws)
{
    LmTest::ScratchFolder scratch(L"lmstream");
    CFileStream stream(scratch / L"pos.bin", FileMode::Create, FileAccess::ReadWrite);
    const CException e = LmTest::CaughtException([&] { stream.SetPosition(-5); });
    EXPECT_EQ(L"failed to seek in file", e.Message());
    EXPECT_EQ(L"Stream.FileStream.133", e.GetLocationCode());
}

TEST(FileStreamTest, set_length_below_zero_throws)
{
    LmTest::ScratchFolder scratch(L"lmstream");
    CFileStream stream(scratch / L"neg.bin", FileMode::Create, FileAccess::ReadWrite);
    const CException e = LmTest::CaughtException([&] { stream.SetLength(-1); });
    EXPECT_EQ(L"failed to seek from beginning of file", e.Message());
    EXPECT_EQ(247, e.Line());
}

TEST(FileStreamTest, write_to_a_read_only_stream_throws_writefile_failure)
{
    LmTest::ScratchFolder scratch(L"lmstream");
    const std::wstring path = scratch / L"ro.bin";
    WriteBytes(path, kTenBytes);
    CFileStream stream(path, FileMode::Open, FileAccess::Read);
    const CException e = LmTest::CaughtException([&] { stream.Write("x", 1); });
    EXPECT_EQ(L"WriteFile() failure", e.Message());
    EXPECT_EQ(L"Stream.FileStream.277", e.GetLocationCode());
    char buffer[4];
    CFileStream writeOnly(scratch / L"wo.bin", FileMode::Create, FileAccess::Write);
    EXPECT_EQ(0u, writeOnly.Read(buffer, 4)) << "a failed read returns 0";
}

TEST(FileStreamTest, share_mode_is_passed_on)
{
    LmTest::ScratchFolder scratch(L"lmstream");
    const std::wstring path = scratch / L"shared.bin";
    CFileStream exclusive(path, FileMode::Create, FileAccess::Write, 0);
    const CException e = LmTest::CaughtException([&] { CFileStream second(path, FileMode::Open, FileAccess::Read, FILE_SHARE_READ | FILE_SHARE_WRITE); });
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), e.LastError());
    const std::wstring other = scratch / L"open.bin";
    CFileStream reading(other, FileMode::Create, FileAccess::Write, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_NO_THROW(CFileStream(other, FileMode::Open, FileAccess::Read, FILE_SHARE_READ | FILE_SHARE_WRITE));
}

TEST(FileStreamTest, append_that_cannot_seek_closes_the_handle_it_opened)
{
    // A pipe opens like a file but cannot seek: the Append seek throws after CreateFileW
    // succeeded. The server end sees the client gone only if the stream closed its handle.
    const std::wstring pipe = L"\\\\.\\pipe\\" + LmTest::UniqueName(L"lmstream");
    HANDLE server = ::CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    const CException e = LmTest::CaughtException([&] { CFileStream stream(pipe, FileMode::Append, FileAccess::Write); });
    EXPECT_EQ(L"failed to seek in file", e.Message());
    EXPECT_EQ(227, e.Line());
    DWORD available = 0;
    EXPECT_FALSE(::PeekNamedPipe(server, nullptr, 0, nullptr, &available, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BROKEN_PIPE), ::GetLastError());
    ::CloseHandle(server);
}

TEST(FileStreamTest, length_of_a_handle_without_size_is_minus_one)
{
    const std::wstring pipe = L"\\\\.\\pipe\\" + LmTest::UniqueName(L"lmstream");
    HANDLE server = ::CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    {
        CFileStream stream(pipe, FileMode::Open, FileAccess::Write);
        EXPECT_EQ(-1, stream.GetLength());
    }
    ::CloseHandle(server);
}

} // namespace
