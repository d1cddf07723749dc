#include <gtest/gtest.h>

#include "tests/wine/ui_fixture.h"
// What closing the main frame leaves in the registry profile. The registry is changed behind
// the running program's back, so that only what the close writes can put a value back.

namespace {

constexpr int kOptionsPreTest = 1060;

using ProfileOnClose = uitest::UiCase;

// Shows the options page and returns its pre-test check box.
HWND pre_test_box(HWND frame) {
    HWND sheet = driver::find_sheet(frame);
    HWND page = sheet != nullptr ? driver::select_page(sheet, 2, kOptionsPreTest) : nullptr;
    return page != nullptr ? GetDlgItem(page, kOptionsPreTest) : nullptr;
}

// Closes the frame and waits for the program's end; its exit code.
std::optional<DWORD> close_and_wait(const driver::Process& process, HWND frame) {
    driver::close_window(frame);
    return process.wait_exit(driver::kStepTimeoutMs);
}

TEST_F(ProfileOnClose, CheckedPreTestIsStoredAndAnEmptyAccountLeavesTheOldOne) {
    std::optional<driver::Installation> inst = uitest::prepare(L"close-checked");
    ASSERT_TRUE(inst.has_value());
    std::optional<driver::Process> kalvit = uitest::start(*inst);
    ASSERT_TRUE(kalvit.has_value());
    HWND frame = driver::wait_for_frame(*kalvit);
    ASSERT_NE(frame, nullptr);

    HWND box = pre_test_box(frame);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(driver::check_state(box), BST_UNCHECKED) << "the profile's pre_test_flag is 0";
    ASSERT_TRUE(driver::click_button(box));
    ASSERT_EQ(driver::check_state(box), BST_CHECKED);

    // The program started without an account; one appears in the registry meanwhile.
    ASSERT_TRUE(driver::delete_profile_value(L"install_dir"));
    ASSERT_TRUE(driver::set_profile_string(L"up_mail", L"older@example.cn"));
    ASSERT_TRUE(driver::set_profile_string(L"up_pass", L"older-secret"));

    std::optional<DWORD> code = close_and_wait(*kalvit, frame);
    ASSERT_TRUE(code.has_value()) << "kalvit.exe still runs after WM_CLOSE";
    EXPECT_EQ(*code, 0u);
    EXPECT_EQ(driver::profile_dword(L"pre_test_flag"), std::optional<DWORD>(1));
    EXPECT_EQ(driver::profile_string(L"install_dir"), std::optional<std::wstring>(inst->dir));
    EXPECT_EQ(driver::profile_string(L"up_mail"), std::optional<std::wstring>(L"older@example.cn"));
    EXPECT_EQ(driver::profile_string(L"up_pass"), std::optional<std::wstring>(L"older-secret"));
}

TEST_F(ProfileOnClose, UncheckedPreTestStoresZeroAndTheAccountIsWrittenBack) {
    std::optional<driver::Installation> inst = uitest::prepare(L"close-unchecked");
    ASSERT_TRUE(inst.has_value());
    ASSERT_TRUE(driver::set_profile_string(L"up_mail", L"user@example.cn"));
    ASSERT_TRUE(driver::set_profile_string(L"up_pass", L"secret"));
    std::optional<driver::Process> kalvit = uitest::start(*inst);
    ASSERT_TRUE(kalvit.has_value());
    HWND frame = driver::wait_for_frame(*kalvit);
    ASSERT_NE(frame, nullptr);

    HWND box = pre_test_box(frame);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(driver::click_button(box));
    ASSERT_EQ(driver::check_state(box), BST_CHECKED);
    ASSERT_TRUE(driver::click_button(box));
    ASSERT_EQ(driver::check_state(box), BST_UNCHECKED);

    ASSERT_TRUE(driver::set_profile_dword(L"pre_test_flag", 1));
    ASSERT_TRUE(driver::set_profile_string(L"up_mail", L"other@example.cn"));
    ASSERT_TRUE(driver::set_profile_string(L"up_pass", L"other"));

    std::optional<DWORD> code = close_and_wait(*kalvit, frame);
    ASSERT_TRUE(code.has_value()) << "kalvit.exe still runs after WM_CLOSE";
    EXPECT_EQ(*code, 0u);
    EXPECT_EQ(driver::profile_dword(L"pre_test_flag"), std::optional<DWORD>(0));
    EXPECT_EQ(driver::profile_string(L"install_dir"), std::optional<std::wstring>(inst->dir));
    EXPECT_EQ(driver::profile_string(L"up_mail"), std::optional<std::wstring>(L"user@example.cn"));
    EXPECT_EQ(driver::profile_string(L"up_pass"), std::optional<std::wstring>(L"secret"));
}

} // namespace
