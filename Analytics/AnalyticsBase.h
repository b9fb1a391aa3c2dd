// The analytics store and its uploader. An event goes into a file in the user's roaming profile
// first (so that it survives a failed or interrupted upload and a later run sends it), and an
// upload thread sends the stored events one request at a time while the machine is online.
// Several processes may share one store: a named mutex serialises every access to the file and a
// second one every send.
//
// The store file is user-writable and shared: every byte read from it is input. Any content that
// does not hold together resets the store to its empty header; nothing in it can crash a reader.
//
// Store file, all integers little-endian, written field by field:
//   header (20 bytes): version (1), count, first pending offset (20..file size), reserved (0),
//                      CRC-32 of bytes 0-15
//   record: total length (23 + length 1 + length 2), head length (23), CRC-32 of the text bytes
//           as stored, reserved (0), mask byte (u8), length 1 (u16, < 65535), length 2 (u32),
//           then text 1 (the query) and text 2 (the body), each byte XOR-ed with the mask byte.
//
// A derived client supplies the collect URL and may prepare each request. Its destructor must
// call StopUploadThread: the thread calls its virtual functions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "System/ReferenceCounted.h"
#include "System/Win32/CriticalSectionLock.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace Net {
class CHttpWebRequest;
}
} // namespace System

namespace Analytics {

// "Mozilla/5.0 (Windows NT <major>.<minor>; WOW64) AppleWebKit/537.36 (KHTML, like Gecko)
// Chrome/91.0.4472.114 Safari/537.36"; the version part is left out when it cannot be read and
// "WOW64" when the process does not run under WOW64.
std::wstring BuildAnalyticsUserAgent();

class CAnalyticsBase : public System::CReferenceCounted {
public:
    // Limits of the store.
    static constexpr std::uint32_t HeaderSize = 20;
    static constexpr std::uint32_t RecordHeadSize = 23;
    static constexpr std::uint32_t StoreCapBytes = 0x500001;       // no event is added at this size
    static constexpr std::uint32_t CompactAtOffset = 0x100001;     // consumed bytes are cut away here
    static constexpr std::uint32_t MaxRecordBytes = 1000000;
    static constexpr std::uint32_t MaxQueryBytes = 65535;          // text 1 must be shorter
    static constexpr std::uint32_t MaxSentQueryBytes = 2048;       // longer pending queries are dropped
    // The mask byte of every record this client writes.
    static constexpr std::uint8_t MaskByte = 0xA7;

    // Builds the client of a store file (a plain file name, kept in the analytics folder of the
    // roaming profile). Throws when a mutex cannot be created.
    explicit CAnalyticsBase(const std::wstring& storeFileName);
    ~CAnalyticsBase() override;

    // Appends one event. False when the store could not be locked or opened, is at its cap, or the
    // write failed. Throws "QueryString too long" for a text 1 of 65535 bytes or more (the store
    // mutex is released first).
    bool AddItem(const std::string& text1, const std::string& text2);

    // Starts the upload thread (one pass per interval while passes send) unless one runs: false
    // then, and when the thread cannot be started. A thread that runs makes one more pass before
    // it ends, so an event added just before this call goes out in this run even when the thread
    // had already found the store empty.
    bool StartUploadThread(DWORD intervalMs);
    // Stops the upload thread, if any, and waits for it. A request in flight is aborted and its
    // record consumed (it may have reached the endpoint); the wait is bounded by the abort.
    void StopUploadThread();

    // Bytes not yet consumed (0 when nothing is pending or the store cannot be read).
    std::uint32_t GetStoreSize();
    // An upload thread exists.
    bool GetStateFlag();

    // The collect URL (narrow); the flag says whether several items go in one request.
    virtual std::string GetCollectUrl(bool severalItems) = 0;
    // A non-empty body makes the request a POST of that body; an empty one leaves a GET.
    virtual void PrepareRequest(System::Net::CHttpWebRequest& request, const std::string& body);

    const std::wstring& GetStorePath() const { return m_storePath; }
    const std::wstring& GetStoreMutexName() const { return m_storeMutexName; }
    const std::wstring& GetUserAgent() const { return m_userAgent; }

protected:
    // One record of the store, unmasked.
    struct Item {
        std::string text1;
        std::string text2;
    };

    // One pass of the uploader: sends the first pending record. False on a store failure or a
    // stop; sent is 1 when a record was consumed (sent or dropped).
    bool UploadPendingItems(int& sent);

private:
    struct StoreHeader {
        std::uint32_t version = 1;
        std::uint32_t count = 0;          // records added and not yet consumed
        std::uint32_t pending = HeaderSize; // where the next record to send begins
        std::uint32_t reserved = 0;
    };

    // The store mutex held and the file open with a good header, for one operation.
    class COpenStore;

    static bool ReadHeader(HANDLE file, StoreHeader& header);
    static bool WriteHeader(HANDLE file, const StoreHeader& header);
    static bool ResetStore(HANDLE file, StoreHeader& header);

    bool ReadFirstItem(bool& found, std::uint32_t& offset, std::uint32_t& nextOffset, Item& item);
    bool ConsumeItems(std::uint32_t offset, std::uint32_t newOffset, std::uint32_t consumed);
    System::Win32::CHandleGuard OpenStore(StoreHeader& header);
    void UploadThreadMain();
    void UploadPasses();
    static unsigned __stdcall UploadThreadEntry(void* argument);

    std::wstring m_storePath;
    std::wstring m_userAgent;
    std::wstring m_storeMutexName;
    System::Win32::CHandleGuard m_storeMutex;
    System::Win32::CHandleGuard m_uploadMutex;
    // Guards the four fields below it. Lock order: m_lock is never held while waiting for a
    // mutex or for the thread.
    System::Win32::CCriticalSectionLock m_lock;
    bool m_running = false;           // an upload thread exists and has not reached its end
    bool m_passAsked = false;         // a start found the thread running: it makes one more pass
    // The thread's handle, published here by StartUploadThread. The thread never closes it: the
    // next StartUploadThread or StopUploadThread takes it out, waits for the thread to be gone and
    // closes it, so it is closed once and never while another thread waits on it.
    System::Win32::CHandleGuard m_thread;
    DWORD m_intervalMs = 0;
    // Manual reset: every wait of the thread (interval, request poll, mutexes) sees a stop, and
    // it stays set until the thread has ended.
    System::Win32::CHandleGuard m_stopEvent;
    // Serialises StopUploadThread callers.
    System::Win32::CCriticalSectionLock m_stopLock;
};

} // namespace Analytics
} // namespace Lm
