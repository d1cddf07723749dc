#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "analysis/account_rules.h"
#include "analysis/encode_upload.h"
#include "analysis/upload_text.h"
#include "shell/msgbox.h"
#include "tests/native/local_time_support.h"

TEST(UploadAccount, ProblemsInTheOrderTheyAreChecked) {
    const char* const kLength = "Email只能够7~40个字符.";
    const char* const kInvalid = "不是一个有效的Email.";
    const char* const kCharacters = "Email地址中包含非法字符。";
    const char* const kPassLength = "密码只能够5~15个字符.";
    const char* const kMismatch = "两次输入的密码必须一样!";
    const char* const kPassCharacters = "密码只能由数字和字母构成。";
    const std::string mail40 = std::string(31, 'a') + "@host.com";
    const std::string mail41 = "a" + mail40;
    struct Case {
        std::string mail, password, repeated;
        const char* problem;
    };
    const Case cases[] = {
        {"a@b.cd", "ab", "c_", kLength},
        {"ab@cd.ef", "abcde", "abcde", nullptr},
        {mail40, "abcde", "abcde", nullptr},
        {mail41, "abcde", "abcde", kLength},
        {"@bcdefg", "abcde", "abcde", kInvalid},
        {"abcdefg@", "abcde", "abcde", kInvalid},
        {"ab@cd@ef.gh", "abcde", "abcde", nullptr},
        {"a_b-c.d@e.f", "abcde", "abcde", nullptr},
        {"ab+cd@ef.gh", "abcde", "abcde", kCharacters},
        {"ab啊@ef.gh", "abcde", "abcde", kCharacters},
        {"ab@cd.ef", "abcd", "abcd", kPassLength},
        {"ab@cd.ef", "abcdefghijklmnop", "abcdefghijklmnop", kPassLength},
        {"ab@cd.ef", "abcdefghijklmno", "abcdefghijklmno", nullptr},
        {"ab@cd.ef", "abcde", "abc", kPassLength},
        {"ab@cd.ef", "abcde", "abcdf", kMismatch},
        {"ab@cd.ef", "abc_de", "abc-de", kMismatch},
        {"ab@cd.ef", "abc_de", "abc_de", kPassCharacters},
        {"ab@cd.ef", "Pass123", "Pass123", nullptr},
    };
    for (const Case& c : cases) {
        const char* got = account_problem(c.mail.c_str(), c.password.c_str(), c.repeated.c_str());
        EXPECT_STREQ(got, c.problem) << c.mail << " " << c.password << " " << c.repeated;
    }
}

namespace {
std::vector<std::string> messages, questions;
bool answer = true;
void record_message(const char* text) {
    messages.emplace_back(text);
}
bool record_question(const char* text) {
    questions.emplace_back(text);
    return answer;
}

struct FakePlatform : UploadPlatform {
    bool asked = false, account_ok = true, shell_ok = true;
    char* mail_out = nullptr; // the buffers behind the source's account fields
    char* pass_out = nullptr;
    const char* new_mail = "new@mail.org";
    const char* new_pass = "pw123";
    std::tm time{};
    std::vector<std::string> opened;
    bool ask_account() override {
        asked = true;
        if (account_ok && mail_out != nullptr) {
            std::strcpy(mail_out, new_mail);
            std::strcpy(pass_out, new_pass);
        }
        return account_ok;
    }
    std::tm local_time() override { return time; }
    bool open_address(const std::string& address) override {
        opened.push_back(address);
        return shell_ok;
    }
};

const char kUrl[] = "http://kalvit.example/up.asp"; // 28 characters
std::string url_of(size_t n) {
    return "http://kalvit.example/" + std::string(n - 22, 'u');
}
const char kHead[] = "me@host.com secret1\n1 1\n71.40  6.78  3.50 679.48  8.41 0 1024 768 16\n";

class Upload : public ::testing::Test {
protected:
    void SetUp() override {
        messages.clear();
        questions.clear();
        answer = true;
        previous_message_ = set_message_presenter(record_message);
        previous_question_ = set_question_presenter(record_question);
        const float speeds[kTestCount] = {71.4f, 6.78f, 3.5f, 679.48f, 8.41f};
        std::memcpy(record.speeds, speeds, sizeof speeds);
        record.ddraw_width = 1024;
        record.ddraw_height = 768;
        record.ddraw_bits = 16;
        set_info("机器名: PC\n处理器: x86\n");
        platform.time = local_time_of(2026, 12, 8, 9, 5, 7);
    }
    void TearDown() override {
        set_message_presenter(previous_message_);
        set_question_presenter(previous_question_);
    }
    void set_info(const std::string& text) {
        ASSERT_LT(text.size(), sizeof record.info_text);
        std::memcpy(record.info_text, text.c_str(), text.size() + 1);
    }
    UploadOutcome run(const char* mail, const char* pass, const char* settings,
                      const std::string& url) {
        return run_upload({mail, pass, &record, settings, url.c_str()}, platform);
    }
    // The text behind the one address opened, after checking the address's characters.
    std::string sent(const std::string& url) {
        EXPECT_EQ(platform.opened.size(), 1u);
        if (platform.opened.size() != 1)
            return "";
        const std::string& address = platform.opened[0];
        EXPECT_EQ(address.compare(0, url.size() + 1, url + "?"), 0) << address;
        const std::string letters = address.substr(std::min(address.size(), url.size() + 1));
        EXPECT_EQ(letters.find_first_not_of("ABCDEFGHIJKLMNOP"), std::string::npos) << address;
        EXPECT_EQ(letters.size() % 2, 0u);
        return decode_upload(letters);
    }
    MachineRecord record{};
    FakePlatform platform;

private:
    MessagePresenter previous_message_ = nullptr;
    QuestionPresenter previous_question_ = nullptr;
};
} // namespace

TEST_F(Upload, TextOfAStandardAndAnOptionsRun) {
    struct Case {
        uint32_t flags;
        int16_t width, height, bits;
        const char* settings;
        std::tm time;
        std::string text;
    };
    const Case cases[] = {
        {0, 1024, 768, 16, "标准设置", platform.time,
         std::string(kHead) + "机器名: PC\n处理器: x86\n标准设置\n261208090507\n"},
        {0x1010, 800, 600, -1, "CACHED SSE \n", local_time_of(2000, 1, 31, 23, 59, 58),
         "me@host.com secret1\n1 1\n71.40  6.78  3.50 679.48  8.41 1010 800 600 -1\n"
         "机器名: PC\n处理器: x86\nCACHED SSE \n\n000131235958\n"},
    };
    for (const Case& c : cases) {
        platform.opened.clear();
        record.option_flags = c.flags;
        record.ddraw_width = c.width;
        record.ddraw_height = c.height;
        record.ddraw_bits = c.bits;
        platform.time = c.time;
        EXPECT_EQ(run("me@host.com", "secret1", c.settings, kUrl), UploadOutcome::kOpened);
        EXPECT_EQ(sent(kUrl), c.text) << c.flags;
    }
    EXPECT_FALSE(platform.asked);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(questions.empty());
}

TEST_F(Upload, StoredMailIsCheckedBeforeAnythingElse) {
    EXPECT_EQ(run("me+x@host.com", "secret1", "标准设置", kUrl), UploadOutcome::kBadMail);
    EXPECT_EQ(messages, std::vector<std::string>{"Email地址中包含非法字符。"});
    EXPECT_FALSE(platform.asked);
    EXPECT_TRUE(platform.opened.empty());
}

TEST_F(Upload, WithoutAStoredMailTheAccountIsAskedFor) {
    char mail[64] = "", pass[64] = "";
    platform.mail_out = mail;
    platform.pass_out = pass;
    platform.account_ok = false;
    EXPECT_EQ(run(mail, pass, "标准设置", kUrl), UploadOutcome::kNoAccount);
    EXPECT_TRUE(platform.asked);
    EXPECT_TRUE(platform.opened.empty());
    EXPECT_TRUE(messages.empty());

    platform.asked = false;
    platform.account_ok = true;
    EXPECT_EQ(run(mail, pass, "标准设置", kUrl), UploadOutcome::kOpened);
    EXPECT_TRUE(platform.asked);
    EXPECT_EQ(sent(kUrl).rfind("new@mail.org pw123\n1 1\n71.40 ", 0), 0u);
}

TEST_F(Upload, LongTextsAreCutAfterAskingTheUser) {
    const std::string settings = "标准设置";
    const size_t p = std::strlen(kHead), s = settings.size();
    std::string pattern;
    while (pattern.size() < 1000)
        pattern += "第1行abc\n";
    struct Case {
        size_t u;     // the upload page address's length
        size_t total; // L with the whole machine text
        bool yes;
        bool asked;
        UploadOutcome outcome;
        size_t address; // the opened address's length
    };
    const Case cases[] = {
        {28, 1020, true, false, UploadOutcome::kOpened, 1049},
        {29, 1019, true, false, UploadOutcome::kOpened, 1048},
        {29, 1021, false, true, UploadOutcome::kDeclined, 0},
        {29, 1021, true, true, UploadOutcome::kOpened, 1048},
        {28, 1022, true, true, UploadOutcome::kOpened, 1049},
        // The address leaves room for nothing of the machine text, or for less than nothing.
        {1020 - 2 * (p + s), 1040, true, true, UploadOutcome::kOpened, 1049},
        {1022 - 2 * (p + s), 1042, true, false, UploadOutcome::kNoRoom, 0},
    };
    for (const Case& c : cases) {
        const std::string what = "u " + std::to_string(c.u) + " L " + std::to_string(c.total);
        messages.clear();
        questions.clear();
        platform.opened.clear();
        answer = c.yes;
        const std::string url = url_of(c.u);
        const size_t t = (c.total - c.u) / 2 - p - s;
        set_info(pattern.substr(0, t));
        EXPECT_EQ(run("me@host.com", "secret1", settings.c_str(), url), c.outcome) << what;
        if (c.asked) {
            const std::string q =
                "字符串总长度=" + std::to_string(c.total) + " Bytes,\n可能会丢失信息，继续上传吗?";
            EXPECT_EQ(questions, std::vector<std::string>{q}) << what;
        } else {
            EXPECT_TRUE(questions.empty()) << what;
        }
        EXPECT_EQ(messages.size(), c.outcome == UploadOutcome::kNoRoom ? 1u : 0u) << what;
        if (c.outcome != UploadOutcome::kOpened) {
            EXPECT_TRUE(platform.opened.empty()) << what;
            continue;
        }
        const size_t kept = c.total <= 1020 ? t : (1020 - c.u) / 2 - p - s;
        EXPECT_EQ(sent(url), kHead + pattern.substr(0, kept) + settings + "\n261208090507\n")
            << what;
        ASSERT_EQ(platform.opened.size(), 1u);
        EXPECT_EQ(platform.opened[0].size(), c.address) << what;
    }
}

TEST_F(Upload, ShellFailureIsReported) {
    platform.shell_ok = false;
    EXPECT_EQ(run("me@host.com", "secret1", "标准设置", kUrl), UploadOutcome::kShellFailed);
    EXPECT_EQ(platform.opened.size(), 1u);
    EXPECT_EQ(messages, std::vector<std::string>{"打开url错误! 可能是网络连接问题。"});
}
