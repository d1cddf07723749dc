#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>

#include "tests/wine/ui_fixture.h"
#include "ui/gbk.h"

#include <shlwapi.h>
// Start-up with a damaged installation, and the installation call "help".

namespace {

using StartUp = uitest::UiCase;

// A folder name outside ASCII: the path travels through the registry, the program's GBK texts
// and the message box.
TEST_F(StartUp, MissingConfigurationFileIsReportedWithItsPathAndEndsWithCode1) {
    std::optional<driver::Installation> inst = uitest::prepare(L"缺少配置文件");
    ASSERT_TRUE(inst.has_value());
    ASSERT_TRUE(DeleteFileW(inst->config().c_str()));
    std::optional<driver::Process> kalvit = uitest::start(*inst);
    ASSERT_TRUE(kalvit.has_value());

    std::optional<driver::MessageBoxInfo> box =
        driver::wait_for_message_box(kalvit->id(), driver::kStartTimeoutMs);
    ASSERT_TRUE(box.has_value()) << "no message box";
    EXPECT_EQ(to_gbk(box->caption), "kalvit");
    EXPECT_EQ(to_gbk(box->text), "无法打开文件\"" + to_gbk(inst->config()) + "\"!");
    EXPECT_TRUE(kalvit->running()) << "the program must wait for the user";
    ASSERT_TRUE(driver::press_ok(box->box));

    driver::ExitWatch watch = driver::watch_until_exit(*kalvit, driver::kStepTimeoutMs);
    ASSERT_TRUE(watch.exit_code.has_value()) << "still running after the message";
    EXPECT_EQ(*watch.exit_code, 1u);
    for (const auto& seen : watch.windows)
        EXPECT_NE(seen.window_class, L"CMainFrame") << "the main frame was shown";
}

TEST_F(StartUp, ConfigurationWithoutIdentificationLineEndsWithCode1AndNoMessage) {
    std::optional<driver::Installation> inst = uitest::prepare(L"no-identification");
    ASSERT_TRUE(inst.has_value());
    std::optional<std::string> config = driver::read_file(inst->config());
    ASSERT_TRUE(config.has_value());
    const std::string id_line = "[KALVIT ETC CONFIG FILE]";
    const size_t at = config->find(id_line);
    ASSERT_NE(at, std::string::npos);
    config->erase(at, id_line.size());
    ASSERT_TRUE(driver::write_file(inst->config(), *config));

    std::optional<driver::Process> kalvit = uitest::start(*inst);
    ASSERT_TRUE(kalvit.has_value());
    driver::ExitWatch watch = driver::watch_until_exit(*kalvit, driver::kStartTimeoutMs);
    ASSERT_TRUE(watch.exit_code.has_value())
        << "still running:" << to_gbk(driver::describe(watch.windows));
    EXPECT_EQ(*watch.exit_code, 1u);
    for (const auto& seen : watch.windows) {
        EXPECT_NE(seen.window_class, L"CMainFrame") << "the main frame was shown";
        EXPECT_NE(to_gbk(seen.text), "kalvit") << "a message box was shown";
    }
    EXPECT_TRUE(
        driver::has_line(driver::read_log_lines(inst->log()), "*****Error:\tCan't find etc.inf"));
}

TEST_F(StartUp, MissingBackgroundPictureIsLoggedAndTheProgramRuns) {
    std::optional<driver::Installation> inst = uitest::prepare(L"no-background");
    ASSERT_TRUE(inst.has_value());
    const std::wstring picture = inst->pdata(L"dlgback.bmp");
    ASSERT_TRUE(DeleteFileW(picture.c_str()));
    std::optional<driver::Process> kalvit = uitest::start(*inst);
    ASSERT_TRUE(kalvit.has_value());

    HWND frame = uitest::wait_for_frame(*kalvit);
    ASSERT_NE(frame, nullptr);
    EXPECT_FALSE(driver::find_message_box(kalvit->id()).has_value());
    HWND sheet = driver::find_sheet(frame);
    ASSERT_NE(sheet, nullptr);
    EXPECT_NE(driver::select_page(sheet, 1, 1031), nullptr);
    EXPECT_TRUE(driver::has_line(driver::read_log_lines(inst->log()),
                                 "MainFrm: Can't LoadImage: " + to_gbk(picture)));

    driver::close_window(frame);
    EXPECT_EQ(kalvit->wait_exit(driver::kStepTimeoutMs), std::optional<DWORD>(0));
}

// Points the prefix's ".chm" association at a command that writes the opened file's path into
// a file of the test's own, and puts Wine's own association back when it goes.
class ChmOpenRecorder {
public:
    static constexpr wchar_t kRecord[] = L"c:\\kalvit-ui\\shell-open.txt";

    ChmOpenRecorder() {
        DeleteFileW(kRecord);
        const std::wstring command =
            L"C:\\windows\\system32\\cmd.exe /c echo %1>" + std::wstring(kRecord);
        ok_ = write_default(L"Software\\Classes\\kalvit.test.chm\\shell\\open\\command",
                            command) &&
              write_default(L"Software\\Classes\\.chm", L"kalvit.test.chm");
    }
    ~ChmOpenRecorder() {
        write_default(L"Software\\Classes\\.chm", L"chm.file");
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\kalvit.test.chm");
        DeleteFileW(kRecord);
    }
    bool ok() const { return ok_; }

    // The path the shell opened, once the command has written it.
    std::string opened() const {
        std::string text;
        driver::wait_until(
            [&] {
                std::optional<std::string> got = driver::read_file(kRecord);
                text = got.value_or("");
                return text.find('\n') != std::string::npos;
            },
            driver::kStepTimeoutMs);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        return text;
    }

private:
    static bool write_default(const wchar_t* key, const std::wstring& value) {
        return SHSetValueW(HKEY_LOCAL_MACHINE, key, nullptr, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }
    bool ok_ = false;
};

// The installation call in its three spellings, from folders whose GBK names end in the byte
// 5C (a backslash), once from an executable whose own name has such a character: it records
// the program's folder, marks it as a system folder, opens the help file and shows no window.
TEST_F(StartUp, InstallationCallRecordsTheProgramFolderOpensHelpAndShowsNoWindow) {
    ChmOpenRecorder recorder;
    ASSERT_TRUE(recorder.ok());
    struct Call {
        const wchar_t* args;
        const wchar_t* folder;
        const wchar_t* exe_name;
    };
    for (Call call : {Call{L"help", L"乗", L"kalvit.exe"}, Call{L"\"help\"", L"淺", L"淺kalvit.exe"},
                      Call{L"helpXYZ", L"琝", L"kalvit.exe"}}) {
        SCOPED_TRACE(to_gbk(call.args));
        std::optional<driver::Installation> inst = uitest::prepare(call.folder);
        ASSERT_TRUE(inst.has_value());
        const std::wstring exe = driver::join_path(inst->dir, call.exe_name);
        if (exe != inst->exe()) {
            ASSERT_TRUE(driver::copy_file(inst->exe(), exe));
        }
        ASSERT_TRUE(driver::write_file(driver::join_path(inst->dir, L"kalvit.chm"), "ITSF"));
        ASSERT_TRUE(driver::set_profile_string(L"install_dir", L"c:\\kalvit-ui\\elsewhere"));
        DeleteFileW(ChmOpenRecorder::kRecord);

        std::optional<driver::Process> kalvit =
            driver::Process::start(exe, call.args, inst->dir, inst->log());
        ASSERT_TRUE(kalvit.has_value());
        driver::ExitWatch watch = driver::watch_until_exit(*kalvit, driver::kStartTimeoutMs);
        ASSERT_TRUE(watch.exit_code.has_value())
            << "still running:" << to_gbk(driver::describe(watch.windows));
        EXPECT_EQ(*watch.exit_code, 0u);
        EXPECT_TRUE(watch.windows.empty())
            << "windows shown:" << to_gbk(driver::describe(watch.windows));
        EXPECT_EQ(driver::profile_string(L"install_dir"), std::optional<std::wstring>(inst->dir));
        const DWORD attributes = GetFileAttributesW(inst->dir.c_str());
        EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_SYSTEM) << "not marked as a system folder";

        // The help file of the current directory, opened with the shell's "open".
        std::string opened = recorder.opened();
        for (char& c : opened)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(opened.rfind("c:\\kalvit-ui\\", 0), 0u) << opened;
        EXPECT_TRUE(opened.ends_with("\\kalvit.chm")) << opened;
    }
}

} // namespace
