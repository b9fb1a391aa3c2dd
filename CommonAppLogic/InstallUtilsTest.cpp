#include "CommonAppLogic/InstallUtils.h"

#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>
#include <knownfolders.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <vector>

#include "System/Exception.h"
#include "System/Win32/KnownFolders.h"
#include "AccessList.h"
#include "CaughtException.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "TrustedTestOwner.h"

namespace Lm {
namespace CommonAppLogic {
namespace InstallUtils {
namespace {

std::wstring StandIn()
{
    return LmTest::TestDir() + L"ExecStandIn.exe";
}

std::wstring SignedStandIn(const std::wstring& name)
{
    return LmTest::TestDir() + L"signed\\StandIn-" + name + L".exe";
}

std::string ReadRaw(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the stand-in recorded: its command line and its working folder.
struct Recorded {
    std::wstring commandLine;
    std::wstring folder;
};

Recorded ReadRecord(const std::wstring& path)
{
    std::wstring text = LmTest::ReadFileUtf8(path);
    Recorded recorded;
    size_t first = text.find(L'\n');
    recorded.commandLine = text.substr(0, first);
    if (first != std::wstring::npos)
        recorded.folder = text.substr(first + 1, text.find(L'\n', first + 1) - first - 1);
    return recorded;
}

std::wstring CurrentFolder()
{
    wchar_t buffer[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(MAX_PATH * 2, buffer);
    return buffer;
}

TEST(ExecTest, exit_codes_come_back_unchanged_and_unsigned)
{
    for (DWORD code : {0ul, 1ul, 259ul, 0x80004005ul, 0xFFFFFFFFul})
        EXPECT_EQ(code, ExecWait(StandIn(), L"", L"/exit=" + std::to_wstring(code), 0, false)) << code;
}

TEST(ExecTest, starts_the_quoted_path_with_the_arguments_as_given_in_the_working_folder)
{
    LmTest::ScratchFolder folder(L"lmexec");
    const std::wstring record = folder / L"record.txt";
    const std::wstring arguments = L"/record=\"" + record + L"\" /exit=7  tail \"quoted arg\"";
    EXPECT_EQ(7u, ExecWait(StandIn(), folder.Path(), arguments, 0, false));
    Recorded recorded = ReadRecord(record);
    EXPECT_EQ(L"\"" + StandIn() + L"\" " + arguments, recorded.commandLine);
    EXPECT_EQ(0, _wcsicmp(folder.Path().c_str(), recorded.folder.c_str())) << recorded.folder;
}

TEST(ExecTest, empty_arguments_start_exactly_the_quoted_path_in_the_callers_folder)
{
    LmTest::ScratchFolder folder(L"lmexec");
    const std::wstring record = folder / L"record.txt";
    ASSERT_TRUE(SetEnvironmentVariableW(L"LM_STANDIN_RECORD", record.c_str()));
    DWORD code = ExecWait(StandIn(), L"", L"", 0, false);
    SetEnvironmentVariableW(L"LM_STANDIN_RECORD", nullptr);
    EXPECT_EQ(0u, code);
    Recorded recorded = ReadRecord(record);
    EXPECT_EQ(L"\"" + StandIn() + L"\"", recorded.commandLine);
    EXPECT_EQ(0, _wcsicmp(CurrentFolder().c_str(), recorded.folder.c_str())) << recorded.folder;
}

TEST(ExecTest, exec_returns_the_running_process)
{
    const Lm::System::Win32::CHandleGuard process = Exec(StandIn(), L"", L"/exit=259", 0, false);
    ASSERT_TRUE(process.IsValid());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.Get(), 30000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process.Get(), &code));
    EXPECT_EQ(259u, code);
}

TEST(ExecTest, missing_file_throws_before_any_signature_test)
{
    LmTest::ScratchFolder folder(L"lmexec");
    const std::wstring missing = folder / L"missing.exe";
    for (bool requireSignature : {false, true}) {
        Lm::System::CException e = LmTest::CaughtException([&] { ExecWait(missing, L"", L"", 0, requireSignature); });
        EXPECT_EQ(L"File does not exist: " + missing, e.Message());
        EXPECT_EQ("Lm\\CommonAppLogic\\InstallUtils.cpp", e.SourceFile());
        EXPECT_EQ(167, e.Line());
        EXPECT_EQ("Lm::CommonAppLogic::InstallUtils::Exec", e.Function());
    }
}

TEST(ExecTest, signature_flag_starts_only_programs_signed_by_the_maker)
{
    EXPECT_EQ(0x80004005u, ExecWait(SignedStandIn(L"LarchmeadowCommaInc"), L"", L"/exit=0x80004005", 0, true));
    EXPECT_EQ(3u, ExecWait(SignedStandIn(L"PellorInc"), L"", L"/exit=3", 0, true));
    for (const std::wstring& path : {StandIn(), SignedStandIn(L"LarchmeadowGamesInc")}) {
        Lm::System::CException e = LmTest::CaughtException([&] { ExecWait(path, L"", L"/exit=5", 0, true); });
        EXPECT_EQ(L"File is not signed", e.Message()) << path;
        EXPECT_EQ(172, e.Line());
    }
    // Without the flag the signature does not matter.
    EXPECT_EQ(5u, ExecWait(SignedStandIn(L"LarchmeadowGamesInc"), L"", L"/exit=5", 0, false));
}

TEST(ExecTest, signature_flag_refuses_a_file_that_someone_holds_open_for_writing)
{
    LmTest::ScratchFolder folder(L"lmexec");
    const std::wstring copy = folder / L"signed.exe";
    ASSERT_TRUE(CopyFileW(SignedStandIn(L"LarchmeadowInc").c_str(), copy.c_str(), FALSE));
    HANDLE writer = CreateFileW(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    Lm::System::CException e = LmTest::CaughtException([&] { ExecWait(copy, L"", L"", 0, true); });
    EXPECT_EQ(L"File is not signed", e.Message());
    CloseHandle(writer);
    EXPECT_EQ(4u, ExecWait(copy, L"", L"/exit=4", 0, true));
}


TEST(ExecTest, a_bounded_wait_ends_a_program_that_does_not_finish_and_throws)
{
    LmTest::ScratchFolder log(L"lmexec");
    ASSERT_TRUE(SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", log.Path().c_str()));
    const std::wstring sleeper = LmTest::TestDir() + L"StandIn.exe";
    Lm::System::CException e = LmTest::CaughtException([&] { ExecWait(sleeper, L"", L"/standin-sleep=600000", 0, false, 2000); });
    EXPECT_EQ(L"Process did not end in time: " + sleeper, e.Message());
    EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT), e.LastError());
    EXPECT_EQ(0u, LmTest::RunningProcesses(L"StandIn.exe", GetCurrentProcessId())) << "the program still runs";
    // Within its limit a program's code comes back as without one.
    EXPECT_EQ(6u, ExecWait(sleeper, L"", L"/standin-exit=6", 0, false, 120000));
    SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", nullptr);
}

TEST(ExecTest, a_file_that_is_no_program_fails_to_start)
{
    LmTest::ScratchFolder folder(L"lmexec");
    LmTest::WriteFileUtf8(folder / L"notes.exe", L"not a program");
    Lm::System::CException e = LmTest::CaughtException([&] { ExecWait(folder / L"notes.exe", L"", L"", 0, false); });
    EXPECT_EQ(L"CreateProcessW failed", e.Message());
    EXPECT_EQ(202, e.Line());
}

TEST(ExtractResourceTest, writes_the_resource_bytes_into_a_new_folder_and_replaces_a_file)
{
    LmTest::ScratchFolder folder(L"lmres");
    const std::wstring target = folder / L"deeper\\still\\payload.bin";
    const std::string expected("Extracted payload\x00\x01\xFE\xFF", 21);
    ExtractResourceToFile(101, target);
    EXPECT_EQ(expected, ReadRaw(target));
    LmTest::WriteFileUtf8(target, std::wstring(100, L'z'));
    ExtractResourceToFile(101, target);
    EXPECT_EQ(expected, ReadRaw(target));
}

TEST(ExtractResourceTest, missing_and_empty_resources_throw)
{
    LmTest::ScratchFolder folder(L"lmres");
    struct Case { WORD id; const wchar_t* message; int line; };
    const Case cases[] = {{999, L"FindResourceW failed", 34}, {102, L"SizeofResource failed", 44}};
    for (const auto& c : cases) {
        Lm::System::CException e = LmTest::CaughtException([&] { ExtractResourceToFile(c.id, folder / L"x.bin"); });
        EXPECT_EQ(c.message, e.Message());
        EXPECT_EQ(c.line, e.Line());
        EXPECT_EQ("`anonymous-namespace'::GetDataFromResource", e.Function());
        EXPECT_FALSE(LmTest::FileExists(folder / L"x.bin"));
    }
}

TEST(SplitCommandLineTest, splits_uninstall_command_lines)
{
    struct Case { const wchar_t* text; const wchar_t* program; const wchar_t* arguments; };
    const Case cases[] = {
        {L"\"C:\\Program Files\\X\\Uninstall.exe\" /S", L"C:\\Program Files\\X\\Uninstall.exe", L" /S"},
        {L"\"C:\\a b\\u.exe\"", L"C:\\a b\\u.exe", L""},
        {L"x \"C:\\u.exe\"tail \"more\"", L"C:\\u.exe", L"tail \"more\""},
        {L"\"C:\\u.exe", L"C:\\u.exe", L"<kept>"},
        {L"C:\\u.exe /S", L"C:\\u.exe /S", L"<kept>"},
        {L"", L"", L"<kept>"},
        {L"\"\"", L"", L""},
    };
    for (const auto& c : cases) {
        std::wstring program = L"<old>", arguments = L"<kept>";
        SplitCommandLine(c.text, program, arguments);
        EXPECT_EQ(c.program, program) << c.text;
        EXPECT_EQ(c.arguments, arguments) << c.text;
    }
}

TEST(CompareVersionStringsTest, compares_numbers_part_by_part)
{
    struct Case { const wchar_t* a; const wchar_t* b; int result; };
    const Case cases[] = {
        {L"4.1.1.132", L"4.1.1.99", 1}, {L"4.1.1.99", L"4.1.1.132", -1}, {L"1.2", L"1.2.0", 0},
        {L"1.2.0.0", L"1.2", 0}, {L"1.10", L"1.9", 1}, {L"", L"0", 0}, {L"", L"", 0}, {L"", L"0.0.1", -1},
        {L"1..2", L"1.2", 0}, {L"1.x", L"1.0", 0}, {L"1.2beta", L"1.2", 0}, {L"2", L"10", -1},
        {L"1.-1", L"1.0", -1}, {L".5.", L"5", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, CompareVersionStrings(c.a, c.b)) << c.a << L" vs " << c.b;
}

TEST(CreateGuidStringTest, gives_new_lower_case_guids)
{
    std::set<std::wstring> seen;
    for (int i = 0; i < 20; ++i) {
        std::wstring guid = CreateGuidString();
        ASSERT_EQ(36u, guid.size());
        for (size_t j = 0; j < guid.size(); ++j) {
            if (j == 8 || j == 13 || j == 18 || j == 23)
                EXPECT_EQ(L'-', guid[j]) << guid;
            else
                EXPECT_TRUE(wcschr(L"0123456789abcdef", guid[j]) && guid[j]) << guid;
        }
        seen.insert(guid);
    }
    EXPECT_EQ(20u, seen.size());
}

// Points GetTempPathW at another folder for the life of the object.
class ScopedTemporaryPath {
public:
    explicit ScopedTemporaryPath(const std::wstring& folder)
    {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[MAX_PATH * 2] = {};
            DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
            m_saved.push_back(length ? std::wstring(value, length) : std::wstring());
            SetEnvironmentVariableW(name, folder.c_str());
        }
    }
    ~ScopedTemporaryPath()
    {
        SetEnvironmentVariableW(L"TMP", m_saved[0].empty() ? nullptr : m_saved[0].c_str());
        SetEnvironmentVariableW(L"TEMP", m_saved[1].empty() ? nullptr : m_saved[1].c_str());
    }

private:
    std::vector<std::wstring> m_saved;
};

using LmTest::AccessList;
using LmTest::ReadAccessList;

// Gives a folder another access list for the life of the object, then its own again.
class ScopedAccessList {
public:
    ScopedAccessList(const std::wstring& folder, const std::wstring& sddl) : m_folder(folder)
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        LPWSTR text = nullptr;
        if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                  nullptr, &descriptor) == ERROR_SUCCESS &&
            ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                 &text, nullptr))
            m_saved = text;
        LocalFree(text);
        LocalFree(descriptor);
        m_set = !m_saved.empty() && LmTest::SetAccessList(folder, sddl.c_str());
    }
    ~ScopedAccessList()
    {
        if (m_set)
            LmTest::SetAccessList(m_folder, m_saved.c_str());
    }
    bool IsSet() const { return m_set; }

private:
    std::wstring m_folder, m_saved;
    bool m_set = false;
};

TEST(SecureTemporaryFolderTest, makes_a_new_folder_with_the_access_list_of_program_files)
{
    const std::wstring programFiles = Lm::System::Win32::GetKnownFolderPath(FOLDERID_ProgramFilesX86);
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const bool keepsFlag = LmTest::KeepsProtectedAccessLists(std::wstring(temp, wcslen(temp) - 1));
    // Where the file system makes every list up from the file mode (Wine), Program Files and a
    // folder made with what the temporary folder passes on get the same list: for the length of
    // the test Program Files lets nobody but SYSTEM and this user in, which a folder made
    // without that list would not show. On NTFS the two lists differ anyway.
    std::unique_ptr<ScopedAccessList> narrowed;
    if (!keepsFlag) {
        narrowed.reset(new ScopedAccessList(programFiles, L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + LmTest::OwnUserSid() + L")"));
        ASSERT_TRUE(narrowed->IsSet());
    }
    LmTest::ScratchFolder plain(L"lmplain");
    const AccessList inherited = ReadAccessList(plain.Path());
    std::wstring path;
    {
        CSecureTemporaryFolder folder(L"lmtest");
        path = folder.GetPath();
        ASSERT_EQ(std::wstring(temp) + L"lmtest-", path.substr(0, wcslen(temp) + 7));
        EXPECT_EQ(36u, path.size() - wcslen(temp) - 7);
        EXPECT_TRUE(LmTest::DirectoryExists(path));
        AccessList expected = ReadAccessList(programFiles);
        ASSERT_TRUE(expected.read && !expected.entries.empty());
        ASSERT_NE(LmTest::OwnEntries(expected), inherited.entries) << "nothing tells the two lists apart";
        AccessList actual = ReadAccessList(path);
        ASSERT_TRUE(actual.read);
        EXPECT_EQ(LmTest::OwnEntries(expected), actual.entries);
        if (keepsFlag) {
            EXPECT_TRUE(actual.protectedList);
        }

        CSecureTemporaryFolder other(L"lmtest");
        EXPECT_NE(path, other.GetPath());
    }
    EXPECT_FALSE(LmTest::DirectoryExists(path));
}

TEST(SecureTemporaryFolderTest, while_it_lives_nobody_can_rename_or_remove_it_and_programs_still_run_in_it)
{
    LmTest::ScratchFolder scratch(L"lmheld");
    std::wstring path;
    {
        CSecureTemporaryFolder folder(L"lmtest");
        path = folder.GetPath();
        // The ways a user may take a child of the temporary folder away, to put another there.
        EXPECT_FALSE(MoveFileW(path.c_str(), (path + L"-moved").c_str()));
        EXPECT_FALSE(MoveFileW(path.c_str(), (scratch / L"moved").c_str()));
        EXPECT_FALSE(MoveFileExW(path.c_str(), (scratch / L"moved").c_str(), MOVEFILE_COPY_ALLOWED));
        EXPECT_FALSE(RemoveDirectoryW(path.c_str()));
        EXPECT_TRUE(LmTest::DirectoryExists(path));
        EXPECT_FALSE(LmTest::DirectoryExists(scratch / L"moved"));

        // What the folder is for still works: a program in it runs there, and it can be listed.
        const std::wstring program = path + L"\\ExecStandIn.exe";
        ASSERT_TRUE(CopyFileW(StandIn().c_str(), program.c_str(), FALSE));
        const std::wstring record = scratch / L"record.txt";
        EXPECT_EQ(3u, ExecWait(program, path, L"/record=\"" + record + L"\" /exit=3", 0, false));
        EXPECT_EQ(0, _wcsicmp(path.c_str(), ReadRecord(record).folder.c_str())) << ReadRecord(record).folder;
        EXPECT_EQ(std::vector<std::wstring>{L"ExecStandIn.exe"}, LmTest::FolderEntries(path));
    }
    EXPECT_FALSE(LmTest::DirectoryExists(path));
}

TEST(SecureTemporaryFolderTest, keeps_what_the_temporary_folder_passes_on_out_of_its_access_list)
{
    // A temporary folder that gives everyone full control of whatever is made in it, as a user's
    // own temporary folder gives that user; and a source whose list holds an entry of its own
    // and one it inherited, neither of them for everyone.
    LmTest::ScratchFolder temporary(L"lmtmp");
    ASSERT_TRUE(LmTest::SetAccessList(temporary.Path(), L"D:P(A;OICI;FA;;;WD)(A;OICI;FA;;;SY)"));
    LmTest::ScratchFolder source(L"lmsrc");
    ASSERT_TRUE(LmTest::SetAccessList(source.Path(), L"D:P(A;OICI;FA;;;BA)(A;OICIID;0x1200a9;;;BU)"));
    const AccessList sourceList = ReadAccessList(source.Path());
    ASSERT_TRUE(sourceList.read);
    ASSERT_FALSE(LmTest::HasEntryFor(sourceList, L"S-1-1-0"));
    // Wine keeps no list but the one it makes up from the file mode, and no protected flag: there
    // the test shows that nothing of everyone's reaches the folder; on NTFS it shows the flag and
    // that the folder holds the source's entries, as its own, and nothing else.
    const bool keepsFlag = LmTest::KeepsProtectedAccessLists(temporary.Path());

    std::wstring path;
    AccessList made;
    {
        ScopedTemporaryPath redirected(temporary.Path());
        CSecureTemporaryFolder folder(L"lmtest", source.Path());
        path = folder.GetPath();
        ASSERT_EQ(temporary.Path() + L"\\lmtest-", path.substr(0, temporary.Path().size() + 8));
        made = ReadAccessList(path);
    }
    EXPECT_FALSE(LmTest::DirectoryExists(path));
    ASSERT_TRUE(made.read);
    ASSERT_TRUE(made.present);
    EXPECT_FALSE(LmTest::HasEntryFor(made, L"S-1-1-0")) << "an entry for everyone came in";
    EXPECT_EQ(LmTest::OwnEntries(sourceList), made.entries);
    if (keepsFlag) {
        EXPECT_TRUE(made.protectedList);
    } else {
        std::printf("note: this file system keeps no protected flag; checked the entries only\n");
    }
}

TEST(SecureTemporaryFolderTest, going_away_deletes_the_folder_and_all_it_holds)
{
    std::wstring path;
    {
        Lm::System::CRefPtr<CSecureTemporaryFolder> folder(new CSecureTemporaryFolder(L"lmtest"));
        path = folder->GetPath();
        CreateDirectoryW((path + L"\\sub").c_str(), nullptr);
        LmTest::WriteFileUtf8(path + L"\\sub\\file.txt", L"x");
        LmTest::WriteFileUtf8(path + L"\\readonly.txt", L"x");
        SetFileAttributesW((path + L"\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    EXPECT_FALSE(LmTest::DirectoryExists(path));
}

// Whether a folder named <temporary folder><prefix>-* exists.
bool AnyFolderMadeWith(const std::wstring& prefix)
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((std::wstring(temp) + prefix + L"-*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

TEST(SecureTemporaryFolderTest, refuses_to_make_a_folder_without_an_access_list)
{
    // No list at all lets everyone do everything: nothing is made with none.
    const std::wstring prefix = LmTest::UniqueName(L"lmnull");
    Lm::System::CException e =
        LmTest::CaughtException([&] { CSecureTemporaryFolder folder(prefix, static_cast<const ACL*>(nullptr)); });
    EXPECT_EQ(L"AtlGetDacl failed", e.Message());
    EXPECT_EQ(254, e.Line());
    EXPECT_FALSE(AnyFolderMadeWith(prefix));

    // The same from a folder whose descriptor holds no list, where the file system keeps one
    // (Wine makes every list up from the file mode).
    LmTest::ScratchFolder open(L"lmnulldacl");
    SECURITY_DESCRIPTOR nullDacl;
    ASSERT_TRUE(InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&nullDacl, TRUE, nullptr, FALSE));
    ASSERT_TRUE(SetFileSecurityW(open.Path().c_str(), DACL_SECURITY_INFORMATION, &nullDacl));
    const AccessList openList = ReadAccessList(open.Path());
    ASSERT_TRUE(openList.read);
    if (openList.present) {
        std::printf("note: this file system keeps no NULL DACL on a folder; checked the list itself only\n");
        return;
    }
    Lm::System::CException fromFolder =
        LmTest::CaughtException([&] { CSecureTemporaryFolder folder(prefix, open.Path()); });
    EXPECT_EQ(L"AtlGetDacl failed", fromFolder.Message());
    EXPECT_EQ(254, fromFolder.Line());
    EXPECT_FALSE(AnyFolderMadeWith(prefix));
}

TEST(SecureTemporaryFolderTest, a_missing_access_list_source_throws)
{
    LmTest::ScratchFolder folder(L"lmsrc");
    Lm::System::CException e = LmTest::CaughtException([&] { CSecureTemporaryFolder f(L"lmtest", folder / L"missing"); });
    EXPECT_EQ(L"AtlGetDacl failed", e.Message());
}

TEST(SecureTemporaryFolderTest, ten_failed_creations_run_out_of_tries)
{
    // A prefix below a folder that does not exist makes every creation fail.
    Lm::System::CException e = LmTest::CaughtException([] { CSecureTemporaryFolder folder(L"no-such-folder-lm\\x"); });
    EXPECT_EQ(L"Ran out of tries", e.Message());
    EXPECT_EQ(273, e.Line());
    EXPECT_EQ("Lm::CommonAppLogic::InstallUtils::CSecureTemporaryFolder::CSecureTemporaryFolder", e.Function());
}

} // namespace
} // namespace InstallUtils
} // namespace CommonAppLogic
} // namespace Lm
