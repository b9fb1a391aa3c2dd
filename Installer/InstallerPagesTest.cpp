// The wizard's web files as the Installer carries them: RCDATA 110-128 in US English, each
// extracting to its name below the page folder with the bytes of the file in Installer/pages.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CommonAppLogic/InstallUtils.h"
#include "TestSupport.h"

namespace {

const wchar_t* const kPageFiles[] = {
    L"install.html",         L"EULA_de.html",        L"EULA_en-us.html",
    L"EULA_es-es.html",      L"EULA_es.html",        L"EULA_fr.html",
    L"EULA_it.html",         L"EULA_ko.html",        L"EULA_pt.html",
    L"EULA_zh-chs.html",     L"EULA_zh-cht.html",    L"css\\progressbar.css",
    L"css\\style.css",       L"js\\install.js",      L"js\\strings.js",
    L"images\\downloader_bg_400.gif", L"images\\progress_blank.jpg", L"images\\progress_frame.jpg",
    L"images\\progress_green.jpg",
};

std::vector<char> ReadAll(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The tree's page folder as Wine shows the build machine's file system (drive Z:).
std::wstring SourcePagesFolder()
{
    std::wstring folder = L"Z:" + std::wstring(LM_SOURCE_DIR, LM_SOURCE_DIR + strlen(LM_SOURCE_DIR)) + L"/Installer/pages";
    for (wchar_t& c : folder)
        if (c == L'/')
            c = L'\\';
    return folder;
}

} // namespace

TEST(InstallerPages, resources_110_to_128_extract_to_the_page_files)
{
    LmTest::ScratchFolder folder(L"pdtpi");
    for (WORD i = 0; i < 19; ++i) {
        const WORD id = static_cast<WORD>(110 + i);
        SCOPED_TRACE(id);
        EXPECT_NE(nullptr, FindResourceExW(nullptr, RT_RCDATA, MAKEINTRESOURCEW(id),
                                           MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)))
            << "language 1033";
        const std::wstring target = folder.Path() + L"\\" + kPageFiles[i];
        Lm::CommonAppLogic::ExtractResourceToFile(id, target);
        const std::vector<char> extracted = ReadAll(target);
        const std::vector<char> source = ReadAll(SourcePagesFolder() + L"\\" + kPageFiles[i]);
        ASSERT_FALSE(source.empty()) << SourcePagesFolder();
        EXPECT_EQ(source, extracted);
    }
    EXPECT_EQ(nullptr, FindResourceW(nullptr, MAKEINTRESOURCEW(129), RT_RCDATA));
}
