#include "System/Net/MultiStreamDownload/WriteOutputThread.h"

#include "System/Net/MultiStreamDownload/DownloadFiles.h"
#include "System/Net/MultiStreamDownload/ProgressFile.h"
#include "System/Net/MultiStreamDownload/WrapException.h"
#include "System/String/AnsiWide.h"
#include "System/Win32/Handle.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

namespace {

const char kSource[] = "Lm\\System\\Net\\MultiStreamDownload\\WriteOutputThread.cpp";
const char kConstructor[] = "Lm::System::Net::MultiStreamDownload::CWriteOutputThread::CWriteOutputThread";
const char kGetBuffer[] = "Lm::System::Net::MultiStreamDownload::CWriteOutputThread::GetBuffer";
const char kWaitForBuffer[] = "Lm::System::Net::MultiStreamDownload::CWriteOutputThread::WaitForBuffer";
const char kExecute[] = "Lm::System::Net::MultiStreamDownload::CWriteOutputThread::Execute";

const int kWriteTries = 3;
// The longest single sleep on a condition variable; the sleeper then looks again.
const DWORD kPollMs = 50;

// Holds a slim lock for a scope.
class CSrwGuard {
public:
    explicit CSrwGuard(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~CSrwGuard() { ReleaseSRWLockExclusive(&m_lock); }
    CSrwGuard(const CSrwGuard&) = delete;
    CSrwGuard& operator=(const CSrwGuard&) = delete;

private:
    SRWLOCK& m_lock;
};

} // namespace

CWriteOutputThread::CWriteOutputThread(const std::wstring& outputPath, uint64_t streamStart, uint64_t writeOffset,
                                       uint32_t bufferCount, uint32_t bufferSize, uint64_t totalSize,
                                       uint32_t streamIndex, uint32_t threadsUsed, const std::string& lastModified,
                                       const std::string& etag)
    : m_started(false, true), m_buffers(bufferCount, std::vector<unsigned char>(bufferSize)), m_bufferSize(bufferSize),
      m_streamStart(streamStart), m_writeOffset(writeOffset), m_outputPath(outputPath), m_totalSize(totalSize),
      m_lastModified(lastModified), m_etag(etag), m_streamIndex(streamIndex), m_threadsUsed(threadsUsed)
{
}

void CWriteOutputThread::Start()
{
    ThreadStart("");
    WaitUntilOpen();
}

void CWriteOutputThread::WaitUntilOpen()
{
    // The body sets m_started once the cache is open and again on its way out, so only a thread
    // that ended without running its body leaves it unset.
    if (HasEnded() && m_started.Wait(0) != WAIT_OBJECT_0)
        ThrowException("WriteOutputThread failed to start worker thread", kSource, 52, kConstructor);
    if (m_started.Wait(INFINITE) != WAIT_OBJECT_0)
        ThrowException("WriteOutputThread failed to signal a successful start", kSource, 55, kConstructor);
}

CWriteOutputThread::~CWriteOutputThread()
{
    Stop(INFINITE); // never throws
}

std::wstring CWriteOutputThread::GetCacheFileName(const std::wstring& target)
{
    return CacheFileName(target);
}

bool CWriteOutputThread::HasEnded()
{
    // The body marks itself finished as its last step: no kernel call needed to ask.
    return GetState() != Win32::ThreadStateRunning;
}

bool CWriteOutputThread::IsBufferQueued(uint32_t index) const
{
    for (const CRefPtr<CWriteItem>& item : m_queue)
        if (item->bufferIndex == index)
            return true;
    return false;
}

void CWriteOutputThread::WaitForBuffer(uint32_t index)
{
    CSrwGuard guard(m_queueLock);
    while (IsBufferQueued(index)) {
        if (m_writerWaiting)
            WakeConditionVariable(&m_dataQueued); // a block that QueueWrite left to the poll
        m_streamWaiting = true;
        SleepConditionVariableSRW(&m_bufferReleased, &m_queueLock, kPollMs, 0);
        m_streamWaiting = false;
        if (m_error)
            ThrowException(*m_error, "WriteFileThread Failed.", kSource, 86, kWaitForBuffer);
        if (HasEnded() && IsBufferQueued(index))
            ThrowException("WriteOutputThread has exited unexpectedly", kSource, 88, kWaitForBuffer);
    }
}

unsigned char* CWriteOutputThread::GetBuffer(uint32_t index)
{
    WaitForBuffer(index);
    CRefPtr<CException> error = GetError();
    if (error)
        ThrowException(*error, "GetBuffer Failed.", kSource, 97, kGetBuffer);
    return m_buffers.at(index).data();
}

// A waiting writer is woken once the stream has a single free buffer left, so that it writes
// the queued blocks while the stream reads into that one; until then the stream fills the other
// free buffers, and a lone block is written at the writer's next poll. With two buffers that is
// every block; with more, one wake (a round trip between the threads) serves several blocks.
void CWriteOutputThread::QueueWrite(uint32_t index, uint32_t byteCount)
{
    bool wake;
    {
        CSrwGuard guard(m_queueLock);
        m_queue.push_back(CRefPtr<CWriteItem>(new CWriteItem(index, byteCount)));
        wake = m_writerWaiting && m_queue.size() + 1 >= m_buffers.size();
    }
    if (wake)
        WakeConditionVariable(&m_dataQueued);
}

void CWriteOutputThread::SignalInputComplete()
{
    {
        CSrwGuard guard(m_queueLock);
        m_inputComplete = true;
    }
    WakeConditionVariable(&m_dataQueued);
}

CRefPtr<CException> CWriteOutputThread::GetError()
{
    CSrwGuard guard(m_queueLock);
    return m_error;
}

void CWriteOutputThread::SeekTo(HANDLE file, uint64_t offset, int attempt)
{
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (SetFilePointerEx(file, position, nullptr, FILE_BEGIN))
        return;
    const std::string name = Lm::Utf16ToMBCS_CP(CP_ACP, GetCacheFileName(m_outputPath));
    if (attempt < 0)
        ThrowException("SetFilePointer returned INVALID_SET_FILE_POINTER.  Offset=" + std::to_string(offset) +
                           " FileName=" + name,
                       kSource, 133, kExecute);
    ThrowException("On Try " + std::to_string(attempt) + ", SetFilePointer returned INVALID_SET_FILE_POINTER.  Offset=" +
                       std::to_string(offset) + " FileName=" + name,
                   kSource, 137, kExecute);
}

// Writes the whole block: WriteFile may write less than asked, and the rest follows at once. A
// failed call is retried (up to three failures) after seeking back to the first unwritten byte,
// so a retry leaves no gap.
void CWriteOutputThread::WriteBlock(HANDLE file, const unsigned char* data, uint32_t byteCount)
{
    uint32_t done = 0;
    int failures = 0;
    while (done < byteCount) {
        DWORD written = 0;
        if (WriteFile(file, data + done, byteCount - done, &written, nullptr) && written > 0) {
            done += written;
            m_writeOffset += written;
            continue;
        }
        if (++failures >= kWriteTries)
            ThrowException("WriteFile failed in WriteOutputThread. FileName=" +
                               Lm::Utf16ToMBCS_CP(CP_ACP, GetCacheFileName(m_outputPath)),
                           kSource, 158, kExecute);
        Sleep(50);
        SeekTo(file, m_writeOffset, failures - 1);
    }
}

DWORD CWriteOutputThread::Execute()
{
    bool failed = false;
    Win32::CHandleGuard file;
    Win32::CHandleGuard recordFile;
    try {
        const std::wstring cacheName = GetCacheFileName(m_outputPath);
        file.Reset(OpenFileWithRetryUntilStopped(cacheName, GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, GetStopEvent().GetHandle()));
        if (!file.IsValid())
            ThrowException("CreateFileW returned INVALID_FILE_VALUE.  FileName=" + Lm::Utf16ToMBCS_CP(CP_ACP, cacheName),
                           kSource, 174, kExecute);
        SeekTo(file.Get(), m_writeOffset, -1);
        StreamProgress record(m_outputPath, m_streamIndex, m_writeOffset, m_totalSize, m_lastModified, m_threadsUsed,
                              m_etag);
        m_started.Set();

        for (;;) {
            if (IsStopRequested())
                break;
            {
                CSrwGuard guard(m_queueLock);
                if (m_queue.empty() && !m_inputComplete) {
                    m_writerWaiting = true;
                    SleepConditionVariableSRW(&m_dataQueued, &m_queueLock, kPollMs, 0);
                    m_writerWaiting = false;
                }
            }
            if (IsStopRequested())
                break;
            bool finished = false;
            for (;;) {
                CRefPtr<CWriteItem> item;
                {
                    CSrwGuard guard(m_queueLock);
                    if (m_queue.empty()) {
                        finished = m_inputComplete;
                        break;
                    }
                    item = m_queue.front();
                }
                WriteBlock(file.Get(), m_buffers.at(item->bufferIndex).data(), item->byteCount);
                record.Offset = m_writeOffset;
                // Opened at the first block, not before: an attempt that writes nothing leaves
                // the record of the previous one as it is.
                if (!recordFile.IsValid())
                    recordFile.Reset(record.Open(GetStopEvent().GetHandle()));
                record.Rewrite(recordFile.Get());
                bool wake;
                {
                    CSrwGuard guard(m_queueLock);
                    m_queue.pop_front();
                    wake = m_streamWaiting;
                }
                if (wake)
                    WakeConditionVariable(&m_bufferReleased);
                if (IsStopRequested())
                    break;
            }
            if (finished)
                break;
        }
    } catch (...) {
        CRefPtr<CException> error = WrapCurrentException("WriteOutputThread Execute Function", kSource, 210, kExecute);
        CSrwGuard guard(m_queueLock);
        m_error = error;
        failed = true;
    }
    // Blocks not yet written are dropped: the record keeps the last offset really written.
    {
        CSrwGuard guard(m_queueLock);
        m_queue.clear();
    }
    WakeConditionVariable(&m_bufferReleased);
    recordFile.Close();
    file.Close();
    m_started.Set();
    return (failed || IsStopRequested()) ? 1 : 0;
}

} } } } // namespace Lm::System::Net::MultiStreamDownload
