#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <optional>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "tests/wine/program_run.h"
#include "tests/wine/switch_refusal.h"
#include "tests/wine/ui_fixture.h"
#include "ui/gbk.h"
#include "ui/text.h"
// Text the user may enter in the program's edit fields: far too long, empty, at the byte limits
// and outside GBK. One start serves the suite, after one standard run that gives the results the
// store and the upload need; the run's figures go into no check here.

namespace {

constexpr int kStartButton = 32771, kAnalysisButton = 1040, kUploadButton = 1042;
constexpr int kStore = 1031, kMachine1 = 1037;
constexpr int kMail = 1085, kPassword = 1086, kRepeat = 1087;
constexpr char kBaseName[] = "基本系统: 联想奔月4000 PIII650E";
constexpr char kNoName[] = "机器名不能叫做'当前系统'\n请重新输入有效的机器名！";

struct Program {
    driver::ProfileGuard profile;
    std::optional<driver::Installation> inst;
    std::optional<driver::Process> process;
    std::optional<SwitchRefusalAnswerer> answerer;
    HWND sheet = nullptr;
    std::wstring mail_before, pass_before;
    std::vector<std::string> stored; // the names the store cases added, in order
};

std::string repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}
std::wstring wrepeat(const std::wstring& piece, int times) {
    std::wstring out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

HWND top_window(DWORD pid, const wchar_t* title) {
    for (HWND w : driver::top_windows(pid, true))
        if (driver::window_text(w) == title)
            return w;
    return nullptr;
}

class InputFields : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        p_ = std::make_unique<Program>();
        p_->inst = uitest::prepare(L"input-fields");
        if (!p_->inst)
            return;
        // A stored machine of our own besides the base system; no upload account yet, a
        // password of an earlier account kept.
        const std::string records =
            std::string("<") + kBaseName +
            "\r\n 35.70  3.39 253.49 339.74 16.82 00000000 1024 768 16\r\n"
            "<甲机\r\n 12.50  2.25 100.00 200.00  8.75 00000000 800 600 32\r\n";
        if (!driver::write_file(records_path(), records) ||
            !driver::write_file(texts_path(), std::string("基本系统\n") + '\0' + "甲机\n" + '\0') ||
            !driver::set_profile_string(L"up_mail", L"") ||
            !driver::set_profile_string(L"up_pass", L"keep9"))
            return;
        p_->mail_before = driver::profile_string(L"up_mail").value_or(L"<none>");
        p_->pass_before = driver::profile_string(L"up_pass").value_or(L"<none>");
        p_->process = uitest::start(*p_->inst);
        if (!p_->process)
            return;
        p_->answerer.emplace(p_->process->id());
        HWND frame = uitest::wait_for_frame(*p_->process);
        if (frame == nullptr)
            return;
        p_->sheet = driver::find_sheet(frame);
        HWND test = nullptr;
        driver::wait_until(
            [&] {
                return (test = driver::select_page(p_->sheet, 0, kStartButton, 1000)) != nullptr;
            },
            driver::kStartTimeoutMs);
        if (test == nullptr)
            return;
        PostMessageW(GetDlgItem(test, kStartButton), BM_CLICK, 0, 0);
        HWND score = nullptr;
        driver::wait_until(
            [&] { return (score = top_window(p_->process->id(), L"Tavoli测试结果")) != nullptr; },
            driver::kRunTimeoutMs);
        if (score == nullptr) {
            ADD_FAILURE() << "no score; " << to_gbk(driver::describe_state(*p_->process));
            p_->sheet = nullptr;
            return;
        }
        PostMessageW(score, WM_COMMAND, IDCANCEL, 0);
        driver::wait_until([&] { return IsWindowEnabled(GetDlgItem(test, kAnalysisButton)); },
                           driver::kStepTimeoutMs);
    }
    static void TearDownTestSuite() { p_.reset(); }
    void SetUp() override { ASSERT_NE(p_->sheet, nullptr); }

    static std::wstring records_path() { return driver::join_path(p_->inst->dir, L"kalvit.dat"); }
    static std::wstring texts_path() { return driver::join_path(p_->inst->dir, L"kalvitif.dat"); }
    static std::pair<std::string, std::string> both_files() {
        return {driver::read_file(records_path()).value_or(""),
                driver::read_file(texts_path()).value_or("")};
    }
    static DWORD pid() { return p_->process->id(); }
    // The message the program shows, answered No when it asks and OK otherwise; empty when
    // none shows.
    static std::optional<std::string> answer_box() {
        std::optional<driver::MessageBoxInfo> box =
            driver::wait_for_message_box(pid(), driver::kStepTimeoutMs);
        if (!box)
            return std::nullopt;
        const int button = GetDlgItem(box->box, IDNO) != nullptr ? IDNO : IDOK;
        PostMessageW(box->box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box->box, button)));
        EXPECT_TRUE(driver::wait_until([&] { return !IsWindow(box->box); }, driver::kStepTimeoutMs));
        return to_gbk(box->text);
    }
    static std::vector<std::string> entries(HWND combo) {
        std::vector<std::string> out;
        const LRESULT n = SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i)
            out.push_back(ui::combo_item_text(combo, i));
        return out;
    }

    static std::unique_ptr<Program> p_;
};
std::unique_ptr<Program> InputFields::p_;

// The name in machine 1's field when the store button is pressed: at most its first 99 bytes,
// cut on a whole character, then without leading blanks; characters outside GBK become "?".
TEST_F(InputFields, RecordNamesAreCutRefusedOrStoredAsTheirGbkBytes) {
    struct Case {
        const char* what;
        std::wstring typed;
        std::string stored;   // the name stored, when the store goes through
        std::string message;  // else the refusal or the question (answered No)
    };
    const std::vector<Case> cases = {
        {"200 bytes of GBK", wrepeat(L"测", 100), repeat("测", 49), ""},
        {"99 bytes", to_wide(repeat("b", 99)), repeat("b", 99), ""},
        {"100 bytes", to_wide(repeat("c", 100)), repeat("c", 99), ""},
        {"a character across byte 99", to_wide(repeat("d", 98) + "测"), repeat("d", 98), ""},
        {"a character ending at byte 99", to_wide(repeat("e", 97) + "测"), repeat("e", 97) + "测",
         ""},
        {"4000 bytes", to_wide(repeat("h", 4000)), repeat("h", 99), ""},
        {"cut before the blanks go", to_wide("   " + repeat("x", 99)), repeat("x", 96), ""},
        {"leading blanks", L"  前导空格", "前导空格", ""},
        {"trailing blanks", L"尾随空格  ", "尾随空格  ", ""},
        {"Hangul", L"韩\uAC00文", "韩?文", ""},
        {"an emoji", L"笑\U0001F600", "笑??", ""},
        {"the euro sign", L"欧\u20AC", "欧\x80", ""},
        {"empty", L"", "", kNoName},
        {"blanks only", L"     ", "", kNoName},
        {"the current system", L"当前系统", "", kNoName},
        {"the current system after blanks", L"  当前系统", "", kNoName},
        {"the base system", to_wide(kBaseName), "", "不能修改'基本系统'\n请重新输入有效的机器名！"},
        {"another Hangul giving the same bytes", L"韩\uAC01文", "",
         "机器名\"韩?文\"已经存在，是否更新记录？"},
        {"a stored name", L"甲机", "", "机器名\"甲机\"已经存在，是否更新记录？"},
    };
    HWND page = driver::select_page(p_->sheet, 1, kStore);
    ASSERT_NE(page, nullptr);
    HWND one = GetDlgItem(page, kMachine1), edit = GetWindow(one, GW_CHILD);
    ASSERT_TRUE(driver::wait_until([&] { return IsWindowEnabled(GetDlgItem(page, kStore)); },
                                   driver::kStepTimeoutMs));
    // A key typed first, as a user starts: the page no longer puts the selection back.
    PostMessageW(edit, WM_CHAR, 'z', 1);
    ASSERT_TRUE(driver::wait_until(
        [&] { return driver::window_text(one).find(L'z') != std::wstring::npos; },
        driver::kStepTimeoutMs));
    std::vector<std::string> list = {kBaseName, "甲机"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::pair<std::string, std::string> files = both_files();
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.typed.c_str()));
        ASSERT_EQ(driver::window_text(one), c.typed);
        PostMessageW(GetDlgItem(page, kStore), BM_CLICK, 0, 0);
        if (!c.message.empty()) {
            EXPECT_EQ(answer_box().value_or("<no message>"), c.message);
            EXPECT_TRUE(driver::responding(page));
            EXPECT_TRUE(both_files() == files) << "the files changed";
            continue;
        }
        list.push_back(c.stored);
        EXPECT_TRUE(driver::wait_until([&] { return entries(one) == list; },
                                       driver::kStepTimeoutMs));
        EXPECT_TRUE(driver::responding(page));
        EXPECT_FALSE(driver::find_message_box(pid()).has_value());
        // Written after the machines before it, its name line as stored.
        const std::string records = driver::read_file(records_path()).value_or("");
        const std::string& before = files.first;
        EXPECT_EQ(records.compare(0, before.size(), before), 0);
        EXPECT_EQ(records.compare(before.size(), c.stored.size() + 3, "<" + c.stored + "\r\n"), 0)
            << records.substr(before.size());
        p_->stored.push_back(c.stored);
    }
}

// The upload account dialog: every refusal in its order, whatever the fields hold; the fields
// stay as typed and no account is taken. The dialog is then closed without one.
TEST_F(InputFields, UploadAccountFieldsRefuseLongEmptyAndNonAsciiText) {
    constexpr char kMailLength[] = "Email只能够7~40个字符.";
    constexpr char kNotMail[] = "不是一个有效的Email.";
    constexpr char kMailCharacters[] = "Email地址中包含非法字符。";
    constexpr char kPasswordLength[] = "密码只能够5~15个字符.";
    constexpr char kDifferent[] = "两次输入的密码必须一样!";
    constexpr char kPasswordCharacters[] = "密码只能由数字和字母构成。";
    const std::wstring mail40 = wrepeat(L"m", 28) + L"@example.com";
    struct Case {
        const char* what;
        std::wstring mail, password, repeated;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"all empty", L"", L"", L"", kMailLength},
        {"a 255-character address", L"a@" + wrepeat(L"b", 249) + L".com", L"abc12", L"abc12",
         kMailLength},
        {"a 300-character address", wrepeat(L"c", 290) + L"@b.cd.com", L"abc12", L"abc12",
         kMailLength},
        {"41 bytes", L"m" + mail40, L"abc12", L"abc12", kMailLength},
        {"40 bytes of GBK", wrepeat(L"邮", 14) + L"@example.com", L"abc12", L"abc12",
         kMailCharacters},
        {"41 bytes of GBK", L"m" + wrepeat(L"邮", 14) + L"@example.com", L"abc12", L"abc12",
         kMailLength},
        {"no @ in 255 characters", wrepeat(L"d", 255), L"abc12", L"abc12", kMailLength},
        {"@ last", L"abcdefg@", L"abc12", L"abc12", kNotMail},
        {"Hangul", L"ab\uAC00@cd.com", L"", L"", kMailCharacters},
        {"an emoji", L"ab\U0001F600@cd.com", L"", L"", kMailCharacters},
        {"the euro sign", L"ab\u20AC@cd.com", L"", L"", kMailCharacters},
        {"GBK", L"张三@example.com", L"", L"", kMailCharacters},
        {"40 bytes, no password", mail40, L"", L"", kPasswordLength},
        {"a 255-character password", mail40, wrepeat(L"p", 255), wrepeat(L"p", 255),
         kPasswordLength},
        {"a 300-character password", mail40, wrepeat(L"q", 300), wrepeat(L"q", 300),
         kPasswordLength},
        {"empty repeat", mail40, L"abc12", L"", kPasswordLength},
        {"16 bytes of GBK", mail40, wrepeat(L"密", 8), wrepeat(L"密", 8), kPasswordLength},
        {"15 bytes, different", mail40, wrepeat(L"r", 15), wrepeat(L"r", 14) + L"s", kDifferent},
        {"Hangul in both", mail40, L"abc\uAC00d", L"abc\uAC00d", kPasswordCharacters},
        {"Hangul against ?", mail40, L"abc\uAC00d", L"abc?d", kPasswordCharacters},
        {"an emoji in both", mail40, L"ab\U0001F600cd", L"ab\U0001F600cd", kPasswordCharacters},
        {"the euro sign in both", mail40, L"abcd\u20AC", L"abcd\u20AC", kPasswordCharacters},
        {"14 bytes of GBK", mail40, wrepeat(L"密", 7), wrepeat(L"密", 7), kPasswordCharacters},
    };
    HWND test = driver::select_page(p_->sheet, 0, kStartButton);
    ASSERT_NE(test, nullptr);
    PostMessageW(GetDlgItem(test, kAnalysisButton), BM_CLICK, 0, 0);
    HWND analysis = nullptr;
    ASSERT_TRUE(driver::wait_until(
        [&] { return (analysis = top_window(pid(), L"测试结果分析")) != nullptr; },
        driver::kStepTimeoutMs));
    // Ready after its third clock tick.
    ASSERT_TRUE(driver::wait_until(
        [&] { return IsWindowEnabled(GetDlgItem(analysis, kUploadButton)) != FALSE; },
        driver::kStepTimeoutMs));
    PostMessageW(GetDlgItem(analysis, kUploadButton), BM_CLICK, 0, 0);
    HWND account = nullptr;
    ASSERT_TRUE(driver::wait_until(
        [&] { return (account = top_window(pid(), L"数据上传")) != nullptr; },
        driver::kStepTimeoutMs))
        << to_gbk(driver::describe_state(*p_->process));
    EXPECT_EQ(driver::window_text(GetDlgItem(account, kPassword)), L"keep9");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::pair<int, const std::wstring*> fields[] = {
            {kMail, &c.mail}, {kPassword, &c.password}, {kRepeat, &c.repeated}};
        for (const auto& [id, text] : fields)
            SendMessageW(GetDlgItem(account, id), WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>(text->c_str()));
        PostMessageW(GetDlgItem(account, IDOK), BM_CLICK, 0, 0);
        EXPECT_EQ(answer_box().value_or("<no message>"), c.message);
        ASSERT_TRUE(IsWindow(account)) << "a refused account closes the dialog";
        for (const auto& [id, text] : fields)
            EXPECT_EQ(driver::window_text(GetDlgItem(account, id)), *text) << id;
    }
    // Closed without an account: nothing is sent and nothing said.
    PostMessageW(account, WM_CLOSE, 0, 0);
    EXPECT_TRUE(driver::wait_until([&] { return !IsWindow(account); }, driver::kStepTimeoutMs));
    EXPECT_TRUE(driver::responding(analysis));
    EXPECT_FALSE(driver::find_message_box(pid()).has_value());
    PostMessageW(analysis, WM_CLOSE, 0, 0);
    EXPECT_TRUE(driver::wait_until([&] { return !IsWindow(analysis); }, driver::kStepTimeoutMs));
}

// The result boxes of the test and comparison pages only show figures: typing and pasting into
// them changes nothing.
TEST_F(InputFields, ResultBoxesTakeNoTypedText) {
    struct Page {
        int index, control;
        std::vector<int> boxes;
    };
    const Page pages[] = {
        {0, kStartButton, {1017, 1018, 1022, 1024, 1019, 1025, 1021, 1026, 1020, 1023}},
        {1, kStore, {1018, 1019, 1022, 1023, 1024, 1025, 1028, 1029, 1026, 1027}},
    };
    // A clipboard text of our own, pasted into every box.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const std::wstring pasted = L"粘贴\uAC00" + wrepeat(L"9", 300);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (pasted.size() + 1) * sizeof(wchar_t));
    ASSERT_NE(memory, nullptr);
    std::wmemcpy(static_cast<wchar_t*>(GlobalLock(memory)), pasted.c_str(), pasted.size() + 1);
    GlobalUnlock(memory);
    EXPECT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
    CloseClipboard();
    for (const Page& p : pages) {
        HWND page = driver::select_page(p_->sheet, p.index, p.control);
        ASSERT_NE(page, nullptr);
        for (int id : p.boxes) {
            SCOPED_TRACE(id);
            HWND box = GetDlgItem(page, id);
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(GetWindowLongW(box, GWL_STYLE) & ES_READONLY);
            const std::wstring shown = driver::window_text(box);
            for (wchar_t c : std::wstring(L"x测\uAC00") + wrepeat(L"7", 300))
                PostMessageW(box, WM_CHAR, c, 1);
            PostMessageW(box, WM_CHAR, VK_BACK, 1);
            PostMessageW(box, WM_PASTE, 0, 0);
            PostMessageW(box, WM_CUT, 0, 0);
            PostMessageW(box, WM_CLEAR, 0, 0);
            ASSERT_TRUE(driver::responding(box));
            EXPECT_EQ(driver::window_text(box), shown);
        }
    }
    EXPECT_FALSE(driver::find_message_box(pid()).has_value());
}

// Closing keeps the account as it was before the refusals, and a new start shows every name
// stored above byte for byte.
TEST_F(InputFields, StoredNamesAndTheAccountSurviveARestart) {
    ASSERT_FALSE(p_->stored.empty());
    p_->answerer.reset();
    driver::close_window(GetAncestor(p_->sheet, GA_ROOT));
    ASSERT_TRUE(p_->process->wait_exit(driver::kStepTimeoutMs).has_value());
    p_->sheet = nullptr;
    EXPECT_EQ(driver::profile_string(L"up_mail").value_or(L"<none>"), p_->mail_before);
    EXPECT_EQ(driver::profile_string(L"up_pass").value_or(L"<none>"), p_->pass_before);

    p_->process = uitest::start(*p_->inst);
    ASSERT_TRUE(p_->process.has_value());
    HWND frame = uitest::wait_for_frame(*p_->process);
    ASSERT_NE(frame, nullptr);
    p_->sheet = driver::find_sheet(frame);
    HWND page = nullptr;
    ASSERT_TRUE(driver::wait_until(
        [&] { return (page = driver::select_page(p_->sheet, 1, kStore, 1000)) != nullptr; },
        driver::kStartTimeoutMs));
    EXPECT_FALSE(driver::find_message_box(pid()).has_value());
    std::vector<std::string> expected = {kBaseName, "甲机"};
    expected.insert(expected.end(), p_->stored.begin(), p_->stored.end());
    expected.push_back("当前系统");
    EXPECT_EQ(entries(GetDlgItem(page, kMachine1)), expected);
    driver::close_window(frame);
    EXPECT_TRUE(p_->process->wait_exit(driver::kStepTimeoutMs).has_value());
    p_->sheet = nullptr;
}

} // namespace
