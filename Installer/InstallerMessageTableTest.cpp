#include "Installer/InstallerMessageTable.h"

#include <gtest/gtest.h>

#include <string>

using namespace Lm::Installer;

TEST(InstallerMessageTable, english_row_is_exact)
{
    const InstallerMessageRow& row = GetInstallerMessageRow(0);
    const wchar_t* expected[kInstallerMessageCount] = {
        L"Play thousands of free games right from your desktop.",
        L"This product requires Windows 7 or newer.",
        L"Failed to initialize Larchmeadow Games App Setup.  Setup program may already be running.",
        L"This installer requires Internet connectivity.  Please go online, and try again.",
        L"There was an unexpected error during installation.  Please try again.",
        L"Larchmeadow Games App has not been installed.  Exit Installation?",
        L"Larchmeadow Games App Setup",
    };
    for (int column = 0; column < kInstallerMessageCount; ++column)
        EXPECT_STREQ(expected[column], row[column]) << "column " << column;
}

TEST(InstallerMessageTable, every_language_has_its_own_seven_texts)
{
    const InstallerMessageRow& english = GetInstallerMessageRow(0);
    for (int language = 0; language < Lm::CommonAppLogic::kUILanguageCount; ++language) {
        const InstallerMessageRow& row = GetInstallerMessageRow(language);
        for (int column = 0; column < kInstallerMessageCount; ++column) {
            ASSERT_NE(nullptr, row[column]) << language << "/" << column;
            EXPECT_NE(L'\0', row[column][0]) << language << "/" << column;
        }
        // The product name stays in every language's caption; the texts are translated.
        EXPECT_NE(std::wstring::npos, std::wstring(row[kMessageCaption]).find(L"Larchmeadow Games App"))
            << language;
        if (language != 0) {
            EXPECT_STRNE(english[kMessageTagline], row[kMessageTagline]) << language;
            EXPECT_STRNE(english[kMessageExitQuestion], row[kMessageExitQuestion]) << language;
        }
        // The messages of two sentences keep the double blank between them.
        for (int column : {kMessageAlreadyRunning, kMessageDownloadFailed, kMessageUnexpectedError,
                           kMessageExitQuestion})
            EXPECT_NE(std::wstring::npos, std::wstring(row[column]).find(L"  ")) << language << "/" << column;
    }
}

TEST(InstallerMessageTable, both_spanish_rows_share_the_version_text_and_the_caption)
{
    const InstallerMessageRow& es = GetInstallerMessageRow(2);
    const InstallerMessageRow& esEs = GetInstallerMessageRow(3);
    EXPECT_STREQ(es[kMessageWindowsTooOld], esEs[kMessageWindowsTooOld]);
    EXPECT_STREQ(es[kMessageCaption], esEs[kMessageCaption]);
}

TEST(InstallerMessageTable, an_index_outside_the_table_gives_english)
{
    for (int index : {-1, 10, 1000})
        EXPECT_EQ(&GetInstallerMessageRow(0), &GetInstallerMessageRow(index)) << index;
}
