#include "Analytics/AnalyticsBase.h"

#include <objbase.h>
#include <process.h>

#include <utility>
#include <vector>

#include "Analytics/AnalyticsContract.h"
#include "Analytics/MutexHold.h"
#include "System/Crc32.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "System/Io/FilePath.h"
#include "System/Net/HttpWebRequest.h"
#include "System/Net/Uri.h"
#include "System/RefPtr.h"
#include "System/String/AnsiWide.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/NetworkConnectivity.h"
#include "System/Win32/SystemInfo.h"

namespace Lm {
namespace Analytics {

using System::CRefPtr;
using System::Net::CHttpWebRequest;
using System::Win32::CHandleGuard;
using System::Win32::CScopedLock;

namespace {

const char kSource[] = "Lm\\Analytics\\AnalyticsBase.cpp";
const std::uint32_t kStoreVersion = 1;
// How often the uploader looks whether its request is complete (waiting on the stop event).
const DWORD kRequestPollMs = 20;
// How long consuming a record that went out may wait for the store mutex. Other holders only
// touch the file briefly; the bound keeps a frozen process from holding up a stop.
const DWORD kConsumeLockWaitMs = 5000;

void PutU32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

void PutU16(unsigned char* p, std::uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

std::uint32_t GetU32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t GetU16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

bool SeekTo(HANDLE file, std::int64_t offset)
{
    LARGE_INTEGER to, at;
    to.QuadPart = offset;
    return SetFilePointerEx(file, to, &at, FILE_BEGIN) && at.QuadPart == offset;
}

bool SeekToEnd(HANDLE file)
{
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    return SetFilePointerEx(file, zero, nullptr, FILE_END) != FALSE;
}

// Reads up to size bytes at the current position; false only when the call fails.
bool ReadBytes(HANDLE file, void* buffer, DWORD size, DWORD& read)
{
    read = 0;
    return ReadFile(file, buffer, size, &read, nullptr) != FALSE;
}

bool WriteAll(HANDLE file, const void* data, DWORD size)
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

} // namespace

// Good only when all 20 bytes are there, the version is 1, the CRC matches and the first pending
// offset lies between the end of the header and the end of the file.

bool CAnalyticsBase::ReadHeader(HANDLE file, StoreHeader& header)
{
    unsigned char bytes[CAnalyticsBase::HeaderSize];
    DWORD read = 0;
    if (!SeekTo(file, 0) || !ReadBytes(file, bytes, sizeof bytes, read) || read != sizeof bytes)
        return false;
    if (GetU32(bytes + 16) != System::Crc32(bytes, 16))
        return false;
    header.version = GetU32(bytes);
    header.count = GetU32(bytes + 4);
    header.pending = GetU32(bytes + 8);
    header.reserved = GetU32(bytes + 12);
    std::int64_t size = System::Win32::GetFileSize64(file);
    return header.version == kStoreVersion && header.pending >= CAnalyticsBase::HeaderSize &&
           static_cast<std::int64_t>(header.pending) <= size;
}

bool CAnalyticsBase::WriteHeader(HANDLE file, const StoreHeader& header)
{
    unsigned char bytes[CAnalyticsBase::HeaderSize];
    PutU32(bytes, header.version);
    PutU32(bytes + 4, header.count);
    PutU32(bytes + 8, header.pending);
    PutU32(bytes + 12, header.reserved);
    PutU32(bytes + 16, System::Crc32(bytes, 16));
    return SeekTo(file, 0) && WriteAll(file, bytes, sizeof bytes);
}

// The empty store: the header alone, the file cut behind it.
bool CAnalyticsBase::ResetStore(HANDLE file, StoreHeader& header)
{
    header = StoreHeader();
    return WriteHeader(file, header) && SetEndOfFile(file);
}

namespace {

// One record: the head, then both texts masked, the CRC over the texts as stored.
std::vector<unsigned char> ComposeItem(const std::string& text1, const std::string& text2, std::uint8_t mask)
{
    if (text1.size() >= CAnalyticsBase::MaxQueryBytes)
        System::ThrowException("QueryString too long", kSource, __LINE__, "Lm::Analytics::CAnalyticsBase::ComposeItem");
    const std::uint32_t head = CAnalyticsBase::RecordHeadSize;
    std::vector<unsigned char> record(head + text1.size() + text2.size());
    PutU32(&record[0], static_cast<std::uint32_t>(record.size()));
    PutU32(&record[4], head);
    PutU32(&record[12], 0);
    record[16] = mask;
    PutU16(&record[17], static_cast<std::uint16_t>(text1.size()));
    PutU32(&record[19], static_cast<std::uint32_t>(text2.size()));
    size_t at = head;
    for (char c : text1)
        record[at++] = static_cast<unsigned char>(c) ^ mask;
    for (char c : text2)
        record[at++] = static_cast<unsigned char>(c) ^ mask;
    PutU32(&record[8], System::Crc32(record.data() + head, record.size() - head));
    return record;
}

// A query as the clients write it: printable ASCII without blanks (every other byte is escaped).
// A record the store holds with anything else was not written by a client, and its text never
// reaches a request line.
bool IsSendableQuery(const std::string& query)
{
    for (char c : query) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F)
            return false;
    }
    return true;
}

} // namespace

std::wstring BuildAnalyticsUserAgent()
{
    std::wstring agent = L"Mozilla/5.0 (";
    std::wstring version = System::Win32::GetOSVersionShort();
    if (!version.empty())
        agent += L"Windows NT " + version + L"; ";
    if (System::Win32::IsWow64())
        agent += L"WOW64";
    agent += L") AppleWebKit/537.36 (KHTML, like Gecko) Chrome/91.0.4472.114 Safari/537.36";
    return agent;
}

CAnalyticsBase::CAnalyticsBase(const std::wstring& storeFileName)
{
    m_stopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stopEvent)
        System::ThrowWin32Exception("Failed to create the upload stop event: ", kSource, __LINE__,
                                    "Lm::Analytics::CAnalyticsBase::CAnalyticsBase");
    m_userAgent = BuildAnalyticsUserAgent();

    m_storeMutexName = storeFileName + kStoreMutexSuffix;
    m_storeMutex.Reset(CreateMutexW(nullptr, FALSE, m_storeMutexName.c_str()));
    if (!m_storeMutex)
        System::ThrowException(L"Failed to create mutex. Name: " + m_storeMutexName, kSource, __LINE__,
                               "Lm::Analytics::CAnalyticsBase::CAnalyticsBase");
    std::wstring uploadMutexName = m_storeMutexName + kUploadMutexSuffix;
    m_uploadMutex.Reset(CreateMutexW(nullptr, FALSE, uploadMutexName.c_str()));
    if (!m_uploadMutex)
        System::ThrowException(L"Failed to create upload mutex: " + uploadMutexName, kSource, __LINE__,
                               "Lm::Analytics::CAnalyticsBase::CAnalyticsBase");

    using System::IO::CFilePath;
    std::wstring folder = CFilePath::Combine(System::Win32::GetRoamingAppDataPath(), kStoreFolder);
    m_storePath = CFilePath::Combine(folder, storeFileName);
    try {
        System::IO::CDirectory::CreateParent(m_storePath);
    } catch (const System::CException&) {
        // Without its folder the store cannot be opened: every event is then refused (AddItem
        // false) as with any other store failure, and reporting never fails the caller.
    }
    DeleteFileW(CFilePath::Combine(folder, kLegacyStoreFileName).c_str());
}

CAnalyticsBase::~CAnalyticsBase()
{
    StopUploadThread();
}

CHandleGuard CAnalyticsBase::OpenStore(StoreHeader& header)
{
    CHandleGuard file(CreateFileW(m_storePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return file;
    if (!ReadHeader(file.Get(), header) && !ResetStore(file.Get(), header))
        file.Close();
    return file;
}

class CAnalyticsBase::COpenStore {
public:
    // With a stop event a set stop fails the wait unless the mutex is free at once.
    COpenStore(CAnalyticsBase& owner, HANDLE stopEvent, DWORD timeoutMs = INFINITE)
        : m_lock(owner.m_storeMutex.Get(), stopEvent, timeoutMs)
    {
        if (m_lock.Owned())
            m_file = owner.OpenStore(header);
    }
    bool IsOpen() const { return m_file.IsValid(); }
    HANDLE File() const { return m_file.Get(); }

    StoreHeader header;

private:
    CMutexHold m_lock;      // released after the file is closed
    CHandleGuard m_file;
};

bool CAnalyticsBase::AddItem(const std::string& text1, const std::string& text2)
{
    COpenStore store(*this, m_stopEvent.Get());
    if (!store.IsOpen())
        return false;
    std::int64_t size = System::Win32::GetFileSize64(store.File());
    if (size < 0 || size >= StoreCapBytes)
        return false;
    std::vector<unsigned char> record = ComposeItem(text1, text2, MaskByte);
    // A record that no reader would take (over the record limit) is refused, not stored.
    if (record.size() > MaxRecordBytes)
        return false;
    if (!SeekToEnd(store.File()) || !WriteAll(store.File(), record.data(), static_cast<DWORD>(record.size())))
        return false;
    store.header.count += 1;
    return WriteHeader(store.File(), store.header);
}

bool CAnalyticsBase::ReadFirstItem(bool& found, std::uint32_t& offset, std::uint32_t& nextOffset, Item& item)
{
    found = false;
    item = Item();
    COpenStore store(*this, m_stopEvent.Get());
    if (!store.IsOpen())
        return false;
    HANDLE f = store.File();
    StoreHeader& header = store.header;
    offset = header.pending;
    if (!SeekTo(f, header.pending)) {
        ResetStore(f, header);
        return false;
    }
    unsigned char lengthBytes[4];
    DWORD read = 0;
    if (!ReadBytes(f, lengthBytes, sizeof lengthBytes, read)) {
        ResetStore(f, header);
        return false;
    }
    if (read == 0)
        return true;     // nothing pending
    std::uint32_t total = read == 4 ? GetU32(lengthBytes) : 0;
    if (total < RecordHeadSize || total > MaxRecordBytes) {
        ResetStore(f, header);
        return false;
    }
    std::vector<unsigned char> record(total);
    std::copy(lengthBytes, lengthBytes + 4, record.begin());
    if (!ReadBytes(f, &record[4], total - 4, read) || read != total - 4) {
        ResetStore(f, header);
        return false;
    }
    // The head is covered by no CRC: its lengths must add up to the total before text 1 is cut
    // from the record, or a forged length would read past it.
    std::uint32_t headLength = GetU32(&record[4]);
    std::uint32_t crc = GetU32(&record[8]);
    std::uint8_t mask = record[16];
    std::uint32_t length1 = GetU16(&record[17]);
    std::uint32_t length2 = GetU32(&record[19]);
    if (headLength != RecordHeadSize || length1 >= MaxQueryBytes ||
        static_cast<std::uint64_t>(RecordHeadSize) + length1 + length2 != total ||
        System::Crc32(&record[RecordHeadSize], total - RecordHeadSize) != crc) {
        ResetStore(f, header);
        return false;
    }
    for (std::uint32_t i = RecordHeadSize; i < total; ++i)
        record[i] ^= mask;
    const char* texts = reinterpret_cast<const char*>(&record[RecordHeadSize]);
    item.text1.assign(texts, length1);
    item.text2.assign(texts + length1, length2);
    found = true;
    nextOffset = header.pending + total;
    return true;
}

bool CAnalyticsBase::ConsumeItems(std::uint32_t offset, std::uint32_t newOffset, std::uint32_t consumed)
{
    // Also during a stop: a record that went out must be consumed, or the next run sends it again.
    COpenStore store(*this, nullptr, kConsumeLockWaitMs);
    if (!store.IsOpen())
        return false;
    HANDLE f = store.File();
    StoreHeader& header = store.header;
    // The store changed under us (another process found it corrupt and reset it): the record we
    // read is no longer the first pending one, and the offsets mean nothing now.
    if (header.pending != offset)
        return false;
    header.count = header.count >= consumed ? header.count - consumed : 0;
    if (newOffset < CompactAtOffset) {
        header.pending = newOffset;
        WriteHeader(f, header);
        return true;
    }
    std::int64_t size = System::Win32::GetFileSize64(f);
    if (size <= static_cast<std::int64_t>(newOffset)) {
        ResetStore(f, header);
        return true;
    }
    // Compaction: the pending records move right behind the header. They are written first and
    // the header last, so a writer that dies half-way leaves a header whose offset no longer fits
    // the file (reset on the next open), never one that points at records already sent.
    std::vector<unsigned char> rest(static_cast<size_t>(size - newOffset));
    DWORD read = 0;
    if (!SeekTo(f, newOffset) || !ReadBytes(f, rest.data(), static_cast<DWORD>(rest.size()), read) ||
        read != rest.size()) {
        ResetStore(f, header);
        return true;
    }
    if (!SeekTo(f, HeaderSize) || !WriteAll(f, rest.data(), static_cast<DWORD>(rest.size())) || !SetEndOfFile(f)) {
        ResetStore(f, header);
        return true;
    }
    header.pending = HeaderSize;
    WriteHeader(f, header);
    return true;
}

std::uint32_t CAnalyticsBase::GetStoreSize()
{
    COpenStore store(*this, m_stopEvent.Get());
    if (!store.IsOpen())
        return 0;
    std::int64_t size = System::Win32::GetFileSize64(store.File());
    return size > store.header.pending ? static_cast<std::uint32_t>(size - store.header.pending) : 0;
}

void CAnalyticsBase::PrepareRequest(CHttpWebRequest& request, const std::string& body)
{
    if (body.empty())
        return;
    request.method = "POST";
    request.SetPostData(body.data(), body.size());
}

bool CAnalyticsBase::UploadPendingItems(int& sent)
{
    sent = 0;
    CMutexHold upload(m_uploadMutex.Get(), m_stopEvent.Get());
    if (!upload.Owned())
        return false;
    bool found = false;
    std::uint32_t offset = 0, nextOffset = 0;
    Item item;
    if (!ReadFirstItem(found, offset, nextOffset, item))
        return false;
    if (!found)
        return true;
    sent = 1;
    if (item.text1.size() >= MaxSentQueryBytes || !IsSendableQuery(item.text1)) {
        ConsumeItems(offset, nextOffset, 1);     // dropped unsent
        return true;
    }
    std::string url = GetCollectUrl(false);
    if (!item.text1.empty())
        url += "?" + item.text1;
    if (System::Net::CUri(url).GetHost().empty()) {
        ConsumeItems(offset, nextOffset, 1);     // no URL to send it to: dropped
        return true;
    }

    CRefPtr<CHttpWebRequest> request;
    try {
        request = new CHttpWebRequest(url);
        request->userAgent = Utf16ToMBCS_CP(CP_ACP, m_userAgent);
        PrepareRequest(*request, item.text2);
        request->Start();
    } catch (const System::CException&) {
        return false;      // nothing went out: the record stays for a later run
    }
    // From here on the record may have reached the endpoint: whatever the outcome (an answer, an
    // HTTP error, a failure or a stop) it is consumed, so that it goes out at most once. A record
    // kept after a stop would be sent again by every later run whose endpoint answers slowly.
    while (!request->IsComplete()) {
        if (WaitForSingleObject(m_stopEvent.Get(), kRequestPollMs) == WAIT_OBJECT_0) {
            ConsumeItems(offset, nextOffset, 1);
            request->Abort();    // within the abort's bound
            return false;
        }
    }
    ConsumeItems(offset, nextOffset, 1);
    return true;
}

unsigned __stdcall CAnalyticsBase::UploadThreadEntry(void* argument)
{
    static_cast<CAnalyticsBase*>(argument)->UploadThreadMain();
    return 0;
}

void CAnalyticsBase::UploadPasses()
{
    for (;;) {
        int sent = 0;
        if (System::Win32::IsConnectedToInternet() && !UploadPendingItems(sent))
            return;
        // Go on only while passes send: an empty store, offline or a stop ends the passes.
        if (WaitForSingleObject(m_stopEvent.Get(), m_intervalMs) == WAIT_OBJECT_0 || sent == 0)
            return;
    }
}

void CAnalyticsBase::UploadThreadMain()
{
    HRESULT com = CoInitialize(nullptr);
    for (bool failed = false;;) {
        try {
            UploadPasses();
        } catch (...) {
            // No exception leaves the thread. A pass that failed this way (out of memory) ends
            // the uploads of this run; its record stays in the store.
            failed = true;
        }
        // A start that came while the passes ran found the thread running and started none: its
        // event may have been added after the last pass looked, so one more pass goes. The
        // decision and the end of m_running are one step under the lock, so no start falls
        // between them.
        CScopedLock lock(m_lock);
        if (failed || !m_passAsked) {
            m_passAsked = false;
            m_running = false;
            break;
        }
        m_passAsked = false;
    }
    // Past its last use of the object: StartUploadThread and StopUploadThread may close the handle.
    if (SUCCEEDED(com))
        CoUninitialize();
}

bool CAnalyticsBase::StartUploadThread(DWORD intervalMs)
{
    CScopedLock lock(m_lock);
    if (m_running) {
        m_passAsked = true;
        return false;
    }
    if (m_thread) {
        // A thread that ended by itself: it is past its last use of the lock, so waiting for it
        // here is short.
        WaitForSingleObject(m_thread.Get(), INFINITE);
        m_thread.Close();
    }
    m_intervalMs = intervalMs;
    unsigned id = 0;
    uintptr_t thread = _beginthreadex(nullptr, 0, &CAnalyticsBase::UploadThreadEntry, this, 0, &id);
    if (thread == 0)
        return false;
    m_thread.Reset(reinterpret_cast<HANDLE>(thread));
    m_running = true;
    return true;
}

void CAnalyticsBase::StopUploadThread()
{
    CScopedLock stopping(m_stopLock);
    CHandleGuard thread;
    {
        CScopedLock lock(m_lock);
        thread = std::move(m_thread);
    }
    if (!thread)
        return;
    SetEvent(m_stopEvent.Get());
    WaitForSingleObject(thread.Get(), INFINITE);
    thread.Close();
    {
        CScopedLock lock(m_lock);
        if (!m_thread)      // no other caller started a new thread meanwhile
            m_running = false;
    }
    // The stop is over: store operations and a later start work again.
    ResetEvent(m_stopEvent.Get());
}

bool CAnalyticsBase::GetStateFlag()
{
    CScopedLock lock(m_lock);
    return m_running;
}

} // namespace Analytics
} // namespace Lm
