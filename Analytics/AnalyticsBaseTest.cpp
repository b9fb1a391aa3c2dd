// The analytics store and its uploader against the real file, real named mutexes, several
// processes (tests/tools/AnalyticsStoreTool.cpp) and the local server's "/g/collect".
// Each test has a store of its own (a unique file name, so unique mutexes too).
#include "Analytics/AnalyticsBase.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Analytics/AnalyticsContract.h"
#include "System/Crc32.h"
#include "System/Exception.h"
#include "System/RefPtr.h"
#include "TestServer.h"
#include "TestSupport.h"

using Lm::Analytics::CAnalyticsBase;
using Lm::System::CRefPtr;

namespace {

const DWORD kBoundMs = 60000;       // only catches hangs

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// A client of its own store that sends to the local server.
class CTestStore : public CAnalyticsBase {
public:
    explicit CTestStore(const std::wstring& name, const std::string& url = LmTest::ServerUrl("/g/collect"))
        : CAnalyticsBase(name), m_url(url)
    {
    }
    ~CTestStore() override { StopUploadThread(); }
    std::string GetCollectUrl(bool) override { return m_url; }
    bool UploadOnce(int& sent) { return UploadPendingItems(sent); }
    bool UploadOnce()
    {
        int sent = 0;
        return UploadOnce(sent);
    }

private:
    std::string m_url;
};

std::string ReadBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string U32(std::uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string U16(std::uint16_t v)
{
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::uint32_t GetU32(const std::string& s, size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

std::string Header(std::uint32_t version, std::uint32_t count, std::uint32_t pending, bool goodCrc = true)
{
    std::string h = U32(version) + U32(count) + U32(pending) + U32(0);
    std::uint32_t crc = Lm::System::Crc32(h.data(), h.size());
    return h + U32(goodCrc ? crc : crc ^ 1);
}

std::string EmptyStore()
{
    return Header(1, 0, 20);
}

// A record with every head field given; the texts are masked with mask.
struct RecordFields {
    std::string text1, text2;
    std::uint8_t mask = 0x3C;
    long long total = -1;        // -1: 23 + both lengths
    std::uint32_t head = 23;
    long long length1 = -1;      // -1: the real lengths
    long long length2 = -1;
    bool goodCrc = true;
};

std::string Record(const RecordFields& f)
{
    std::string texts = f.text1 + f.text2;
    for (char& c : texts)
        c = static_cast<char>(c ^ f.mask);
    std::uint32_t crc = Lm::System::Crc32(texts.data(), texts.size());
    std::uint32_t total = f.total < 0 ? static_cast<std::uint32_t>(23 + texts.size()) : static_cast<std::uint32_t>(f.total);
    std::uint16_t l1 = static_cast<std::uint16_t>(f.length1 < 0 ? f.text1.size() : f.length1);
    std::uint32_t l2 = static_cast<std::uint32_t>(f.length2 < 0 ? f.text2.size() : f.length2);
    return U32(total) + U32(f.head) + U32(f.goodCrc ? crc : crc + 1) + U32(0) + std::string(1, static_cast<char>(f.mask)) +
           U16(l1) + U32(l2) + texts;
}

// The records of a store file from its first pending offset, parsed apart from the code.
struct ParsedRecord {
    std::string text1, text2;
    bool crcGood;
};

std::vector<ParsedRecord> ParseStore(const std::string& bytes)
{
    std::vector<ParsedRecord> records;
    size_t at = GetU32(bytes, 8);
    while (at + 23 <= bytes.size()) {
        std::uint32_t total = GetU32(bytes, at);
        std::uint8_t mask = static_cast<std::uint8_t>(bytes[at + 16]);
        std::uint32_t l1 = static_cast<unsigned char>(bytes[at + 17]) | (static_cast<unsigned char>(bytes[at + 18]) << 8);
        std::uint32_t l2 = GetU32(bytes, at + 19);
        if (total != 23 + l1 + l2 || at + total > bytes.size())
            break;
        std::string texts = bytes.substr(at + 23, total - 23);
        ParsedRecord r;
        r.crcGood = Lm::System::Crc32(texts.data(), texts.size()) == GetU32(bytes, at + 8);
        for (char& c : texts)
            c = static_cast<char>(c ^ mask);
        r.text1 = texts.substr(0, l1);
        r.text2 = texts.substr(l1);
        records.push_back(r);
        at += total;
    }
    return records;
}

std::string Tag()
{
    return Narrow(LmTest::UniqueName(L"an"));
}

std::vector<std::string> CollectLines(const std::string& tag, unsigned waitMs = 2000)
{
    std::vector<std::string> lines = LmTest::ServerLogLines("tag=" + tag + "&", waitMs);
    std::vector<std::string> more = LmTest::ServerLogLines("tag=" + tag + "\"", 0);
    lines.insert(lines.end(), more.begin(), more.end());
    std::vector<std::string> collect;
    for (const std::string& line : lines)
        if (line.find("\"path\": \"/g/collect\"") != std::string::npos)
            collect.push_back(line);
    return collect;
}

bool WaitUntilStopped(CAnalyticsBase& store, DWORD boundMs = kBoundMs)
{
    ULONGLONG end = GetTickCount64() + boundMs;
    while (store.GetStateFlag()) {
        if (GetTickCount64() > end)
            return false;
        Sleep(20);
    }
    return true;
}

class AnalyticsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        name = LmTest::UniqueName(L"LmTestStore") + L".dat";
        store = new CTestStore(name);
        path = store->GetStorePath();
    }
    void TearDown() override
    {
        store = nullptr;
        DeleteFileW(path.c_str());
    }

    std::wstring name;
    std::wstring path;
    CRefPtr<CTestStore> store;
};

} // namespace

TEST_F(AnalyticsStore, lives_in_the_roaming_analytics_folder_under_two_named_mutexes)
{
    std::wstring suffix = std::wstring(L"\\Larchmeadow\\Analytics\\") + name;
    ASSERT_GE(path.size(), suffix.size());
    EXPECT_EQ(suffix, path.substr(path.size() - suffix.size()));
    std::wstring mutexName = name + L"_LMAnalytics{D41F6B2A-93C7-4e58-A0B1-7E5C2D8F9A36}";
    EXPECT_EQ(mutexName, store->GetStoreMutexName());
    for (const std::wstring& n : {mutexName, mutexName + L"_uld"}) {
        HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, n.c_str());
        EXPECT_NE(nullptr, h) << Narrow(n);
        if (h)
            CloseHandle(h);
    }
}

TEST_F(AnalyticsStore, the_legacy_store_is_removed_when_a_client_is_built)
{
    std::wstring folder = path.substr(0, path.rfind(L'\\'));
    std::wstring legacy = folder + L"\\LMAnalytics.dat";
    WriteBytes(legacy, "old events");
    ASSERT_TRUE(LmTest::FileExists(legacy));
    CRefPtr<CTestStore> another(new CTestStore(LmTest::UniqueName(L"LmTestStore") + L".dat"));
    EXPECT_FALSE(LmTest::FileExists(legacy));
}

TEST_F(AnalyticsStore, user_agent_names_the_windows_version_and_wow64)
{
    std::wstring agent = store->GetUserAgent();
    EXPECT_EQ(0u, agent.find(L"Mozilla/5.0 (Windows NT ")) << Narrow(agent);
    // The tests run as 32-bit programs in a 64-bit prefix.
    EXPECT_NE(std::wstring::npos, agent.find(L"; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/91.0.4472.114 Safari/537.36"))
        << Narrow(agent);
}

TEST_F(AnalyticsStore, two_items_give_the_bytes_worked_out_with_zlib)
{
    // Mask 0xA7; bytes from Python: zlib.crc32 and struct.pack('<IIIIBHI', ...) of each head.
    const char* expected =
        "010000000200000014000000000000008a7b1956"
        "2300000017000000f129873c00000000a70c0000000000d3cec39ae08a9681c2c99ac6"
        "1d0000001700000060df98cd00000000a7030003000000df9a96c59a95";
    ASSERT_EQ(0xA7, CAnalyticsBase::MaskByte);
    ASSERT_TRUE(store->AddItem("tid=G-1&en=a", ""));
    ASSERT_TRUE(store->AddItem("x=1", "b=2"));
    std::string bytes = ReadBytes(path);
    std::string hex;
    for (unsigned char c : bytes) {
        char two[3];
        sprintf(two, "%02x", c);
        hex += two;
    }
    EXPECT_EQ(expected, hex);
    EXPECT_EQ(bytes.size() - 20, store->GetStoreSize());
}

TEST_F(AnalyticsStore, a_missing_or_empty_file_becomes_the_empty_header)
{
    EXPECT_EQ(0u, store->GetStoreSize());
    EXPECT_EQ(EmptyStore(), ReadBytes(path));
    WriteBytes(path, "");
    EXPECT_EQ(0u, store->GetStoreSize());
    EXPECT_EQ(EmptyStore(), ReadBytes(path));
}

namespace {

struct CorruptCase {
    const char* what;
    std::string bytes;
};

std::vector<CorruptCase> CorruptCases()
{
    RecordFields good;
    good.text1 = "tag=x&i=1";
    good.text2 = "body";
    std::string one = Record(good);
    auto withRecord = [](const RecordFields& f) { return Header(1, 1, 20) + Record(f); };
    std::vector<CorruptCase> cases;
    cases.push_back({"file of 19 bytes", EmptyStore().substr(0, 19)});
    cases.push_back({"version 2", Header(2, 0, 20)});
    cases.push_back({"header CRC", Header(1, 0, 20, false)});
    cases.push_back({"pending offset 0", Header(1, 1, 0) + one});
    cases.push_back({"pending offset 19", Header(1, 1, 19) + one});
    cases.push_back({"pending offset past the end",
                     Header(1, 1, static_cast<std::uint32_t>(20 + one.size() + 1)) + one});
    RecordFields f = good;
    f.total = 3;
    cases.push_back({"total 3", withRecord(f)});
    f = good;
    f.total = 1000001;
    cases.push_back({"total 1,000,001", withRecord(f) + std::string(1000001, 'z')});
    for (std::uint32_t head : {22u, 24u, 1000u}) {
        f = good;
        f.head = head;
        cases.push_back({head == 1000 ? "head length above the total" : head == 22 ? "head length 22" : "head length 24",
                         withRecord(f)});
    }
    f = good;
    f.length1 = 60000;    // text 1 would run far past the record
    cases.push_back({"length 1 past the record", withRecord(f)});
    f = good;
    f.length2 = 1;
    cases.push_back({"lengths not adding up", withRecord(f)});
    f = good;
    f.goodCrc = false;
    cases.push_back({"text CRC", withRecord(f)});
    cases.push_back({"truncated record", (Header(1, 1, 20) + one).substr(0, 20 + one.size() - 3)});
    cases.push_back({"one to three length bytes", Header(1, 1, 20) + std::string("\x30\x00", 2)});
    return cases;
}

} // namespace

TEST_F(AnalyticsStore, any_corrupt_store_resets_to_the_empty_header_and_takes_events_after)
{
    for (const CorruptCase& c : CorruptCases()) {
        SCOPED_TRACE(c.what);
        WriteBytes(path, c.bytes);
        int sent = -1;
        store->UploadOnce(sent);
        EXPECT_EQ(0, sent);
        EXPECT_EQ(EmptyStore(), ReadBytes(path));
        ASSERT_TRUE(store->AddItem("a=1", ""));
        EXPECT_EQ(20u + 23u + 3u, ReadBytes(path).size());
        EXPECT_EQ(26u, store->GetStoreSize());
    }
}

TEST_F(AnalyticsStore, a_record_is_read_with_its_own_mask_byte)
{
    std::string tag = Tag();
    RecordFields f;
    f.text1 = "tag=" + tag + "&mask=other";
    f.mask = 0x11;
    WriteBytes(path, Header(1, 1, 20) + Record(f));
    int sent = 0;
    ASSERT_TRUE(store->UploadOnce(sent));
    EXPECT_EQ(1, sent);
    std::vector<std::string> lines = CollectLines(tag);
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("\"query\": \"" + f.text1 + "\""));
}

TEST_F(AnalyticsStore, a_full_store_refuses_events)
{
    struct {
        std::uint32_t size;
        bool taken;
    } const cases[] = {{0x500000, true}, {0x500001, false}, {0x500100, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        WriteBytes(path, Header(1, 1, 20) + std::string(c.size - 20, 'x'));
        EXPECT_EQ(c.taken, store->AddItem("a=1", ""));
        EXPECT_EQ(c.size + (c.taken ? 26u : 0u), ReadBytes(path).size());
    }
}

TEST_F(AnalyticsStore, a_query_of_65535_bytes_throws_and_releases_the_mutex)
{
    try {
        store->AddItem(std::string(65535, 'q'), "");
        FAIL() << "no exception";
    } catch (const Lm::System::CException& e) {
        EXPECT_EQ(L"QueryString too long", e.Message());
    }
    // Another process can take the store mutex at once.
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, store->GetStoreMutexName().c_str());
    ASSERT_NE(nullptr, mutex);
    LmTest::RunResult run = LmTest::RunProgram(LmTest::Tool(L"AnalyticsStoreTool.exe"),
                                               L"add " + name + L" 1 after", kBoundMs);
    CloseHandle(mutex);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(store->AddItem(std::string(65534, 'q'), ""));
    EXPECT_EQ(2u, ParseStore(ReadBytes(path)).size());
}

TEST_F(AnalyticsStore, a_mutex_abandoned_by_a_dead_process_is_taken_and_released)
{
    LmTest::RunResult run = LmTest::RunProgram(LmTest::Tool(L"AnalyticsStoreTool.exe"),
                                               L"abandon " + store->GetStoreMutexName(), kBoundMs);
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0u, run.exitCode);
    EXPECT_TRUE(store->AddItem("a=1", ""));
    EXPECT_EQ(26u, store->GetStoreSize());
    // Left free: another thread takes it at once, and not as abandoned.
    std::wstring mutexName = store->GetStoreMutexName();
    DWORD result = WAIT_FAILED;
    std::thread other([&] {
        HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, mutexName.c_str());
        if (mutex) {
            result = WaitForSingleObject(mutex, 0);
            if (result == WAIT_OBJECT_0)
                ReleaseMutex(mutex);
            CloseHandle(mutex);
        }
    });
    other.join();
    EXPECT_EQ(WAIT_OBJECT_0, result);
}

TEST_F(AnalyticsStore, starts_and_stops_in_any_order_end_each_thread_once)
{
    // Threads that end by themselves at once (nothing to send) met by starts and stops at every
    // moment; each handle is closed once and a start after a stop works.
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(store->StartUploadThread(10));
        if (i % 3 == 1)
            Sleep(i % 7);
        if (i % 2)
            store->StopUploadThread();
        else
            ASSERT_TRUE(WaitUntilStopped(*store));
        EXPECT_FALSE(store->GetStateFlag());
    }
    std::string tag = Tag();
    ASSERT_TRUE(store->AddItem("tag=" + tag + "&i=0", ""));
    ASSERT_TRUE(store->StartUploadThread(10));
    ASSERT_TRUE(WaitUntilStopped(*store));
    EXPECT_EQ(1u, CollectLines(tag).size());
    store->StopUploadThread();
    store->StopUploadThread();
}

TEST_F(AnalyticsStore, consuming_moves_the_offset_and_compacts_once_past_one_mebibyte)
{
    // Records of 2123 bytes whose queries are too long to send: the uploader drops them. After
    // 493 of them the offset is below 0x100001, the 494th takes it past.
    const std::string longQuery(2100, 'L');
    std::string tag = Tag();
    for (int i = 0; i < 494; ++i)
        ASSERT_TRUE(store->AddItem(longQuery, "")) << i;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(store->AddItem("tag=" + tag + "&i=" + std::to_string(i), "body" + std::to_string(i)));
    const std::string before = ReadBytes(path);
    const size_t shortRecord = 23 + ("tag=" + tag + "&i=0").size() + std::string("body0").size();
    ASSERT_EQ(20u + 494u * 2123u + 3u * shortRecord, before.size());

    int sent = 0;
    ASSERT_TRUE(store->UploadOnce(sent));
    EXPECT_EQ(1, sent);
    std::string after = ReadBytes(path);
    EXPECT_EQ(before.size(), after.size());
    EXPECT_EQ(20u + 2123u, GetU32(after, 8));
    EXPECT_EQ(before.substr(20), after.substr(20));
    for (int i = 1; i < 493; ++i)
        ASSERT_TRUE(store->UploadOnce());
    after = ReadBytes(path);
    EXPECT_EQ(before.size(), after.size());
    EXPECT_EQ(20u + 493u * 2123u, GetU32(after, 8));
    EXPECT_LT(GetU32(after, 8), CAnalyticsBase::CompactAtOffset);

    ASSERT_TRUE(store->UploadOnce());      // the 494th: the offset would pass 0x100001
    after = ReadBytes(path);
    EXPECT_EQ(20u + 3u * shortRecord, after.size());
    EXPECT_EQ(Header(1, 3, 20), after.substr(0, 20));
    std::vector<ParsedRecord> records = ParseStore(after);
    ASSERT_EQ(3u, records.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(records[i].crcGood);
        EXPECT_EQ("tag=" + tag + "&i=" + std::to_string(i), records[i].text1);
        EXPECT_EQ("body" + std::to_string(i), records[i].text2);
    }
    EXPECT_TRUE(CollectLines(tag, 0).empty());     // nothing of the long ones went out
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(store->UploadOnce());
    EXPECT_EQ(3u, CollectLines(tag).size());
    EXPECT_EQ(0u, store->GetStoreSize());
}

TEST_F(AnalyticsStore, a_query_of_2047_bytes_is_sent_and_one_of_2048_dropped)
{
    for (size_t length : {size_t(2047), size_t(2048)}) {
        SCOPED_TRACE(length);
        std::string tag = Tag();
        std::string query = "tag=" + tag + "&pad=";
        query += std::string(length - query.size(), 'p');
        ASSERT_TRUE(store->AddItem(query, ""));
        int sent = 0;
        ASSERT_TRUE(store->UploadOnce(sent));
        EXPECT_EQ(1, sent);
        EXPECT_EQ(0u, store->GetStoreSize());
        std::vector<std::string> lines = CollectLines(tag, length == 2047 ? 5000 : 500);
        if (length == 2047) {
            ASSERT_EQ(1u, lines.size());
            EXPECT_NE(std::string::npos, lines[0].find("\"query\": \"" + query + "\""));
        } else {
            EXPECT_TRUE(lines.empty());
        }
    }
}

TEST_F(AnalyticsStore, a_query_no_client_writes_is_dropped_unsent)
{
    std::string tag = Tag();
    const std::string queries[] = {
        "tag=" + tag + "&a=b c",
        "tag=" + tag + "&a=b\r\nX-Injected: 1",
        "tag=" + tag + "&a=\xC3\xA9",
        "tag=" + tag + "&a=\x7F",
        std::string("tag=") + tag + "&a=" + std::string(1, '\0'),
    };
    for (const std::string& query : queries)
        ASSERT_TRUE(store->AddItem(query, ""));
    ASSERT_TRUE(store->AddItem("tag=" + tag + "&a=kept%20b", ""));
    for (size_t i = 0; i < 6; ++i) {
        int sent = 0;
        ASSERT_TRUE(store->UploadOnce(sent));
        EXPECT_EQ(1, sent);
    }
    EXPECT_EQ(0u, store->GetStoreSize());
    std::vector<std::string> lines = CollectLines(tag);
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("a=kept%20b"));
}

TEST_F(AnalyticsStore, a_body_makes_a_post_and_an_empty_one_a_get)
{
    std::string tag = Tag();
    ASSERT_TRUE(store->AddItem("tag=" + tag + "&k=get", ""));
    ASSERT_TRUE(store->AddItem("tag=" + tag + "&k=post", "a=1&b=2"));
    ASSERT_TRUE(store->UploadOnce());
    ASSERT_TRUE(store->UploadOnce());
    std::vector<std::string> lines = CollectLines(tag);
    ASSERT_EQ(2u, lines.size());
    for (const std::string& line : lines) {
        bool post = line.find("k=post") != std::string::npos;
        EXPECT_NE(std::string::npos, line.find(post ? "\"method\": \"POST\"" : "\"method\": \"GET\"")) << line;
        EXPECT_NE(std::string::npos, line.find(post ? "\"postedLength\": 7" : "\"postedLength\": 0")) << line;
        EXPECT_NE(std::string::npos, line.find("Chrome/91.0.4472.114")) << line;
    }
}

TEST_F(AnalyticsStore, an_error_answer_is_consumed_and_not_retried)
{
    std::string tag = Tag();
    ASSERT_TRUE(store->AddItem("tag=" + tag + "&status=500", ""));
    ASSERT_TRUE(store->AddItem("tag=" + tag + "&status=404&i=2", ""));
    ASSERT_TRUE(store->StartUploadThread(20));
    ASSERT_TRUE(WaitUntilStopped(*store));
    EXPECT_EQ(0u, store->GetStoreSize());
    std::vector<std::string> lines = CollectLines(tag);
    ASSERT_EQ(2u, lines.size());
    std::multiset<std::string> statuses;
    for (const std::string& line : lines)
        statuses.insert(line.find("\"status\": 500") != std::string::npos ? "500" : line.find("\"status\": 404") != std::string::npos ? "404" : line);
    EXPECT_EQ((std::multiset<std::string>{"404", "500"}), statuses);
}

TEST_F(AnalyticsStore, the_upload_thread_drains_the_store_and_ends)
{
    std::string tag = Tag();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(store->AddItem("tag=" + tag + "&i=" + std::to_string(i), ""));
    ASSERT_TRUE(store->StartUploadThread(20));
    EXPECT_FALSE(store->StartUploadThread(20));     // one runs
    ASSERT_TRUE(WaitUntilStopped(*store));
    EXPECT_EQ(0u, store->GetStoreSize());
    std::vector<std::string> lines = CollectLines(tag);
    ASSERT_EQ(5u, lines.size());
    // A new event restarts it.
    ASSERT_TRUE(store->AddItem("tag=" + tag + "&i=5", ""));
    ASSERT_TRUE(store->StartUploadThread(20));
    ASSERT_TRUE(WaitUntilStopped(*store));
    EXPECT_EQ(6u, CollectLines(tag).size());
}

// An event added while the thread waits out its interval after a pass that found the store empty
// (as the Updater's uploader does at the start of a run) goes out in that run: the start that
// came meanwhile found the thread running and started none, so the thread makes one more pass.
TEST_F(AnalyticsStore, an_event_added_while_the_thread_ends_goes_out_before_it_ends)
{
    const DWORD kIntervalMs = 1500;
    ASSERT_TRUE(store->StartUploadThread(kIntervalMs));
    Sleep(300);   // the empty pass is over and the thread waits out its interval
    ASSERT_TRUE(store->GetStateFlag());
    const std::string tag = Tag();
    ASSERT_TRUE(store->AddItem("tag=" + tag, ""));
    EXPECT_FALSE(store->StartUploadThread(kIntervalMs));   // one runs
    ASSERT_TRUE(WaitUntilStopped(*store));
    EXPECT_EQ(0u, store->GetStoreSize()) << "the event stayed for a later run";
    EXPECT_EQ(1u, CollectLines(tag).size());
}

// A record that may have reached the endpoint is consumed also when a stop cuts its request
// short: kept, it would go out again with every later run (the endpoint answers too slowly for
// any run to see its answer).
TEST_F(AnalyticsStore, a_stop_during_a_stalled_request_is_bounded_and_consumes_the_record)
{
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "the client destroyed" : "the uploader stopped");
        std::string tag = Tag();
        // The server logs a request once it answered; this one 12 s after it came.
        ASSERT_TRUE(store->AddItem("tag=" + tag + "&stallheaders=12000", ""));
        ASSERT_TRUE(store->AddItem("tag=" + tag + "&i=next", ""));
        ASSERT_TRUE(store->StartUploadThread(20));
        Sleep(1500);       // the request waits for its status line now
        ASSERT_TRUE(store->GetStateFlag());
        ULONGLONG start = GetTickCount64();
        if (destroy)
            store = nullptr;
        else
            store->StopUploadThread();
        EXPECT_LT(GetTickCount64() - start, 20000u);
        if (destroy)
            store = new CTestStore(name);
        EXPECT_FALSE(store->GetStateFlag());
        std::vector<ParsedRecord> records = ParseStore(ReadBytes(path));
        ASSERT_EQ(1u, records.size()) << "only the record that never went out stays";
        EXPECT_EQ("tag=" + tag + "&i=next", records[0].text1);

        // The next start sends what stayed, and the stalled record not again.
        ASSERT_TRUE(store->StartUploadThread(20));
        ASSERT_TRUE(WaitUntilStopped(*store));
        EXPECT_EQ(0u, store->GetStoreSize());
        int stalled = 0, next = 0;
        for (ULONGLONG end = GetTickCount64() + 40000; (stalled == 0 || next == 0) && GetTickCount64() < end;) {
            stalled = next = 0;
            for (const std::string& line : CollectLines(tag, 500)) {
                stalled += line.find("stallheaders=12000") != std::string::npos;
                next += line.find("i=next") != std::string::npos;
            }
        }
        EXPECT_EQ(1, stalled);
        EXPECT_EQ(1, next);
    }
}

TEST_F(AnalyticsStore, offline_the_thread_makes_one_pass_and_the_events_stay)
{
    const char* flag = std::getenv("LM_EXPECT_NO_NETWORK");
    if (!flag || flag[0] != '1')
        GTEST_SKIP() << "runs inside unshare -n only";
    ASSERT_TRUE(store->AddItem("tag=offline&i=0", ""));
    ASSERT_TRUE(store->AddItem("tag=offline&i=1", ""));
    std::string before = ReadBytes(path);
    ASSERT_TRUE(store->StartUploadThread(200));
    ASSERT_TRUE(WaitUntilStopped(*store));
    EXPECT_EQ(before, ReadBytes(path));
}

namespace {

// Runs copies of the store tool with the given arguments and lets them start their work together:
// each reports on "<store>-ready" and waits for "<store>-go". Returns their exit codes.
std::vector<DWORD> RunToolsTogether(const std::wstring& storeName, const std::vector<std::wstring>& arguments)
{
    std::vector<DWORD> codes(arguments.size(), 99);
    LONG count = static_cast<LONG>(arguments.size());
    HANDLE ready = CreateSemaphoreW(nullptr, 0, count, (storeName + L"-ready").c_str());
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, (storeName + L"-go").c_str());
    std::vector<HANDLE> processes;
    for (const std::wstring& a : arguments)
        processes.push_back(LmTest::StartProgram(LmTest::Tool(L"AnalyticsStoreTool.exe"), a));
    for (size_t i = 0; i < arguments.size(); ++i)
        WaitForSingleObject(ready, static_cast<DWORD>(kBoundMs));
    SetEvent(go);
    for (size_t i = 0; i < processes.size(); ++i) {
        if (processes[i] == nullptr)
            continue;
        if (WaitForSingleObject(processes[i], kBoundMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(processes[i], &codes[i]);
        CloseHandle(processes[i]);
    }
    CloseHandle(go);
    CloseHandle(ready);
    return codes;
}

} // namespace

TEST_F(AnalyticsStore, processes_adding_at_once_store_every_event_once)
{
    const int kProcesses = 4, kEach = 40;
    std::vector<std::wstring> arguments(kProcesses, L"add " + name + L" " + std::to_wstring(kEach) + L" many");
    EXPECT_EQ(std::vector<DWORD>(kProcesses, 0), RunToolsTogether(name, arguments));
    std::string bytes = ReadBytes(path);
    EXPECT_EQ(static_cast<std::uint32_t>(kProcesses * kEach), GetU32(bytes, 4));
    std::vector<ParsedRecord> records = ParseStore(bytes);
    ASSERT_EQ(static_cast<size_t>(kProcesses * kEach), records.size());
    std::map<std::string, std::set<int>> byProcess;
    size_t end = 20;
    for (const ParsedRecord& r : records) {
        EXPECT_TRUE(r.crcGood);
        end += 23 + r.text1.size();
        size_t p = r.text1.find("&p="), i = r.text1.find("&i=");
        ASSERT_NE(std::string::npos, i) << r.text1;
        EXPECT_TRUE(byProcess[r.text1.substr(p, i - p)].insert(std::atoi(r.text1.c_str() + i + 3)).second) << r.text1;
    }
    EXPECT_EQ(bytes.size(), end);
    ASSERT_EQ(static_cast<size_t>(kProcesses), byProcess.size());
    for (const auto& process : byProcess)
        EXPECT_EQ(static_cast<size_t>(kEach), process.second.size());
}

TEST_F(AnalyticsStore, two_uploaders_in_two_processes_send_each_event_once)
{
    const int kEvents = 30;
    std::string tag = Tag();
    for (int i = 0; i < kEvents; ++i)
        ASSERT_TRUE(store->AddItem("tag=" + tag + "&i=" + std::to_string(i), ""));
    std::string collect = LmTest::ServerUrl("/g/collect");
    std::vector<std::wstring> arguments(2, L"upload " + name + L" " + std::wstring(collect.begin(), collect.end()));
    EXPECT_EQ(std::vector<DWORD>(2, 0), RunToolsTogether(name, arguments));
    EXPECT_EQ(0u, store->GetStoreSize());
    std::vector<std::string> lines = CollectLines(tag);
    std::map<int, int> received;
    for (const std::string& line : lines) {
        size_t i = line.find("&i=");
        ASSERT_NE(std::string::npos, i);
        ++received[std::atoi(line.c_str() + i + 3)];
    }
    EXPECT_EQ(static_cast<size_t>(kEvents), lines.size());
    for (int i = 0; i < kEvents; ++i)
        EXPECT_EQ(1, received[i]) << i;
}
