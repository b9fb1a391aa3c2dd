#include "CommonAppLogic/CabinetExtractor.h"

#include <fcntl.h>
#include <fdi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "System/Exception.h"
#include "System/Win32/Handle.h"

namespace {

const char kSource[] = "Lm\\CommonAppLogic\\CabinetExtractor.cpp";
const char kFunction[] = "Lm::CommonAppLogic::CCabinetExtractor::ExtractTo";

using Lm::System::Win32::CHandleGuard;

// An FDI context, destroyed when its owner goes.
struct CFdiContextTraits {
    using HandleType = HFDI;
    static HFDI Invalid() noexcept { return nullptr; }
    static bool IsValid(HFDI h) noexcept { return h != nullptr; }
    static void Close(HFDI h) noexcept { FDIDestroy(h); }
};
using CFdiContext = Lm::System::Win32::CHandleT<CFdiContextTraits>;

struct CExtraction;

// What an FDI handle stands for: the cabinet being read, or the file being written.
struct CFdiStream {
    CExtraction* owner = nullptr;
    const BYTE* bytes = nullptr;
    long size = 0;
    long position = 0;
    CHandleGuard file;   // the file being written; closed by FDI's close, or when the extraction goes
    DWORD written = 0;
};

// One extraction, shared with FDI's callbacks. FDI's open callback gets nothing but a name, so
// the cabinet's name is this object's address in decimal; the streams live as long as it does.
struct CExtraction {
    const BYTE* bytes = nullptr;
    DWORD size = 0;
    std::wstring partialPath;
    std::vector<std::unique_ptr<CFdiStream>> streams;
    CFdiStream* output = nullptr;
    DWORD expectedSize = 0;
    int files = 0;
    bool complete = false;
    DWORD error = 0;   // the Win32 error of a failed create or write of the file
    bool outOfMemory = false;   // a callback could not allocate what it needed
};

// A new stream of the extraction, or null (and outOfMemory) when it cannot be made. FDI's
// callbacks run inside cabinet.dll's C frames: no exception may leave them, so they report a
// failure to FDI (-1) instead, and ExtractTo throws once FDICopy has returned.
CFdiStream* AddStream(CExtraction* extraction) noexcept
{
    try {
        std::unique_ptr<CFdiStream> stream(new CFdiStream);
        stream->owner = extraction;
        extraction->streams.push_back(std::move(stream));
        return extraction->streams.back().get();
    } catch (...) {
        extraction->outOfMemory = true;
        return nullptr;
    }
}

CFdiStream* StreamOf(INT_PTR handle) { return reinterpret_cast<CFdiStream*>(handle); }

FNALLOC(Allocate) { return std::malloc(cb); }
FNFREE(Free) { std::free(pv); }

FNOPEN(Open)
{
    (void)oflag;
    (void)pmode;
    CExtraction* extraction = reinterpret_cast<CExtraction*>(static_cast<uintptr_t>(std::strtoull(pszFile, nullptr, 10)));
    if (extraction == nullptr)
        return -1;
    CFdiStream* stream = AddStream(extraction);
    if (stream == nullptr)
        return -1;
    stream->bytes = extraction->bytes;
    stream->size = static_cast<long>(extraction->size);
    return reinterpret_cast<INT_PTR>(stream);
}

FNREAD(Read)
{
    CFdiStream* stream = StreamOf(hf);
    if (stream->bytes == nullptr)
        return static_cast<UINT>(-1);
    const UINT count = static_cast<UINT>(std::min<long>(cb, stream->size - stream->position));
    std::memcpy(pv, stream->bytes + stream->position, count);
    stream->position += static_cast<long>(count);
    return count;
}

FNWRITE(Write)
{
    CFdiStream* stream = StreamOf(hf);
    DWORD written = 0;
    if (!stream->file)
        return static_cast<UINT>(-1);
    if (!WriteFile(stream->file.Get(), pv, cb, &written, nullptr)) {
        stream->owner->error = GetLastError();
        return static_cast<UINT>(-1);
    }
    if (written != cb) {
        stream->owner->error = ERROR_DISK_FULL;
        return static_cast<UINT>(-1);
    }
    stream->written += written;
    return written;
}

FNCLOSE(Close)
{
    StreamOf(hf)->file.Close();
    return 0;
}

FNSEEK(Seek)
{
    CFdiStream* stream = StreamOf(hf);
    const long base = seektype == SEEK_SET ? 0 : seektype == SEEK_CUR ? stream->position : stream->size;
    if (stream->bytes == nullptr || dist < -base || dist > stream->size - base)
        return -1;
    stream->position = base + dist;
    return stream->position;
}

FNFDINOTIFY(Notify)
{
    CExtraction* extraction = static_cast<CExtraction*>(pfdin->pv);
    switch (fdint) {
    case fdintCOPY_FILE: {
        if (++extraction->files > 1)
            return -1;
        CFdiStream* output = AddStream(extraction);
        if (output == nullptr)
            return -1;
        output->file.Reset(CreateFileW(extraction->partialPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!output->file) {
            extraction->error = GetLastError();
            return -1;
        }
        extraction->output = output;
        extraction->expectedSize = static_cast<DWORD>(pfdin->cb);
        return reinterpret_cast<INT_PTR>(extraction->output);
    }
    case fdintCLOSE_FILE_INFO: {
        CFdiStream* stream = StreamOf(pfdin->hf);
        // A file whose close fails may not hold what was written: it does not count as whole.
        const bool closed = !stream->file || CloseHandle(stream->file.Detach());
        extraction->complete = closed && stream->written == extraction->expectedSize;
        return TRUE;
    }
    case fdintPARTIAL_FILE:   // a file begun in another cabinet
    case fdintNEXT_CABINET:   // one cabinet holds all
        return -1;
    default:
        return 0;
    }
}

} // namespace

namespace Lm {
namespace CommonAppLogic {

CCabinetExtractor::CCabinetExtractor(const void* bytes, DWORD size)
    : m_bytes(static_cast<const BYTE*>(bytes)), m_size(size)
{
}

void CCabinetExtractor::ExtractTo(const std::wstring& path) const
{
    CExtraction extraction;
    extraction.bytes = m_bytes;
    extraction.size = m_size;
    extraction.partialPath = path + L".unpacking";

    ERF erf = {};
    CFdiContext fdi(FDICreate(Allocate, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf));
    if (!fdi)
        Lm::System::ThrowException("FDICreate failed", kSource, __LINE__, kFunction);
    std::string name = std::to_string(reinterpret_cast<uintptr_t>(&extraction));
    char folder[] = "";
    const BOOL copied = FDICopy(fdi.Get(), &name[0], folder, 0, Notify, nullptr, &extraction);
    fdi.Close();
    // A file FDI left open (an extraction it broke off) is closed before it is moved or deleted.
    if (extraction.output != nullptr)
        extraction.output->file.Close();

    const bool whole = copied && extraction.files == 1 && extraction.complete;
    if (whole && MoveFileExW(extraction.partialPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return;

    const DWORD moveError = whole ? GetLastError() : 0;
    if (extraction.output != nullptr)
        DeleteFileW(extraction.partialPath.c_str());
    if (whole)
        Lm::System::ThrowWin32Exception("MoveFileExW failed: ", moveError, kSource, __LINE__, kFunction);
    if (extraction.outOfMemory)
        Lm::System::ThrowWin32Exception("The cabinet could not be unpacked: ", ERROR_NOT_ENOUGH_MEMORY, kSource,
                                        __LINE__, kFunction);
    if (extraction.error != 0)
        Lm::System::ThrowWin32Exception("The unpacked file could not be written: ", extraction.error, kSource,
                                        __LINE__, kFunction);
    if (extraction.files != 1)
        Lm::System::ThrowException("The cabinet does not hold exactly one file", kSource, __LINE__, kFunction);
    Lm::System::ThrowException("The cabinet is damaged (FDI error " + std::to_string(erf.erfOper) + ")", kSource,
                               __LINE__, kFunction);
}

} // namespace CommonAppLogic
} // namespace Lm
