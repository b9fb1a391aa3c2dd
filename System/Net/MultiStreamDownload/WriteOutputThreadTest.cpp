#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "System/Net/MultiStreamDownload/DownloadFiles.h"
#include "System/Net/MultiStreamDownload/ProgressFile.h"
#include "System/Net/MultiStreamDownload/WriteOutputThread.h"
#include "System/RefPtr.h"
#include "TestSupport.h"

using namespace Lm::System::Net::MultiStreamDownload;
using Lm::System::CRefPtr;

namespace {

std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Queue(CWriteOutputThread& writer, uint32_t index, const std::string& data)
{
    unsigned char* buffer = writer.GetBuffer(index);
    std::memcpy(buffer, data.data(), data.size());
    writer.QueueWrite(index, static_cast<uint32_t>(data.size()));
}

} // namespace

TEST(WriteOutputThread, resumed_stream_writes_at_its_offset_into_the_existing_cache)
{
    LmTest::ScratchFolder folder(L"lmwo");
    const std::wstring target = folder / L"file.bin";
    {
        std::ofstream cache(CacheFileName(target).c_str(), std::ios::binary);
        cache << "0123456789";
    }
    CRefPtr<CWriteOutputThread> writer(new CWriteOutputThread(target, 4, 6, 2, 16, 12, 1, 2, "Mon, 01 Jan 2024"));
    writer->Start();
    Queue(*writer, 1, "ab");
    Queue(*writer, 0, "cdef");
    writer->SignalInputComplete();
    writer->Join();
    EXPECT_FALSE(writer->GetError());
    EXPECT_EQ("012345abcdef", ReadAll(CacheFileName(target)));

    StreamProgress record(target, 1);
    ASSERT_TRUE(record.Read(nullptr));
    EXPECT_EQ(12u, record.Offset);
    EXPECT_EQ(12u, record.DownloadSize);
    EXPECT_EQ(2u, record.ThreadsUsed);
    EXPECT_EQ("Mon, 01 Jan 2024", record.GetLastModified());
}

// With buffers to spare the stream does not wake the writer for every block: a lone block must
// still reach the cache (at the writer's poll), and blocks that cycle through all the buffers
// arrive in order.
TEST(WriteOutputThread, with_four_buffers_a_lone_block_is_written_and_many_keep_their_order)
{
    LmTest::ScratchFolder folder(L"lmwo");
    const std::wstring target = folder / L"file.bin";
    CRefPtr<CWriteOutputThread> writer(new CWriteOutputThread(target, 0, 0, 4, 8, 100, 0, 1, "UNKNOWN"));
    writer->Start();
    Sleep(200); // the writer waits for data by now
    Queue(*writer, 1, "lone");
    const ULONGLONG begin = GetTickCount64();
    while (ReadAll(CacheFileName(target)) != "lone" && GetTickCount64() - begin < 10000)
        Sleep(10);
    EXPECT_EQ("lone", ReadAll(CacheFileName(target))) << "a lone block was not written";

    std::string expected = "lone";
    for (uint32_t block = 0; block < 40; ++block) {
        const std::string data = std::to_string(100 + block);
        Queue(*writer, (block + 2) % 4, data);
        expected += data;
    }
    writer->SignalInputComplete();
    writer->Join();
    EXPECT_FALSE(writer->GetError());
    EXPECT_EQ(expected, ReadAll(CacheFileName(target)));
    StreamProgress record(target, 0);
    ASSERT_TRUE(record.Read(nullptr));
    EXPECT_EQ(expected.size(), record.Offset);
}

TEST(WriteOutputThread, an_attempt_that_writes_nothing_leaves_the_record_as_it_was)
{
    LmTest::ScratchFolder folder(L"lmwo");
    const std::wstring target = folder / L"file.bin";
    StreamProgress(target, 0, 40, 100, "UNKNOWN", 1).Write(nullptr);
    CRefPtr<CWriteOutputThread> writer(new CWriteOutputThread(target, 0, 40, 2, 8, 100, 0, 1, "UNKNOWN"));
    writer->Start();
    writer->Stop(INFINITE);
    StreamProgress record(target, 0);
    ASSERT_TRUE(record.Read(nullptr));
    EXPECT_EQ(40u, record.Offset);
}

TEST(WriteOutputThread, a_failed_write_is_reported_at_the_next_buffer_request)
{
    LmTest::ScratchFolder folder(L"lmwo");
    const std::wstring target = folder / L"file.bin";
    // The cache name is taken by a folder: the writer cannot open it and stores the failure.
    ASSERT_TRUE(CreateDirectoryW(CacheFileName(target).c_str(), nullptr));
    CRefPtr<CWriteOutputThread> writer(new CWriteOutputThread(target, 0, 0, 2, 8, 100, 0, 1, "UNKNOWN"));
    writer->Start();
    std::string message;
    try {
        writer->GetBuffer(1);
    } catch (const Lm::System::CException& e) {
        const std::wstring text = e.ToString();
        message.assign(text.begin(), text.end());
    }
    EXPECT_NE(std::string::npos, message.find("GetBuffer Failed.")) << message;
    EXPECT_NE(std::string::npos, message.find("CreateFileW returned INVALID_FILE_VALUE.")) << message;
}
