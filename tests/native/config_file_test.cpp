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
        log_close();
        std::fclose(log_file_);
        log_file_ = std::tmpfile();
        log_attach(log_file_);
    }

    std::string path_text() const { return std::string(install_dir) + kSeparator + "kalvtetc.inf"; }

    fs::path dir_;
    char saved_install_dir_[kPathSize];
    MessagePresenter previous_presenter_ = nullptr;
    FILE* log_file_ = nullptr;
};

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

TEST_F(ConfigFile, FieldsAreReadLineByLineInPiecesOf127) {
    const std::string a126(126, 'a'), a300(300, 'a'), b127(127, 'b'), c254(254, 'c');
    const std::string null_warning = "-----Warning: field [F] is NULL.";
    const std::string short_about = "-----Warning: find lines=";
    struct Case {
        const char* what;
        std::string file;
        int rows;
        std::vector<std::string> values; // empty: [F] is not found; missing rows are empty
        std::string log;                 // the one log line, if any
    };
    const Case cases[] = {
        {"an empty field", "[K]\n[F]\n[NEXT]\nvalue\n", 1, {""}, null_warning},
        {"an empty line is an empty value", "[F]\n\nnot mine\n", 1, {""}, null_warning},
        {"no rows at all", "[F]\n[NEXT]\n", kAboutLines, {""}, null_warning},
        {"comments skipped, empty rows kept, the shortfall logged",
         "[F]\nrow0\n; comment\nrow1\n\n;another\nrow3\nrow4\n[G]\nx\n",
         kAboutLines,
         {"row0", "row1", "", "row3", "row4"},
         short_about + "5 is not equal to required lines=32 for field [F]"},
        {"exactly the rows asked for", "[F]\na\nb\n[G]\n", 2, {"a", "b"}, ""},
        {"the name matches by its beginning",
         "[F] with a remark\nfirst\nsecond\n",
         1,
         {"first"},
         ""},
        {"a lone CR stays in the text", "[F]\r\na\rb\r\n", 1, {"a\rb"}, ""},
        {"the first of two name lines",
         ";[F]\ncommented\n[F]\nfirst\n[F]\nsecond\n",
         1,
         {"first"},
         ""},
        {"not found", ";[F]\nx\n[G]\n", 1, {}, ""},
        // A piece that fills the 127 bytes leaves its line end behind, read as an empty row.
        {"overlong lines",
         crlf("[F]\n" + a300 + "\n" + b127 + "\n" + c254 + "\nlast\n"),
         9,
         {a300.substr(0, 127), a300.substr(127, 127), a300.substr(254), b127, "",
          c254.substr(0, 127), c254.substr(127), "", "last"},
         ""},
        {"a one-line field of an overlong line",
         "[F]\n" + a300 + "\n",
         1,
         {a300.substr(0, 127)},
         ""},
        {"a name line of 127 bytes and its line end",
         "[F]" + std::string(124, 'x') + "\nvalue\n",
         1,
         {""},
         null_warning},
        // 癧 is B0 5B: cut after its first byte, the next piece would begin with "[" and end the
        // field. A character that does not fit into the 127 bytes begins the next piece.
        {"no piece splits a GBK character",
         "[F]\n" + a126 + "癧tail\n" + a126 + "b中\nnext\n[G]\n",
         5,
         {a126, "癧tail", a126 + "b", "中", "next"},
         ""},
        {"Ctrl-Z ends the file",
         "[F]\r\nfirst\r\nsecond\x1athird\r\n",
         kAboutLines,
         {"first", "second"},
         short_about + "2 is not equal to required lines=32 for field [F]"},
        {"nothing after Ctrl-Z is found", "[G]\nvalue\x1a[F]\nhidden\n", 1, {}, ""},
    };
    for (const Case& c : cases) {
        restart_log();
        write_file(c.file);
        char rows[kAboutLines + 1][kConfigTextSize];
        std::memset(rows, 'Z', sizeof rows);
        EXPECT_EQ(read_config_field("[F]", rows[0], c.rows), c.values.empty() ? 0 : 1) << c.what;
        for (int i = 0; i < c.rows && !c.values.empty(); ++i)
            EXPECT_EQ(std::string(rows[i], strnlen(rows[i], kConfigTextSize)),
                      i < static_cast<int>(c.values.size()) ? c.values[i] : "")
                << c.what << ", row " << i;
        // Only the rows asked for are touched, none if the field is not found.
        EXPECT_EQ(rows[c.values.empty() ? 0 : c.rows][0], 'Z') << c.what;
        EXPECT_EQ(log_lines(),
                  c.log.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.log})
            << c.what;
    }
    EXPECT_TRUE(shown_messages.empty());
}

TEST_F(ConfigFile, LoadingTakesEveryFieldWithEitherLineEnd) {
    for (const std::string& file : {kFullFile, crlf(kFullFile)}) {
        restart_log();
        write_file(file);
        ASSERT_TRUE(load_configuration());
        EXPECT_EQ(std::string(visit_url) + '|' + upload_url + '|' + login_url + '|' + contact_mail +
                      '|' + version_info + '|' + writer_info,
                  "http://127.0.0.1:8642/|http://127.0.0.1:8642/upload|"
                  "http://127.0.0.1:8642/login|http://127.0.0.1:8642/contact|"
                  "PC性能测试工具 kalvit 1.0|OPAB");
        const std::vector<std::string> about = {"标题", "副标题", "", "第三行", "第四行", ""};
        for (size_t i = 0; i < about.size(); ++i)
            EXPECT_EQ(about_info[i], about[i]) << i; // the last line has no line end
        EXPECT_STREQ(text_buffer, "kalvit test");
        EXPECT_EQ(log_lines(), std::vector<std::string>{"-----Warning: find lines=5 is not equal "
                                                        "to required lines=32 for field [ABOUTINFO]"});
    }

    // Fields that are missing are warned about and left empty.
    restart_log();
    write_file("[KALVIT ETC CONFIG FILE]\nid\n[UPLOADURL]\nhttp://127.0.0.1:8642/upload\n");
    EXPECT_TRUE(load_configuration());
    EXPECT_STREQ(upload_url, "http://127.0.0.1:8642/upload");
    for (const char* text : {visit_url, login_url, contact_mail, version_info, writer_info})
        EXPECT_STREQ(text, "");
    for (const auto& row : about_info)
        EXPECT_STREQ(row, "");
    std::vector<std::string> warnings;
    for (const char* field :
         {"VISITUSURL", "LOGINURL", "CONTACTMAIL", "VERSIONINFO", "WRITERINFO", "ABOUTINFO"})
        warnings.push_back(std::string("-----Warning: Can't find field [") + field + "]");
    EXPECT_EQ(log_lines(), warnings);
    EXPECT_TRUE(shown_messages.empty());

    // Without the identification line loading ends, without a message.
    restart_log();
    std::string without_id = kFullFile;
    without_id[without_id.find("[KALVIT")] = ';';
    write_file(without_id);
    EXPECT_FALSE(load_configuration());
    EXPECT_TRUE(shown_messages.empty());
    EXPECT_EQ(log_lines(), std::vector<std::string>{"*****Error:\tCan't find etc.inf"});
    EXPECT_STREQ(version_info, "");
}

TEST_F(ConfigFile, MissingFileTellsTheUserTheFullPath) {
    char value[kConfigTextSize] = "old";
    EXPECT_EQ(read_config_field("[VISITUSURL]", value, 1), 0);
    EXPECT_STREQ(value, "old");
    EXPECT_EQ(shown_messages, std::vector<std::string>{"无法打开文件\"" + path_text() + "\"!"});
    shown_messages.clear();
    EXPECT_FALSE(load_configuration());
    EXPECT_EQ(shown_messages.size(), 1u); // only the identification read is tried
    EXPECT_EQ(log_lines(), std::vector<std::string>{"*****Error:\tCan't find etc.inf"});
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

    EXPECT_EQ(std::string(visit_url) + upload_url + login_url + contact_mail,
              "http://127.0.0.1:8642/http://127.0.0.1:8642/uploadhttp://127.0.0.1:8642/login"
              "http://127.0.0.1:8642/contact");

    // The title is shown as its first 14 bytes and the rest: neither piece splits a character.
    const std::string version = version_info;
    ASSERT_GT(version.size(), 14u);
    EXPECT_EQ(to_gbk(to_wide(version.substr(0, 14))), version.substr(0, 14));
    EXPECT_EQ(to_gbk(to_wide(version.substr(14))), version.substr(14));
    EXPECT_NE(version.find("kalvit"), std::string::npos);

    EXPECT_STRNE(about_info[1], "");
    for (const auto& row : about_info)
        EXPECT_EQ(to_gbk(to_wide(row)), std::string(row)) << row;

    // The author's letters: valid GBK once decoded, and encoded back to themselves.
    const std::string letters = writer_info;
    const std::string author = decode_upload(letters);
    EXPECT_EQ(author.find('\0'), std::string::npos);
    EXPECT_NE(author.find("kalvit"), std::string::npos);
    EXPECT_EQ(to_gbk(to_wide(author)), author); // valid GBK throughout
    UploadLetters again = encode_upload(author.data(), author.size());
    EXPECT_EQ(again.low + again.high, letters);
}
