// Writes the blocks one stream receives, in order, into the shared "<target>.cache" at the
// stream's current offset, and records after every block how far the stream has got
// (StreamProgress), so that a later attempt or run resumes there. The stream reads into one of
// the buffers while this thread writes the others.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "System/Net/MultiStreamDownload/WriteItem.h"
#include "System/Win32/Event.h"
#include "System/Win32/Thread.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

class CWriteOutputThread : public Win32::CThread {
public:
    // Does not start the thread (Start does), so that a start that times out leaves a whole
    // object behind.
    CWriteOutputThread(const std::wstring& outputPath, uint64_t streamStart, uint64_t writeOffset,
                       uint32_t bufferCount, uint32_t bufferSize, uint64_t totalSize, uint32_t streamIndex,
                       uint32_t threadsUsed, const std::string& lastModified, const std::string& etag = std::string());
    ~CWriteOutputThread() override;

    // Starts the thread and returns once it has opened the cache (or failed: the failure then
    // shows at the first GetBuffer): ThreadStart, then WaitUntilOpen.
    void Start();
    // After ThreadStart: returns once the thread has opened the cache or ended.
    void WaitUntilOpen();

    // Waits until no queued block uses the buffer and returns it; throws when the writer failed.
    unsigned char* GetBuffer(uint32_t index);
    void WaitForBuffer(uint32_t index);
    uint32_t GetBufferSize() const { return m_bufferSize; }
    // Queues byteCount bytes of buffer index for writing.
    void QueueWrite(uint32_t index, uint32_t byteCount);
    // No more blocks follow: the thread ends once the queue is written.
    void SignalInputComplete();
    CRefPtr<CException> GetError();
    // The absolute cache offset of the next byte to write (read after the thread ended).
    uint64_t GetWriteOffset() const { return m_writeOffset; }

    static std::wstring GetCacheFileName(const std::wstring& target);

protected:
    DWORD Execute() override;

private:
    // Under the queue lock: a queued block uses the buffer.
    bool IsBufferQueued(uint32_t index) const;
    bool HasEnded();
    void WriteBlock(HANDLE file, const unsigned char* data, uint32_t byteCount);
    void SeekTo(HANDLE file, uint64_t offset, int attempt);

    std::list<CRefPtr<CWriteItem>> m_queue;
    // Guards m_queue, m_inputComplete, m_error and the two waiting flags. A slim lock with two
    // condition variables: the stream and the writer hand every block over through them, and
    // neither needs a kernel object for that (Wine backs them without a server call). Each side
    // wakes the other only when the other waits (its flag, set under the lock before it sleeps),
    // the writer only when the stream is down to its last free buffer (QueueWrite).
    SRWLOCK m_queueLock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_dataQueued = CONDITION_VARIABLE_INIT;     // the writer waits on it
    CONDITION_VARIABLE m_bufferReleased = CONDITION_VARIABLE_INIT; // the stream waits on it
    Win32::CEvent m_started;       // manual reset: set once the cache is open, and on exit
    bool m_writerWaiting = false;  // the writer waits for m_dataQueued
    bool m_streamWaiting = false;  // the stream waits for m_bufferReleased
    bool m_inputComplete = false;
    std::vector<std::vector<unsigned char>> m_buffers;
    const uint32_t m_bufferSize;
    const uint64_t m_streamStart;
    uint64_t m_writeOffset;
    const std::wstring m_outputPath;
    const uint64_t m_totalSize;
    const std::string m_lastModified;
    const std::string m_etag;
    const uint32_t m_streamIndex;
    const uint32_t m_threadsUsed;
    CRefPtr<CException> m_error;
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
