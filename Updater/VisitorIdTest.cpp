// The visitor id in a settings file of the test's own: made once, kept, and replaced when the
// stored value is empty or not a lower-case GUID text. The file is read back with the system's
// private-profile call, apart from the code under test.
#include "Updater/VisitorId.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

using Lm::Updater::CVisitorIdStore;
using Lm::Updater::IsWellFormedVisitorId;

namespace {

std::wstring StoredId(const std::wstring& ini)
{
    wchar_t buffer[256] = L"";
    GetPrivateProfileStringW(L"Analytics", L"VisitorID", L"<none>", buffer, 256, ini.c_str());
    return buffer;
}

void WriteSettings(const std::wstring& ini, const std::wstring& text)
{
    LmTest::WriteFileUtf8(ini, text);
}

} // namespace

TEST(VisitorId, the_first_need_makes_one_and_stores_it)
{
    LmTest::ScratchFolder folder(L"lmvisitor");
    std::wstring ini = folder / L"Larchmeadow\\Larchmeadow.ini";
    CVisitorIdStore store(ini);
    std::wstring id = store.Get();
    EXPECT_TRUE(IsWellFormedVisitorId(id));
    EXPECT_EQ(id, StoredId(ini));
    EXPECT_EQ(id, store.Get());
    // Another run reads the same id.
    CVisitorIdStore later(ini);
    EXPECT_EQ(id, later.Get());
}

TEST(VisitorId, a_well_formed_id_is_kept_and_other_values_replaced)
{
    const std::wstring good = L"0f8fad5b-d9cb-469f-a165-70867728950e";
    struct {
        const wchar_t* stored;
        bool kept;
    } const cases[] = {
        {L"0f8fad5b-d9cb-469f-a165-70867728950e", true},
        {L"", false},
        {L"0F8FAD5B-D9CB-469F-A165-70867728950E", false},
        {L"{0f8fad5b-d9cb-469f-a165-70867728950e}", false},
        {L"0f8fad5b-d9cb-469f-a165-70867728950", false},
        {L"0f8fad5b-d9cb-469f-a165-70867728950e0", false},
        {L"0f8fad5bd-9cb-469f-a165-70867728950e", false},
        {L"0f8fad5b-d9cb-469f-a165-7086772895\x0100\x0101", false},
        {L"0f8fad5b-d9cb-469f-a165-70867728950g", false},
        {L"x&y=z", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stored, c.stored + wcslen(c.stored)));
        LmTest::ScratchFolder folder(L"lmvisitor");
        std::wstring ini = folder / L"Larchmeadow.ini";
        WriteSettings(ini, std::wstring(L"[Analytics]\r\nVisitorID=") + c.stored + L"\r\n[Other]\r\nKeep=1\r\n");
        CVisitorIdStore store(ini);
        std::wstring id = store.Get();
        EXPECT_TRUE(IsWellFormedVisitorId(id));
        if (c.kept)
            EXPECT_EQ(good, id);
        else
            EXPECT_NE(std::wstring(c.stored), id);
        EXPECT_EQ(id, StoredId(ini));
        wchar_t other[16] = L"";
        GetPrivateProfileStringW(L"Other", L"Keep", L"", other, 16, ini.c_str());
        EXPECT_EQ(std::wstring(L"1"), other);
    }
}

TEST(VisitorId, set_stores_the_new_id)
{
    LmTest::ScratchFolder folder(L"lmvisitor");
    std::wstring ini = folder / L"Larchmeadow.ini";
    CVisitorIdStore store(ini);
    store.Set(L"11111111-2222-4333-8444-555555555555");
    EXPECT_EQ(L"11111111-2222-4333-8444-555555555555", StoredId(ini));
    EXPECT_EQ(L"11111111-2222-4333-8444-555555555555", store.Get());
}

TEST(VisitorId, the_users_id_lives_in_the_roaming_settings_file)
{
    std::wstring ini = Lm::Updater::GetUserSettingsIniPath();
    std::wstring suffix = L"\\Larchmeadow\\Larchmeadow.ini";
    ASSERT_GE(ini.size(), suffix.size());
    EXPECT_EQ(suffix, ini.substr(ini.size() - suffix.size()));
    std::wstring id = Lm::Updater::GetVisitorId();
    EXPECT_TRUE(IsWellFormedVisitorId(id));
    EXPECT_EQ(id, StoredId(ini));
    EXPECT_EQ(id, Lm::Updater::GetVisitorId());
}
