// The message table as built into Uninstall.exe: every row of the ten UI languages, read back
// from the program file itself.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "Uninstaller/UninstallerMessages.h"

using Lm::Uninstaller::CUninstallerMessages;
using Lm::Uninstaller::GetUninstallerMessages;

namespace {

struct MessageRow {
    const wchar_t* question;
    const wchar_t* finished;
    const wchar_t* caption;
};

const MessageRow kRows[10] = {
    {L"Uninstall Larchmeadow Games App?", L"Larchmeadow Games App has been uninstalled.",
     L"Larchmeadow Games App Uninstall"},
    {L"Larchmeadow Games App deinstallieren?", L"Larchmeadow Games App wurde deinstalliert.",
     L"Larchmeadow Games App Deinstallieren"},
    {L"\u00BFEst\u00E1 seguro de que desea desinstalar Larchmeadow Games App?",
     L"Larchmeadow Games App se ha desinstalado.", L"Desinstalaci\u00F3n de Larchmeadow Games App"},
    {L"\u00BFDesinstalar Larchmeadow Games App?", L"Larchmeadow Games App se ha desinstalado.",
     L"Desinstalaci\u00F3n de Larchmeadow Games App"},
    {L"D\u00E9sinstaller Larchmeadow Games App ?", L"Larchmeadow Games App a \u00E9t\u00E9 d\u00E9sinstall\u00E9.",
     L"D\u00E9sinstallation de Larchmeadow Games App"},
    {L"Disinstallare Larchmeadow Games App?", L"Larchmeadow Games App \u00E8 stato disinstallato.",
     L"Disinstallazione di Larchmeadow Games App"},
    {L"Larchmeadow Games App\uC744(\uB97C) \uC81C\uAC70\uD558\uC2DC\uACA0\uC2B5\uB2C8\uAE4C?",
     L"Larchmeadow Games App\uC774(\uAC00) \uC81C\uAC70\uB418\uC5C8\uC2B5\uB2C8\uB2E4.",
     L"Larchmeadow Games App \uC81C\uAC70"},
    {L"Desinstalar Larchmeadow Games App?", L"O Larchmeadow Games App foi desinstalado.",
     L"Desinstala\u00E7\u00E3o do Larchmeadow Games App"},
    {L"\u662F\u5426\u8981\u5378\u8F7D Larchmeadow Games App\uFE56", L"Larchmeadow Games App\u5DF2\u88AB\u5378\u8F7D\u3002",
     L"Larchmeadow Games App\u5378\u8F7D"},
    {L"\u662F\u5426\u8981\u89E3\u9664\u5B89\u88DD Larchmeadow Games App\uFF1F",
     L"Larchmeadow Games App \u5DF2\u88AB\u89E3\u9664\u5B89\u88DD\u3002", L"Larchmeadow Games App\u5378\u8F09"},
};

class UninstallerMessages : public testing::Test {
protected:
    void SetUp() override
    {
        m_module = LoadLibraryExW(LmTest::Program(L"Uninstall.exe").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(nullptr, m_module) << "Uninstall.exe not built";
    }
    void TearDown() override
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    HMODULE m_module = nullptr;
};

} // namespace

TEST_F(UninstallerMessages, every_language_row_holds_its_three_texts)
{
    for (int index = 0; index < 10; ++index) {
        const CUninstallerMessages row = GetUninstallerMessages(m_module, index);
        EXPECT_EQ(kRows[index].question, row.question) << "language index " << index;
        EXPECT_EQ(kRows[index].finished, row.finished) << "language index " << index;
        EXPECT_EQ(kRows[index].caption, row.caption) << "language index " << index;
    }
}

TEST_F(UninstallerMessages, an_index_outside_the_table_gives_english)
{
    for (int index : {-1, 10, 99}) {
        const CUninstallerMessages row = GetUninstallerMessages(m_module, index);
        EXPECT_EQ(kRows[0].question, row.question) << index;
        EXPECT_EQ(kRows[0].caption, row.caption) << index;
    }
}

TEST_F(UninstallerMessages, the_program_asks_for_administrator_rights)
{
    HRSRC manifest = FindResourceW(m_module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(nullptr, manifest);
    HGLOBAL loaded = LoadResource(m_module, manifest);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    ASSERT_NE(nullptr, bytes);
    const std::string text(bytes, SizeofResource(m_module, manifest));
    EXPECT_NE(std::string::npos, text.find("level=\"requireAdministrator\"")) << text;
}
