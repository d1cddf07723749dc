#include <gtest/gtest.h>

#include "tests/wine/ui_fixture.h"
#include "ui/gbk.h"
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

TEST_F(StartUp, HelpRecordsTheProgramFolderAndShowsNoWindow) {
    std::optional<driver::Installation> inst = uitest::prepare(L"帮助");
    ASSERT_TRUE(inst.has_value());
    ASSERT_TRUE(driver::set_profile_string(L"install_dir", L"c:\\kalvit-ui\\elsewhere"));
    std::optional<driver::Process> kalvit = uitest::start(*inst, L"help");
    ASSERT_TRUE(kalvit.has_value());

    driver::ExitWatch watch = driver::watch_until_exit(*kalvit, driver::kStartTimeoutMs);
    ASSERT_TRUE(watch.exit_code.has_value())
        << "still running:" << to_gbk(driver::describe(watch.windows));
    EXPECT_TRUE(watch.windows.empty())
        << "windows shown:" << to_gbk(driver::describe(watch.windows));
    EXPECT_EQ(driver::profile_string(L"install_dir"), std::optional<std::wstring>(inst->dir));
}

} // namespace
