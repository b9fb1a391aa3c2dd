// While it lives, the elevated programs' trust test (System/Io/AdministratorsOwned.h) counts this
// process's user as an owner beside SYSTEM and Administrators. Under Wine every file belongs to
// the account of the Unix user and no test can give it another owner; with this the tests show
// what a folder or file that passes the owner test takes and gives, and without it what one that
// a user planted does. LM_TEST_TRUSTED_OWNER hands the same on to a test tool that honours it.
#pragma once

#include <windows.h>
#include <sddl.h>

#include <string>

#include "System/Io/AdministratorsOwned.h"

namespace LmTest {

inline std::wstring OwnUserSid()
{
    HANDLE token = nullptr;
    std::wstring sid;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return sid;
    BYTE buffer[256] = {};
    DWORD size = 0;
    LPWSTR text = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        sid = text;
    LocalFree(text);
    CloseHandle(token);
    return sid;
}

class TrustedTestOwner {
public:
    TrustedTestOwner()
    {
        Lm::System::IO::SetTestTrustedOwner(OwnUserSid());
        SetEnvironmentVariableW(L"LM_TEST_TRUSTED_OWNER", OwnUserSid().c_str());
    }
    ~TrustedTestOwner()
    {
        Lm::System::IO::SetTestTrustedOwner(L"");
        SetEnvironmentVariableW(L"LM_TEST_TRUSTED_OWNER", nullptr);
    }
    TrustedTestOwner(const TrustedTestOwner&) = delete;
    TrustedTestOwner& operator=(const TrustedTestOwner&) = delete;
};

} // namespace LmTest
