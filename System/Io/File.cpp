#include "System/Io/File.h"

#include "System/Exception.h"

namespace Lm {
namespace System {
namespace IO {

bool CFile::Exists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CFile::DeleteAFile(const std::wstring& path, int tries)
{
    int failures = 0;
    for (;;) {
        if (::DeleteFileW(path.c_str()))
            return true;
        const DWORD code = ::GetLastError();
        ++failures;
        if (failures >= tries) {
            ::SetLastError(code);
            ThrowException(L"Could not DeleteFileW \"" + path + L"\"", "Lm\\System\\Io\\File.cpp", 32,
                           "Lm::System::IO::CFile::DeleteAFile");
        }
        ::Sleep(50 * failures);
    }
}

void CFile::Copy(const std::wstring& source, const std::wstring& destination, bool overwrite)
{
    ::CopyFileW(source.c_str(), destination.c_str(), !overwrite);
}

Win32::CHandleGuard CFile::Hold(const std::wstring& path)
{
    return Win32::CHandleGuard(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace IO
} // namespace System
} // namespace Lm
