#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cwctype>
#include <optional>
#include <string>

#include "tests/wine/chm_open_recorder.h"
#include "tests/wine/driver.h"
#include "ui/gbk.h"
// The installer, silently, as an administrator's script would run it: it installs the program
// of the system's width with every delivered file, records the folder without opening the help,
// the shortcuts start the program in that folder, and the uninstaller takes it all away again but
// the stored machines.

namespace {

constexpr wchar_t kFolder[] = L"C:\\kalvit-setup-test";
constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\kalvit";

std::wstring lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring special_folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK ? path
                                                                                        : L"";
}

// Runs a program with the arguments and waits for it to end; its exit code.
std::optional<DWORD> run_and_wait(const std::wstring& exe, const std::wstring& args) {
    std::optional<driver::Process> process = driver::Process::start(exe, args, L"", L"");
    return process ? process->wait_exit(10 * 60000) : std::nullopt;
}

struct Shortcut {
    std::wstring target;
    std::wstring workdir;
};
std::optional<Shortcut> read_shortcut(const std::wstring& path) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return std::nullopt;
    std::optional<Shortcut> read;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t target[MAX_PATH] = {}, workdir[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0)) &&
            SUCCEEDED(link->GetWorkingDirectory(workdir, MAX_PATH)))
            read = Shortcut{target, workdir};
        file->Release();
    }
    link->Release();
    return read;
}

// The machine a program file is built for, from its PE header.
WORD machine_of(const std::wstring& exe) {
    std::optional<std::string> bytes = driver::read_file(exe);
    if (!bytes || bytes->size() < 0x40)
        return 0;
    const DWORD pe = *reinterpret_cast<const DWORD*>(bytes->data() + 0x3C);
    if (pe + 6 > bytes->size() || bytes->compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return 0;
    return *reinterpret_cast<const WORD*>(bytes->data() + pe + 4);
}

bool system_is_64bit() {
    if (sizeof(void*) == 8)
        return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
    driver::ProfileGuard profile_;
};

TEST_F(Installer, SilentInstallationRunsFromItsShortcutAndUninstallsAgain) {
    ChmOpenRecorder recorder;
    ASSERT_TRUE(recorder.ok());
    ASSERT_TRUE(driver::make_fresh_dir(kFolder));
    ASSERT_TRUE(RemoveDirectoryW(kFolder));
    // KALVIT_SETUP_EXE names another build of the installer: its 64-bit one, where Wine runs no
    // 32-bit programs.
    const char* other = std::getenv("KALVIT_SETUP_EXE");
    const std::wstring setup = driver::from_unix_path(other != nullptr ? other : KALVIT_SETUP);
    ASSERT_TRUE(driver::file_exists(setup)) << "no installer; tools/package.sh makes it";

    // /D is the installer's last argument, unquoted.
    ASSERT_EQ(run_and_wait(setup, L"/S /D=" + std::wstring(kFolder)), std::optional<DWORD>(0));
    for (const wchar_t* name :
         {L"kalvit.exe", L"kalvtetc.inf", L"kalvit.dat", L"kalvitif.dat", L"dderr.txt",
          L"kalvit.chm", L"pdata\\dlgback.bmp", L"pdata\\pnlogog.bmp", L"pdata\\pnlogo0.bmp",
          L"pdata\\pnlogo1.bmp", L"pdata\\pnlogo2.bmp", L"pdata\\pnlogo3.bmp", L"uninstall.exe"})
        EXPECT_TRUE(driver::file_exists(driver::join_path(kFolder, name))) << to_gbk(name);
    const std::wstring exe = driver::join_path(kFolder, L"kalvit.exe");
    EXPECT_EQ(machine_of(exe),
              system_is_64bit() ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);

    // The installation's last step: the folder in the profile and marked as a system folder.
    // Silently, no help is opened (checked at the end, long after the installer has ended).
    EXPECT_EQ(driver::profile_string(L"install_dir"), std::optional<std::wstring>(kFolder));
    const DWORD attributes = GetFileAttributesW(kFolder);
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_SYSTEM));

    // Both shortcuts start the program in its folder; it starts from there with its records.
    const std::wstring menu_link = special_folder(CSIDL_PROGRAMS) + L"\\Tavoli测试\\kalvit.lnk";
    const std::wstring desktop_link = special_folder(CSIDL_DESKTOPDIRECTORY) + L"\\Tavoli测试.lnk";
    std::optional<Shortcut> shortcut;
    for (const std::wstring& link : {menu_link, desktop_link}) {
        shortcut = read_shortcut(link);
        ASSERT_TRUE(shortcut.has_value()) << to_gbk(link);
        EXPECT_EQ(lower(shortcut->target), lower(exe)) << to_gbk(link);
        EXPECT_EQ(lower(shortcut->workdir), lower(kFolder)) << to_gbk(link);
    }
    {
        std::optional<driver::Process> kalvit = driver::Process::start(
            shortcut->target, L"", shortcut->workdir, std::wstring(kFolder) + L"\\kalvit.log");
        ASSERT_TRUE(kalvit.has_value());
        HWND frame = driver::wait_for_frame(*kalvit);
        ASSERT_NE(frame, nullptr) << to_gbk(driver::describe_state(*kalvit));
        EXPECT_FALSE(driver::find_message_box(kalvit->id()).has_value())
            << to_gbk(driver::describe_state(*kalvit));
        driver::close_window(frame);
        EXPECT_EQ(kalvit->wait_exit(driver::kStepTimeoutMs), std::optional<DWORD>(0));
    }

    // The uninstaller runs from a copy of itself and returns at once; the folder empties after.
    wchar_t uninstall[MAX_PATH] = {};
    DWORD size = sizeof uninstall;
    ASSERT_EQ(SHGetValueW(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation", nullptr,
                          uninstall, &size),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(lower(uninstall), lower(kFolder));
    ASSERT_EQ(run_and_wait(driver::join_path(kFolder, L"uninstall.exe"), L"/S"),
              std::optional<DWORD>(0));
    // Its last steps take the uninstallation entry and the profile away (the profile holds the
    // upload account's password).
    EXPECT_TRUE(driver::wait_until(
        [&] {
            return SHGetValueW(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation", nullptr,
                               nullptr, nullptr) != ERROR_SUCCESS &&
                   !driver::profile_string(L"install_dir").has_value();
        },
        30000))
        << "the uninstallation entry or the profile stays";
    for (const wchar_t* name : {L"kalvit.exe", L"kalvtetc.inf", L"dderr.txt", L"kalvit.chm",
                                L"kalvit.log", L"pdata"})
        EXPECT_FALSE(driver::file_exists(driver::join_path(kFolder, name))) << to_gbk(name);
    // A silent uninstallation keeps the stored machines.
    EXPECT_TRUE(driver::file_exists(driver::join_path(kFolder, L"kalvit.dat")));
    EXPECT_TRUE(driver::file_exists(driver::join_path(kFolder, L"kalvitif.dat")));
    EXPECT_FALSE(driver::file_exists(menu_link));
    EXPECT_FALSE(driver::file_exists(desktop_link));
    EXPECT_FALSE(driver::file_exists(driver::join_path(kFolder, L"uninstall.exe")));
    EXPECT_FALSE(driver::file_exists(ChmOpenRecorder::kRecord))
        << "a silent installation opened " << recorder.opened();
    DeleteFileW(driver::join_path(kFolder, L"kalvit.dat").c_str());
    DeleteFileW(driver::join_path(kFolder, L"kalvitif.dat").c_str());
    SetFileAttributesW(kFolder, FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(kFolder);
}

} // namespace
