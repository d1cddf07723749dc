#include <gtest/gtest.h>

#include "tests/wine/ui_fixture.h"
// What closing the main frame leaves in the registry profile. The registry is changed behind
// the running program's back, so that only what the close writes can put a value back.

namespace {

constexpr int kOptionsPreTest = 1060;

using ProfileOnClose = uitest::UiCase;

// A started program showing its options page.
struct Started {
    std::optional<driver::Process> process;
    HWND frame = nullptr;
    HWND pre_test = nullptr; // check box 1060
};

Started start_on_options_page(const driver::Installation& inst) {
    Started started;
    started.process = uitest::start(inst);
    if (!started.process)
        return started;
    started.frame = uitest::wait_for_frame(*started.process);
    HWND sheet = started.frame != nullptr ? driver::find_sheet(started.frame) : nullptr;
    HWND page = sheet != nullptr ? driver::select_page(sheet, 2, kOptionsPreTest) : nullptr;
    started.pre_test = page != nullptr ? GetDlgItem(page, kOptionsPreTest) : nullptr;
    EXPECT_NE(started.pre_test, nullptr) << "no options page with the pre-test box";
    return started;
}

struct Profile {
    DWORD pre_test_flag;
    std::wstring install_dir;
    std::wstring up_mail;
    std::wstring up_pass;
};

// Closes the frame, waits for the program's end and compares the profile it leaves.
void expect_profile_after_close(const Started& started, const Profile& expected) {
    driver::close_window(started.frame);
    std::optional<DWORD> code = started.process->wait_exit(driver::kStepTimeoutMs);
    ASSERT_TRUE(code.has_value()) << "kalvit.exe still runs after WM_CLOSE";
    EXPECT_EQ(*code, 0u);
    EXPECT_EQ(driver::profile_dword(L"pre_test_flag"), expected.pre_test_flag);
    EXPECT_EQ(driver::profile_string(L"install_dir"), expected.install_dir);
    EXPECT_EQ(driver::profile_string(L"up_mail"), expected.up_mail);
    EXPECT_EQ(driver::profile_string(L"up_pass"), expected.up_pass);
}

TEST_F(ProfileOnClose, CheckedPreTestIsStoredAndAnEmptyAccountLeavesTheOldOne) {
    std::optional<driver::Installation> inst = uitest::prepare(L"close-checked");
    ASSERT_TRUE(inst.has_value());
    Started kalvit = start_on_options_page(*inst);
    ASSERT_NE(kalvit.pre_test, nullptr);
    EXPECT_EQ(driver::check_state(kalvit.pre_test), BST_UNCHECKED)
        << "the profile's pre_test_flag is 0";
    ASSERT_TRUE(driver::click_button(kalvit.pre_test));
    ASSERT_EQ(driver::check_state(kalvit.pre_test), BST_CHECKED);

    // The program started without an account; one appears in the registry meanwhile.
    ASSERT_TRUE(driver::delete_profile_value(L"install_dir"));
    ASSERT_TRUE(driver::set_profile_string(L"up_mail", L"older@example.cn"));
    ASSERT_TRUE(driver::set_profile_string(L"up_pass", L"older-secret"));

    expect_profile_after_close(kalvit, {1, inst->dir, L"older@example.cn", L"older-secret"});
}

TEST_F(ProfileOnClose, UncheckedPreTestStoresZeroAndTheAccountIsWrittenBack) {
    std::optional<driver::Installation> inst = uitest::prepare(L"close-unchecked");
    ASSERT_TRUE(inst.has_value());
    ASSERT_TRUE(driver::set_profile_string(L"up_mail", L"user@example.cn"));
    ASSERT_TRUE(driver::set_profile_string(L"up_pass", L"secret"));
    Started kalvit = start_on_options_page(*inst);
    ASSERT_NE(kalvit.pre_test, nullptr);
    ASSERT_TRUE(driver::click_button(kalvit.pre_test));
    ASSERT_EQ(driver::check_state(kalvit.pre_test), BST_CHECKED);
    ASSERT_TRUE(driver::click_button(kalvit.pre_test));
    ASSERT_EQ(driver::check_state(kalvit.pre_test), BST_UNCHECKED);

    ASSERT_TRUE(driver::set_profile_dword(L"pre_test_flag", 1));
    ASSERT_TRUE(driver::set_profile_string(L"up_mail", L"other@example.cn"));
    ASSERT_TRUE(driver::set_profile_string(L"up_pass", L"other"));

    expect_profile_after_close(kalvit, {0, inst->dir, L"user@example.cn", L"secret"});
}

} // namespace
