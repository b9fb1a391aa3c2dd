#include "System/Exception.h"

#include <cstring>
#include <set>

#include "System/Io/FilePath.h"
#include "System/String/AnsiWide.h"
#include "System/String/StringUtils.h"
#include "System/Win32/CriticalSectionLock.h"

namespace Lm {
namespace System {

CException::CException(const char* message, size_t length, const char* sourceFile, int line, const char* function)
    : m_message(Lm::AnsiToWide(std::string(message, length)))
{
    m_sourceFile = sourceFile;
    m_line = line;
    m_function = function;
    // Read after the copies, as documented: the value left by the failed call (string copies
    // leave it alone).
    m_lastError = ::GetLastError();
}

CException::CException(const wchar_t* message, size_t length, const char* sourceFile, int line, const char* function)
    : m_message(message, length)
{
    m_sourceFile = sourceFile;
    m_line = line;
    m_function = function;
    m_lastError = ::GetLastError();
}

CException::CException(const CException& inner, const char* message, size_t length, const char* sourceFile, int line,
                       const char* function)
    : CException(message, length, sourceFile, line, function)
{
    m_inner = new CException(inner);
}

CException::CException(const CException& other)
    : CObject()
    , m_message(other.m_message)
    , m_sourceFile(other.m_sourceFile)
    , m_line(other.m_line)
    , m_function(other.m_function)
    , m_lastError(other.m_lastError)
{
    if (other.m_inner)
        m_inner = new CException(*other.m_inner);
}

CException::CException(const std::string& message, const char* sourceFile, int line, const char* function)
    : CException(message.c_str(), message.size(), sourceFile, line, function)
{
}

CException::CException(const std::wstring& message, const char* sourceFile, int line, const char* function)
    : CException(message.c_str(), message.size(), sourceFile, line, function)
{
}

CException::~CException() = default;

std::wstring CException::ToString() const
{
    return Format(0);
}

std::wstring CException::Format(int depth) const
{
    const std::wstring indent(static_cast<size_t>(depth > 0 ? depth : 0), L'\t');
    std::wstring message = m_message;
    String::ReplaceAll(message, L"\r\n", L"\r\n" + indent);
    std::wstring text = String::FormatString(L"Exception:  %s\r\n%sIn Function: %S\r\n%sFile %S Line %d\r\n",
                                             message.c_str(), indent.c_str(), m_function.c_str(), indent.c_str(),
                                             m_sourceFile.c_str(), m_line);
    if (m_lastError != 0)
        text += String::FormatString(L"%sLastError=%u; %s", indent.c_str(), static_cast<unsigned>(m_lastError),
                                     String::GetWin32ErrorText(m_lastError).c_str());
    if (m_inner)
        text += indent + L"Inner " + m_inner->Format(depth + 1);
    return text;
}

std::wstring CException::GetLocationCode() const
{
    std::wstring code;
    for (const CException* e = this; e != nullptr; e = e->m_inner.Get()) {
        if (e != this)
            code += L"-";
        const std::wstring path = Lm::AnsiToWide(e->m_sourceFile);
        const std::wstring folder = IO::CFilePath::GetFileNameWithoutExtension(IO::CFilePath::GetDirectoryName(path));
        if (!folder.empty())
            code += folder + L".";
        code += IO::CFilePath::GetFileNameWithoutExtension(path) + L"." + std::to_wstring(e->m_line);
    }
    return code;
}

namespace {

// Threads now inside the hook body. Function-local statics: the hook may run during the static
// initialisation of another unit.
Win32::CCriticalSectionLock& ThrowHookLock()
{
    static Win32::CCriticalSectionLock lock;
    return lock;
}

std::set<DWORD>& ThreadsInThrowHook()
{
    static std::set<DWORD> threads;
    return threads;
}

void ThrowHookBody()
{
    // Nothing to do in this system: the place where a process would trace every throw.
}

} // namespace

void OnThrow()
{
    const DWORD lastError = ::GetLastError();
    const DWORD thread = ::GetCurrentThreadId();
    bool entered;
    {
        Win32::CScopedLock guard(ThrowHookLock());
        entered = ThreadsInThrowHook().insert(thread).second;
    }
    if (entered) {
        try {
            ThrowHookBody();
        } catch (...) {
            // A failure inside the hook must not replace the exception being thrown.
        }
        Win32::CScopedLock guard(ThrowHookLock());
        ThreadsInThrowHook().erase(thread);
    }
    ::SetLastError(lastError);
}

namespace {

[[noreturn]] void Throw(const CException& e)
{
    OnThrow();
    throw CException(e);
}

} // namespace

void ThrowException(const char* message, const char* sourceFile, int line, const char* function)
{
    Throw(CException(message, strlen(message), sourceFile, line, function));
}

void ThrowException(const std::string& message, const char* sourceFile, int line, const char* function)
{
    Throw(CException(message, sourceFile, line, function));
}

void ThrowException(const std::wstring& message, const char* sourceFile, int line, const char* function)
{
    Throw(CException(message, sourceFile, line, function));
}

void ThrowException(const CException& inner, const char* message, const char* sourceFile, int line,
                    const char* function)
{
    Throw(CException(inner, message, strlen(message), sourceFile, line, function));
}

void ThrowException(const CException& inner, const std::string& message, const char* sourceFile, int line,
                    const char* function)
{
    Throw(CException(inner, message.c_str(), message.size(), sourceFile, line, function));
}

void ThrowWin32Exception(const char* prefix, const char* sourceFile, int line, const char* function)
{
    ThrowWin32Exception(prefix, ::GetLastError(), sourceFile, line, function);
}

void ThrowWin32Exception(const char* prefix, DWORD code, const char* sourceFile, int line, const char* function)
{
    const std::string message = std::string(prefix) + String::GetWin32ErrorTextA(code);
    ::SetLastError(code);
    Throw(CException(message, sourceFile, line, function));
}

} // namespace System
} // namespace Lm
