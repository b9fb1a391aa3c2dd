// The one error type of the library and of the programs built on it, and the one way to throw it.
//
// A throw site passes its message and three location literals: the source path of the throwing
// unit ("Lm\\System\\Win32\\Event.cpp"), the line and the fully qualified function name
// ("Lm::System::Win32::CEvent::Set"). They are data shown by ToString and GetLocationCode.
#pragma once

#include <windows.h>

#include <string>

#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"

namespace Lm {
namespace System {

class CException : public CObject {
public:
    // Narrow message, widened with Lm::AnsiToWide.
    CException(const char* message, size_t length, const char* sourceFile, int line, const char* function);
    // Wide message, taken unchanged.
    CException(const wchar_t* message, size_t length, const char* sourceFile, int line, const char* function);
    // A failure caused by another: the inner exception is copied deep.
    CException(const CException& inner, const char* message, size_t length, const char* sourceFile, int line,
               const char* function);
    // Copies everything, LastError included; the inner chain is copied deep (one new object per level).
    CException(const CException& other);

    CException(const std::string& message, const char* sourceFile, int line, const char* function);
    CException(const std::wstring& message, const char* sourceFile, int line, const char* function);

    ~CException() override;

    CException& operator=(const CException&) = delete;

    virtual std::wstring ToString() const;
    // Short text of where the chain was raised: "Win32.Event.41-Io.Directory.66".
    virtual std::wstring GetLocationCode() const;

    // The text at the given nesting depth (one TAB of indentation per level).
    std::wstring Format(int depth) const;

    const std::wstring& Message() const { return m_message; }
    const std::string& SourceFile() const { return m_sourceFile; }
    int Line() const { return m_line; }
    const std::string& Function() const { return m_function; }
    DWORD LastError() const { return m_lastError; }
    const CException* Inner() const { return m_inner.Get(); }

private:
    std::wstring m_message;
    std::string m_sourceFile;
    int m_line = 0;
    std::string m_function;
    DWORD m_lastError = 0;
    CRefPtr<CException> m_inner;
};

// Process-wide hook run before every throw; guarded so that a throw raised inside it does not
// run it again on the same thread.
void OnThrow();

// The one way to throw: builds the exception, calls OnThrow, throws a copy.
[[noreturn]] void ThrowException(const char* message, const char* sourceFile, int line, const char* function);
[[noreturn]] void ThrowException(const std::string& message, const char* sourceFile, int line, const char* function);
[[noreturn]] void ThrowException(const std::wstring& message, const char* sourceFile, int line, const char* function);
[[noreturn]] void ThrowException(const CException& inner, const char* message, const char* sourceFile, int line,
                                 const char* function);
[[noreturn]] void ThrowException(const CException& inner, const std::string& message, const char* sourceFile,
                                 int line, const char* function);
// Throws prefix + GetWin32ErrorTextA(GetLastError()); the exception's LastError is that code.
[[noreturn]] void ThrowWin32Exception(const char* prefix, const char* sourceFile, int line, const char* function);
// The same for a code the caller already holds (a function that returns its error, as the
// registry calls do).
[[noreturn]] void ThrowWin32Exception(const char* prefix, DWORD code, const char* sourceFile, int line,
                                      const char* function);

} // namespace System
} // namespace Lm
