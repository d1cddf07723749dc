#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/encode_upload.h"
#include "shell/app_globals.h"
#include "shell/config_file.h"
#include "shell/log.h"
#include "shell/msgbox.h"
#include "shell/text_buffer.h"
#include "tests/read_all.h"
#include "ui/gbk.h"

namespace fs = std::filesystem;

namespace {
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::vector<std::string> shown_messages;
void record_message(const char* gbk_text) {
    shown_messages.emplace_back(gbk_text);
}

std::string gbk_path(const fs::path& p) {
#ifdef _WIN32
    return to_gbk(p.wstring());
#else
    return p.string();
#endif
}

std::string crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// Each test gets its own install directory, a recorded message box and a log in a temporary
// file; everything is put back afterwards.
class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(saved_install_dir_, install_dir, sizeof install_dir);
        dir_ = fs::temp_directory_path() /
               ("kalvit-config-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::snprintf(install_dir, sizeof install_dir, "%s", gbk_path(dir_).c_str());
        shown_messages.clear();
        previous_presenter_ = set_message_presenter(record_message);
        log_file_ = std::tmpfile();
        ASSERT_NE(log_file_, nullptr);
        log_attach(log_file_);
    }

    void TearDown() override {
        log_close();
        std::fclose(log_file_);
        set_message_presenter(previous_presenter_);
        std::memcpy(install_dir, saved_install_dir_, sizeof install_dir);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    void write_file(const std::string& bytes) {
        std::ofstream out(dir_ / "kalvtetc.inf", std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    // The log's lines; the log writes its separator before each line.
    std::vector<std::string> log_lines() {
        std::string all = read_all(log_file_);
        std::fseek(log_file_, 0, SEEK_END);
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find('\n', start + 1);
            if (end == std::string::npos)
                end = all.size();
            lines.push_back(all.substr(start + 1, end - start - 1));
            start = end;
        }
        return lines;
    }

    void restart_log() {
        FILE* old = log_file_;
        log_file_ = std::tmpfile();
        ASSERT_NE(log_file_, nullptr);
        log_attach(log_file_);
        std::fclose(old);
    }

    std::string path_text() const { return std::string(install_dir) + kSeparator + "kalvtetc.inf"; }

    fs::path dir_;
    char saved_install_dir_[kPathSize];
    MessagePresenter previous_presenter_ = nullptr;
    FILE* log_file_ = nullptr;
};

using Rows = char[kAboutLines][kConfigTextSize];

void fill(Rows& rows) {
    std::memset(rows, 'Z', sizeof rows);
}

const std::string kFullFile = "; comment before everything\n"
                              "\n"
                              "[KALVIT ETC CONFIG FILE]\n"
                              "kalvit test\n"
                              "[VISITUSURL]\n"
                              "http://127.0.0.1:8642/\n"
                              "[UPLOADURL]\n"
                              "http://127.0.0.1:8642/upload\n"
                              "[LOGINURL]\n"
                              "http://127.0.0.1:8642/login\n"
                              "[CONTACTMAIL]\n"
                              "http://127.0.0.1:8642/contact\n"
                              "[VERSIONINFO]\n"
                              "PC性能测试工具 kalvit 1.0\n"
                              "[WRITERINFO]\n"
                              "OPAB\n"
                              "[ABOUTINFO]\n"
                              "标题\n"
                              "副标题\n"
                              "\n"
                              "第三行\n"
                              "; not a row\n"
                              "第四行";
} // namespace

TEST_F(ConfigFile, EmptyFieldsGiveTheNullWarning) {
    write_file("[KALVIT ETC CONFIG FILE]\n[EMPTY]\n[NEXT]\nvalue\n[BLANK]\n\nnot mine\n"
               "[ROWS]\n[NEXT]\n");
    char value[kConfigTextSize];
    std::memset(value, 'Z', sizeof value);
    EXPECT_EQ(read_config_field("[EMPTY]", value, 1), 1);
    EXPECT_STREQ(value, "");
    // With one line asked for, an empty line is an empty value, not a skipped one.
    std::memset(value, 'Z', sizeof value);
    EXPECT_EQ(read_config_field("[BLANK]", value, 1), 1);
    EXPECT_STREQ(value, "");
    Rows rows;
    fill(rows);
    EXPECT_EQ(read_config_field("[ROWS]", rows[0], kAboutLines), 1);
    for (const auto& row : rows)
        EXPECT_STREQ(row, "");
    EXPECT_EQ(read_config_field("[NEXT]", value, 1), 1);
    EXPECT_STREQ(value, "value");

    EXPECT_EQ(log_lines(), (std::vector<std::string>{"-----Warning: field [EMPTY] is NULL.",
                                                     "-----Warning: field [BLANK] is NULL.",
                                                     "-----Warning: field [ROWS] is NULL."}));
    EXPECT_TRUE(shown_messages.empty());
}

TEST_F(ConfigFile, MultiLineFieldSkipsCommentsKeepsEmptyRowsAndCountsShortfall) {
    write_file("[ABOUTINFO]\nrow0\n; comment\nrow1\n\n;another\nrow3\nrow4\n[WRITERINFO]\nx\n");
    Rows rows;
    fill(rows);
    EXPECT_EQ(read_config_field("[ABOUTINFO]", rows[0], kAboutLines), 1);
    EXPECT_STREQ(rows[0], "row0");
    EXPECT_STREQ(rows[1], "row1");
    EXPECT_STREQ(rows[2], "");
    EXPECT_STREQ(rows[3], "row3");
    EXPECT_STREQ(rows[4], "row4");
    for (int i = 5; i < kAboutLines; ++i)
        EXPECT_STREQ(rows[i], "") << "row " << i;
    EXPECT_EQ(log_lines(), std::vector<std::string>{"-----Warning: find lines=5 is not equal to "
                                                    "required lines=32 for field [ABOUTINFO]"});
}

TEST_F(ConfigFile, ExactRowCountStopsReadingAndLogsNothing) {
    write_file("[F]\na\nb\n[G]\n");
    Rows rows;
    fill(rows);
    EXPECT_EQ(read_config_field("[F]", rows[0], 2), 1);
    EXPECT_STREQ(rows[0], "a");
    EXPECT_STREQ(rows[1], "b");
    EXPECT_EQ(rows[2][0], 'Z'); // only the rows asked for are touched
    // The name line matches by its beginning; a one-line field takes only its first line.
    write_file("[F] with a remark\nfirst\nsecond\n");
    char value[kConfigTextSize];
    EXPECT_EQ(read_config_field("[F]", value, 1), 1);
    EXPECT_STREQ(value, "first");
    EXPECT_TRUE(log_lines().empty());
}

TEST_F(ConfigFile, CrLfLineEndsGiveTheSameValuesAsLineFeeds) {
    write_file(kFullFile);
    ASSERT_TRUE(load_configuration());
    const std::string lf_values = std::string(visit_url) + '|' + upload_url + '|' + login_url +
                                  '|' + contact_mail + '|' + version_info + '|' + writer_info;
    Rows lf_about;
    std::memcpy(lf_about, about_info, sizeof about_info);

    write_file(crlf(kFullFile));
    ASSERT_TRUE(load_configuration());
    const std::string crlf_values = std::string(visit_url) + '|' + upload_url + '|' + login_url +
                                    '|' + contact_mail + '|' + version_info + '|' + writer_info;
    EXPECT_EQ(crlf_values, lf_values);
    EXPECT_EQ(crlf_values, "http://127.0.0.1:8642/|http://127.0.0.1:8642/upload|"
                           "http://127.0.0.1:8642/login|http://127.0.0.1:8642/contact|"
                           "PC性能测试工具 kalvit 1.0|OPAB");
    EXPECT_EQ(std::memcmp(lf_about, about_info, sizeof about_info), 0);
    EXPECT_STREQ(about_info[2], "");
    // The last line has no line end and is taken whole.
    EXPECT_STREQ(about_info[4], "第四行");
    EXPECT_STREQ(text_buffer, "kalvit test");

    // A carriage return that is not part of a line end stays in the text.
    write_file("[F]\r\na\rb\r\n");
    char value[kConfigTextSize];
    EXPECT_EQ(read_config_field("[F]", value, 1), 1);
    EXPECT_STREQ(value, "a\rb");
}

TEST_F(ConfigFile, FirstOfTwoNameLinesWinsAndCommentedNamesDoNotCount) {
    write_file(";[F]\ncommented\n[F]\nfirst\n[F]\nsecond\n");
    char value[kConfigTextSize];
    EXPECT_EQ(read_config_field("[F]", value, 1), 1);
    EXPECT_STREQ(value, "first");
    EXPECT_EQ(read_config_field("[G]", value, 1), 0);
    EXPECT_STREQ(value, "first"); // a field that is not found leaves the buffer alone
}

TEST_F(ConfigFile, OverlongLinesAreReadInPiecesOf127) {
    const std::string a300(300, 'a');
    const std::string b127(127, 'b');
    const std::string c254(254, 'c');
    write_file(crlf("[F]\n" + a300 + "\n" + b127 + "\n" + c254 + "\nlast\n[ONE]\n" + a300 + "\n"));
    Rows rows;
    fill(rows);
    EXPECT_EQ(read_config_field("[F]", rows[0], 9), 1);
    EXPECT_EQ(std::string(rows[0]), a300.substr(0, 127));
    EXPECT_EQ(std::string(rows[1]), a300.substr(127, 127));
    EXPECT_EQ(std::string(rows[2]), a300.substr(254));
    // A piece that fills the 127 bytes leaves its line end behind, read as an empty row.
    EXPECT_EQ(std::string(rows[3]), b127);
    EXPECT_STREQ(rows[4], "");
    EXPECT_EQ(std::string(rows[5]), c254.substr(0, 127));
    EXPECT_EQ(std::string(rows[6]), c254.substr(127));
    EXPECT_STREQ(rows[7], "");
    EXPECT_STREQ(rows[8], "last");
    char value[kConfigTextSize];
    std::memset(value, 'Z', sizeof value);
    EXPECT_EQ(read_config_field("[ONE]", value, 1), 1);
    EXPECT_EQ(std::string(value), a300.substr(0, 127));
    EXPECT_TRUE(log_lines().empty());

    // A name line of 127 bytes is followed by its own line end: an empty value.
    const std::string long_name = "[LONG]" + std::string(121, 'x');
    write_file(long_name + "\nvalue\n");
    std::memset(value, 'Z', sizeof value);
    EXPECT_EQ(read_config_field("[LONG]", value, 1), 1);
    EXPECT_STREQ(value, "");
    EXPECT_EQ(log_lines(), std::vector<std::string>{"-----Warning: field [LONG] is NULL."});
}

TEST_F(ConfigFile, PiecesNeverSplitAGbkCharacter) {
    // 癧 is B0 5B: cut after its first byte, the next piece would begin with "[" and end the
    // field. A character that does not fit into the 127 bytes begins the next piece instead.
    const std::string a126(126, 'a');
    write_file("[F]\n" + a126 + "癧tail\n" + a126 + "b中\nnext\n[G]\n");
    Rows rows;
    fill(rows);
    EXPECT_EQ(read_config_field("[F]", rows[0], 5), 1);
    EXPECT_EQ(std::string(rows[0]), a126);
    EXPECT_STREQ(rows[1], "癧tail");
    EXPECT_EQ(std::string(rows[2]), a126 + "b");
    EXPECT_STREQ(rows[3], "中");
    EXPECT_STREQ(rows[4], "next");
    EXPECT_TRUE(log_lines().empty());
}

TEST_F(ConfigFile, CtrlZEndsTheFileAsInTextMode) {
    write_file("[F]\nvalue\x1a[G]\nhidden\n");
    char value[kConfigTextSize] = "old";
    EXPECT_EQ(read_config_field("[F]", value, 1), 1);
    EXPECT_STREQ(value, "value");
    EXPECT_EQ(read_config_field("[G]", value, 1), 0);
    EXPECT_STREQ(value, "value");

    write_file("[ABOUTINFO]\r\nfirst\r\nsecond\x1athird\r\n");
    Rows rows;
    fill(rows);
    EXPECT_EQ(read_config_field("[ABOUTINFO]", rows[0], kAboutLines), 1);
    EXPECT_STREQ(rows[0], "first");
    EXPECT_STREQ(rows[1], "second");
    EXPECT_STREQ(rows[2], "");
    EXPECT_EQ(log_lines(),
              std::vector<std::string>{"-----Warning: find lines=2 is not equal to required "
                                       "lines=32 for field [ABOUTINFO]"});
}

TEST_F(ConfigFile, MissingFileTellsTheUserTheFullPath) {
    char value[kConfigTextSize] = "old";
    EXPECT_EQ(read_config_field("[VISITUSURL]", value, 1), 0);
    EXPECT_STREQ(value, "old");
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_EQ(shown_messages[0], "无法打开文件\"" + path_text() + "\"!");

    shown_messages.clear();
    EXPECT_FALSE(load_configuration());
    EXPECT_EQ(shown_messages.size(), 1u); // only the identification read is tried
    EXPECT_EQ(log_lines(), std::vector<std::string>{"*****Error:\tCan't find etc.inf"});
}

TEST_F(ConfigFile, MissingIdentificationLineEndsLoadingWithoutMessage) {
    std::string without_id = kFullFile;
    without_id[without_id.find("[KALVIT")] = ';';
    write_file(without_id);
    std::snprintf(version_info, sizeof version_info, "stale");
    EXPECT_FALSE(load_configuration());
    EXPECT_TRUE(shown_messages.empty());
    EXPECT_EQ(log_lines(), std::vector<std::string>{"*****Error:\tCan't find etc.inf"});
    EXPECT_STREQ(version_info, "");
}

TEST_F(ConfigFile, MissingFieldsAreWarnedAndLeftEmpty) {
    write_file(kFullFile);
    ASSERT_TRUE(load_configuration());
    ASSERT_STRNE(writer_info, "");
    restart_log();

    write_file("[KALVIT ETC CONFIG FILE]\nid\n[UPLOADURL]\nhttp://127.0.0.1:8642/upload\n");
    EXPECT_TRUE(load_configuration());
    EXPECT_STREQ(upload_url, "http://127.0.0.1:8642/upload");
    for (const char* text : {visit_url, login_url, contact_mail, version_info, writer_info})
        EXPECT_STREQ(text, "");
    for (const auto& row : about_info)
        EXPECT_STREQ(row, "");
    EXPECT_EQ(log_lines(), (std::vector<std::string>{
                               "-----Warning: Can't find field [VISITUSURL]",
                               "-----Warning: Can't find field [LOGINURL]",
                               "-----Warning: Can't find field [CONTACTMAIL]",
                               "-----Warning: Can't find field [VERSIONINFO]",
                               "-----Warning: Can't find field [WRITERINFO]",
                               "-----Warning: Can't find field [ABOUTINFO]",
                           }));
    EXPECT_TRUE(shown_messages.empty());
}

TEST_F(ConfigFile, DeliveredFileLoadsEveryFieldCleanly) {
    std::string data_dir = KALVIT_SOURCE_DIR "/data";
#ifdef _WIN32
    for (char& c : data_dir)
        if (c == '/')
            c = '\\';
    data_dir = "Z:" + data_dir;
#endif
    std::snprintf(install_dir, sizeof install_dir, "%s", data_dir.c_str());
    ASSERT_TRUE(load_configuration());
    EXPECT_TRUE(log_lines().empty()); // no missing field, no short field, no empty field
    EXPECT_TRUE(shown_messages.empty());

    const std::string service = "http://127.0.0.1:8642/";
    EXPECT_EQ(std::string(visit_url), service);
    EXPECT_EQ(std::string(upload_url), service + "upload");
    EXPECT_EQ(std::string(login_url), service + "login");
    EXPECT_EQ(std::string(contact_mail), service + "contact");

    // The title is shown as its first 14 bytes and the rest: neither piece splits a character.
    const std::string version = version_info;
    ASSERT_GT(version.size(), 14u);
    EXPECT_EQ(to_gbk(to_wide(version.substr(0, 14))), version.substr(0, 14));
    EXPECT_EQ(to_gbk(to_wide(version.substr(14))), version.substr(14));
    EXPECT_NE(version.find("kalvit"), std::string::npos);

    EXPECT_STRNE(about_info[0], "");
    EXPECT_STRNE(about_info[1], "");
    for (const auto& row : about_info)
        EXPECT_EQ(to_gbk(to_wide(row)), std::string(row)) << row;

    const std::string letters = writer_info;
    ASSERT_FALSE(letters.empty());
    EXPECT_EQ(letters.size() % 2, 0u);
    EXPECT_EQ(letters.find_first_not_of("ABCDEFGHIJKLMNOP"), std::string::npos);
    const std::string author = decode_upload(letters);
    EXPECT_EQ(author.find('\0'), std::string::npos);
    EXPECT_NE(author.find("kalvit"), std::string::npos);
    EXPECT_EQ(to_gbk(to_wide(author)), author); // valid GBK throughout
    UploadLetters again = encode_upload(author.data(), author.size());
    EXPECT_EQ(again.low + again.high, letters);
}
