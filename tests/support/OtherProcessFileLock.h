// A file held open, without sharing, by another process (tests/tools/FileLocker.exe) for as long
// as this object lives: DeleteFileW on it fails with a sharing violation meanwhile.
#pragma once

#include <windows.h>
#include <string>

#include "TestSupport.h"

namespace LmTest {

class OtherProcessFileLock {
public:
    explicit OtherProcessFileLock(const std::wstring& path)
    {
        const std::wstring readyName = UniqueName(L"LmLockReady");
        const std::wstring releaseName = UniqueName(L"LmLockRelease");
        ready_ = ::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
        release_ = ::CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str());
        process_ = StartProgram(TestDir() + L"FileLocker.exe",
                                L"\"" + path + L"\" " + readyName + L" " + releaseName);
        if (process_ != nullptr) {
            HANDLE both[2] = {ready_, process_};
            locked_ = ::WaitForMultipleObjects(2, both, FALSE, 30000) == WAIT_OBJECT_0;
        }
    }

    ~OtherProcessFileLock() { Release(); }

    OtherProcessFileLock(const OtherProcessFileLock&) = delete;
    OtherProcessFileLock& operator=(const OtherProcessFileLock&) = delete;

    // The other process has the file open.
    bool Locked() const { return locked_; }

    // Lets the file go and waits until the other process has ended.
    void Release()
    {
        if (release_ != nullptr)
            ::SetEvent(release_);
        if (process_ != nullptr) {
            if (::WaitForSingleObject(process_, 30000) != WAIT_OBJECT_0)
                ::TerminateProcess(process_, 1);
            ::CloseHandle(process_);
            process_ = nullptr;
        }
        if (ready_ != nullptr)
            ::CloseHandle(ready_);
        if (release_ != nullptr)
            ::CloseHandle(release_);
        ready_ = release_ = nullptr;
        locked_ = false;
    }

private:
    HANDLE ready_ = nullptr;
    HANDLE release_ = nullptr;
    HANDLE process_ = nullptr;
    bool locked_ = false;
};

} // namespace LmTest
