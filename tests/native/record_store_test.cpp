#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/model.h"
#include "pages/record_store.h"
#include "shell/msgbox.h"

namespace fs = std::filesystem;

namespace {
const std::string kBaseName = "基本系统: 联想奔月4000 PIII650E";
const std::string kCantWriteRecords = "不能写入文件\"KALVIT.DAT\"";
const std::string kCantWriteTexts = "不能写入文件\"KALVITIF.DAT\"";

std::vector<std::string> messages;
std::vector<std::string> questions;
bool answer = true;

void record_message(const char* text) {
    messages.emplace_back(text);
}
bool record_question(const char* text) {
    questions.emplace_back(text);
    return answer;
}
void collect_test_text(char* text) {
    std::strcpy(text, "collected\n");
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string without_cr(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\r')
            out += c;
    }
    return out;
}

size_t open_descriptors() {
    size_t n = 0;
    for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it)
        ++n;
    return n;
}

std::set<std::string> files_here() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator("."))
        names.insert(entry.path().filename().string());
    return names;
}

// "M7": built without operator+, which GCC 12 warns about wrongly here.
std::string numbered(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "M%d", i);
    return name;
}

MachineRecord make_record(const std::string& name, float first_speed = 1.0f,
                          const std::string& info = "") {
    MachineRecord record{};
    std::snprintf(record.name, sizeof record.name, "%s", name.c_str());
    const float speeds[kTestCount] = {first_speed, 2.0f, 3.0f, 4.0f, 5.0f};
    std::memcpy(record.speeds, speeds, sizeof speeds);
    record.option_flags = 0x11;
    record.ddraw_width = 800;
    record.ddraw_height = 600;
    record.ddraw_bits = 32;
    std::memcpy(record.info_text, info.data(), info.size());
    return record;
}

// The base system, then `stored`, then a current system with speeds of its own.
void fill_list(MachineList& list, const std::vector<MachineRecord>& stored) {
    std::memset(&list, 0, sizeof list);
    list.entries[0] = make_record(kBaseName, 35.7f, "base\n");
    for (size_t i = 0; i < stored.size(); ++i)
        list.entries[i + 1] = stored[i];
    list.stored_count = static_cast<int>(stored.size()) + 1;
    list.entries[list.stored_count] = make_record("当前系统", 77.0f, "here\n");
}

std::vector<std::string> names_of(const MachineList& list, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.emplace_back(list.entries[i].name);
    return names;
}

// The real files, except that the Nth call of one kind fails (the file is still closed by a
// failing finish), and names can be redirected to other paths. Counts the files left open.
class FailingFiles : public RecordFiles {
public:
    enum Kind { kOpen, kFinish, kReplace, kNone };
    explicit FailingFiles(Kind kind = kNone, int n = 0) : kind_(kind), n_(n) {}

    FILE* open(const char* name, const char* mode) override {
        if (fails(kOpen))
            return nullptr;
        auto to = redirect.find(name);
        FILE* file = RecordFiles::open(to == redirect.end() ? name : to->second.c_str(), mode);
        if (file != nullptr)
            ++open_files;
        return file;
    }
    bool finish(FILE* file) override {
        --open_files;
        if (fails(kFinish)) {
            std::fclose(file);
            return false;
        }
        return RecordFiles::finish(file);
    }
    bool replace(const char* from, const char* to) override {
        return !fails(kReplace) && RecordFiles::replace(from, to);
    }

    int open_files = 0;
    std::map<std::string, std::string> redirect;

private:
    bool fails(Kind kind) { return ++calls_[kind] == n_ && kind == kind_; }
    Kind kind_;
    int n_;
    int calls_[kNone + 1] = {};
};

// Every test runs in a directory of its own, with recorded messages and answers.
class RecordStore : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "kalvit-records-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        fs::current_path(dir_);
        messages.clear();
        questions.clear();
        answer = true;
        previous_message_ = set_message_presenter(record_message);
        previous_question_ = set_question_presenter(record_question);
        table_ = std::make_unique<GuardedList>();
    }
    void TearDown() override {
        const MachineRecord untouched{};
        EXPECT_EQ(std::memcmp(&table_->past_the_end, &untouched, sizeof untouched), 0)
            << "a slot past the table was written";
        set_message_presenter(previous_message_);
        set_question_presenter(previous_question_);
        fs::current_path(home_);
        fs::remove_all(dir_);
    }

    // Both leave no file open, whatever the outcome.
    bool load() {
        size_t before = open_descriptors();
        bool loaded = load_machine_list(list(), real_record_files(), collect_test_text);
        EXPECT_EQ(open_descriptors(), before);
        return loaded;
    }
    bool save(RecordFiles& files = real_record_files()) {
        size_t before = open_descriptors();
        bool saved = save_machine_list(list(), files);
        EXPECT_EQ(open_descriptors(), before);
        return saved;
    }

    MachineList& list() { return table_->list; }

private:
    fs::path home_, dir_;
    MessagePresenter previous_message_ = nullptr;
    QuestionPresenter previous_question_ = nullptr;
    // A slot after the table, so that a list growing past its 100 slots fails a test instead of
    // corrupting the heap.
    struct GuardedList {
        MachineList list;
        MachineRecord past_the_end;
    };
    std::unique_ptr<GuardedList> table_;
};

TEST_F(RecordStore, WithoutAnyNameLineTheBaseSystemIsTheOnlyMachine) {
    write_file("kalvit.dat", "no marker here\n 1.00 2.00 3.00 4.00 5.00 00000011 800 600 32\n");
    write_file("kalvitif.dat", std::string("base text", 10));
    std::memset(&list(), 0x55, sizeof list());
    list().current_stored = 1;

    ASSERT_TRUE(load());
    EXPECT_EQ(list().stored_count, 1);
    const MachineRecord& base = list().entries[0];
    EXPECT_EQ(std::string(base.name), kBaseName);
    const float speeds[kTestCount] = {35.70f, 3.39f, 253.49f, 339.74f, 16.82f};
    for (int k = 0; k < kTestCount; ++k)
        EXPECT_EQ(base.speeds[k], speeds[k]) << k;
    EXPECT_EQ(base.option_flags, 0u);
    EXPECT_EQ(base.ddraw_width, 1024);
    EXPECT_EQ(base.ddraw_height, 768);
    EXPECT_EQ(base.ddraw_bits, 16);
    EXPECT_EQ(std::string(base.info_text), "base text");

    const MachineRecord& current = list().entries[1];
    EXPECT_EQ(std::string(current.name), "当前系统");
    EXPECT_EQ(std::string(current.info_text), "collected\n");
    EXPECT_EQ(current.speeds[0], 0.0f);
    EXPECT_EQ(current.ddraw_width, 0);
    EXPECT_EQ(list().current_stored, 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(RecordStore, NameLinesAreFoundAmongOtherLines) {
    // Whatever follows the bytes that count of a long line would start a record of its own.
    const std::string name_bytes(255, 'x'), number_bytes = " 1" + std::string(97, ' ');
    struct Case {
        const char* what;
        std::string file;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"stray lines take no slot",
         "junk\n<Alpha\n 1 2 3 4 5 0 1 2 3\n\nmore junk\n<Beta\n 1 2 3 4 5 0 1 2 3\n",
         {"Alpha", "Beta"}},
        {"blanks after the marker go, trailing ones stay", "<   Gamma  \n 1\n", {"Gamma  "}},
        {"CR LF line ends", "<Delta\r\n 1\r\n<Eps\r\n 1\r\n", {"Delta", "Eps"}},
        {"a marker past byte 255 of a line is no marker",
         name_bytes + "<Ghost\n<Real\n 1\n",
         {"Real"}},
        {"a marker past byte 99 of a numbers line is no marker",
         "<A\n" + number_bytes + "<Ghost\n<B\n",
         {"A", "B"}},
        {"a name line without its numbers line", "<Last", {"Last"}},
        {"a marker with nothing after it", "<  \n 1\n<Next\n 1\n", {"", "Next"}},
    };
    for (const Case& c : cases) {
        write_file("kalvit.dat", c.file);
        ASSERT_TRUE(load()) << c.what;
        EXPECT_EQ(names_of(list(), list().stored_count), c.names) << c.what;
        EXPECT_EQ(std::string(list().entries[list().stored_count].name), "当前系统") << c.what;
    }
}

TEST_F(RecordStore, NumbersLineFillsWhatTheScanReaches) {
    struct Case {
        const char* line;
        float speeds[kTestCount];
        uint32_t flags;
        int16_t width, height, bits;
    };
    const Case cases[] = {
        {" 12.35  3.39 253.49 339.74 16.82 0000A011 800 600 32",
         {12.35f, 3.39f, 253.49f, 339.74f, 16.82f},
         0xA011,
         800,
         600,
         32},
        {" 1.50 2.50", {1.5f, 2.5f, 0, 0, 0}, 0, 0, 0, 0},
        {" 1 2 3 4 5 ff -1", {1, 2, 3, 4, 5}, 0xFF, -1, 0, 0},
        {"garbage", {0, 0, 0, 0, 0}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        write_file("kalvit.dat", "<M\n" + std::string(c.line) + "\n");
        ASSERT_TRUE(load()) << c.line;
        const MachineRecord& m = list().entries[0];
        for (int k = 0; k < kTestCount; ++k)
            EXPECT_EQ(m.speeds[k], c.speeds[k]) << c.line << " speed " << k;
        EXPECT_EQ(m.option_flags, c.flags) << c.line;
        EXPECT_EQ(m.ddraw_width, c.width) << c.line;
        EXPECT_EQ(m.ddraw_height, c.height) << c.line;
        EXPECT_EQ(m.ddraw_bits, c.bits) << c.line;
    }
}

TEST_F(RecordStore, AtMost99MachinesAreRead) {
    std::string file;
    for (int i = 0; i < 105; ++i)
        file += "<M" + std::to_string(i) + "\n 1\n";
    write_file("kalvit.dat", file);
    ASSERT_TRUE(load());
    EXPECT_EQ(list().stored_count, 99);
    EXPECT_EQ(std::string(list().entries[98].name), "M98");
    EXPECT_EQ(std::string(list().entries[99].name), "当前系统");
}

TEST_F(RecordStore, LongNamesAreCutAtAWholeCharacter) {
    const std::string ascii97(97, 'a');
    struct Case {
        std::string typed;
        std::string stored;
    };
    const Case cases[] = {
        {"机器" + std::string(95, 'n'), "机器" + std::string(95, 'n')}, // 99 bytes exactly
        {ascii97 + "机x", ascii97 + "机"},                              // the 100th byte goes
        {ascii97 + "a机", ascii97 + "a"},                               // never half a character
        {"  " + ascii97 + "机", ascii97},                               // cut before the trim
    };
    for (const Case& c : cases) {
        fill_list(list(), {});
        int index = -1;
        ASSERT_EQ(store_current_machine(list(), c.typed.c_str(), index), StoreResult::kStored);
        EXPECT_EQ(std::string(list().entries[1].name), c.stored);
        ASSERT_TRUE(save_stored_machine(list(), real_record_files()));
        ASSERT_TRUE(load());
        ASSERT_EQ(list().stored_count, 2);
        EXPECT_EQ(std::string(list().entries[1].name), c.stored);
    }
    // A name line of the file is cut the same way.
    write_file("kalvit.dat", "< " + ascii97 + "a机机\n 1\n");
    ASSERT_TRUE(load());
    EXPECT_EQ(std::string(list().entries[0].name), ascii97 + "a");
}

TEST_F(RecordStore, SpeedsAreWrittenWithTwoDecimals) {
    fill_list(list(), {make_record("Fast", 12.3456f)});
    list().entries[1].speeds[1] = 3.39f;
    ASSERT_TRUE(save());
    EXPECT_EQ(read_file("kalvit.dat"),
              "<" + kBaseName +
                  "\n 35.70  2.00  3.00  4.00  5.00 00000011 800 600 32\n"
                  "<Fast\n 12.35  3.39  3.00  4.00  5.00 00000011 800 600 32\n");
    ASSERT_TRUE(load());
    EXPECT_EQ(list().entries[1].speeds[0], 12.35f);
}

TEST_F(RecordStore, TheBuiltInBaseSystemIsWrittenAsDelivered) {
    install_base_system(list());
    ASSERT_TRUE(save());
    EXPECT_EQ(read_file("kalvit.dat"), without_cr(read_file(KALVIT_DATA_DIR "/kalvit.dat")));
    EXPECT_EQ(read_file("kalvitif.dat"), std::string(1, '\0'));
}

TEST_F(RecordStore, TheDeliveredFilesHoldTheBaseSystemAndItsText) {
    for (const char* name : {"kalvit.dat", "kalvitif.dat"})
        fs::copy_file(fs::path(KALVIT_DATA_DIR) / name, name);
    ASSERT_TRUE(load());
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(list().stored_count, 1);
    EXPECT_EQ(std::string(list().entries[0].name), kBaseName);
    EXPECT_EQ(list().entries[0].speeds[2], 253.49f);

    // On this platform the text mode keeps the CRs of the Windows line ends.
    std::string text = without_cr(list().entries[0].info_text);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(lines[3], "650  MHz    ");
    EXPECT_EQ(lines[7], "1024x768 16bit");
    for (const std::string& line : lines)
        EXPECT_FALSE(line.empty());
    EXPECT_LT(std::strlen(list().entries[0].info_text), 1023u);
    EXPECT_EQ(read_file(fs::path(KALVIT_DATA_DIR) / "kalvitif.dat").back(), '\0');

    // Saved again, the pair comes out as it went in, but for the line ends of the records.
    ASSERT_TRUE(save());
    EXPECT_EQ(read_file("kalvit.dat"), without_cr(read_file(KALVIT_DATA_DIR "/kalvit.dat")));
    EXPECT_EQ(read_file("kalvitif.dat"), read_file(KALVIT_DATA_DIR "/kalvitif.dat"));
}

TEST_F(RecordStore, AFullTextIsWrittenWithoutItsZeroByte) {
    std::string full;
    for (int i = 0; full.size() < 1023; ++i)
        full += (i % 40 == 39) ? '\n' : static_cast<char>('a' + i % 26);
    ASSERT_EQ(full.size(), 1023u);
    fill_list(list(), {make_record("Full", 1.0f, full), make_record("Next", 1.0f, "next")});
    ASSERT_TRUE(save());
    EXPECT_EQ(read_file("kalvitif.dat"),
              std::string("base\n\0", 6) + full + std::string("next\0", 5));

    ASSERT_TRUE(load());
    ASSERT_EQ(list().stored_count, 3);
    EXPECT_EQ(std::string(list().entries[1].info_text), full);
    EXPECT_EQ(std::string(list().entries[2].info_text), "next");
}

TEST_F(RecordStore, TextsEndWithTheFile) {
    struct Case {
        std::string file;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"", {"", "", ""}},
        {std::string("one\0", 4), {"one", "", ""}},
        {std::string("one\0two", 7), {"one", "two", ""}},
        {std::string("one\0\0three\0four\0", 17), {"one", "", "three"}},
        {std::string(1500, 'z'), {std::string(1023, 'z'), std::string(477, 'z'), ""}},
    };
    for (const Case& c : cases) {
        write_file("kalvit.dat", "<A\n 1\n<B\n 1\n<C\n 1\n");
        write_file("kalvitif.dat", c.file);
        std::memset(&list(), 'q', sizeof list());
        ASSERT_TRUE(load());
        std::vector<std::string> texts;
        for (int i = 0; i < 3; ++i)
            texts.emplace_back(list().entries[i].info_text);
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(std::string(list().entries[3].info_text), "collected\n");
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(RecordStore, MissingFilesAreReported) {
    ASSERT_FALSE(load());
    EXPECT_EQ(messages, std::vector<std::string>{"Can't open kalvit.dat for read!"});

    messages.clear();
    write_file("kalvit.dat", "<A\n 1\n<B\n 1\n");
    std::memset(&list(), 'q', sizeof list());
    ASSERT_TRUE(load());
    EXPECT_EQ(messages, std::vector<std::string>{"Can't open kalvitif.dat for read!"});
    EXPECT_EQ(list().stored_count, 2);
    EXPECT_EQ(list().entries[0].info_text[0], '\0');
    EXPECT_EQ(list().entries[1].info_text[0], '\0');
}

TEST_F(RecordStore, StoringRefusesReservedNames) {
    const std::string current_message = "机器名不能叫做'当前系统'\n请重新输入有效的机器名！";
    const std::string base_message = "不能修改'基本系统'\n请重新输入有效的机器名！";
    struct Case {
        std::string typed;
        const std::string& message;
    };
    const Case cases[] = {
        {"当前系统", current_message}, {"", current_message},
        {"    ", current_message},     {"  当前系统", current_message},
        {kBaseName, base_message},     {"   " + kBaseName, base_message},
    };
    for (const Case& c : cases) {
        fill_list(list(), {make_record("Alpha")});
        messages.clear();
        int index = -7;
        EXPECT_EQ(store_current_machine(list(), c.typed.c_str(), index), StoreResult::kRefused)
            << c.typed;
        EXPECT_EQ(messages, std::vector<std::string>{c.message}) << c.typed;
        EXPECT_EQ(index, -7);
        EXPECT_EQ(list().stored_count, 2);
        EXPECT_EQ(std::string(list().entries[2].name), "当前系统");
        EXPECT_TRUE(questions.empty());
    }
}

TEST_F(RecordStore, StoringANewNameAppendsTheMachine) {
    fill_list(list(), {make_record("Alpha")});
    int index = -1;
    ASSERT_EQ(store_current_machine(list(), "  Gamma ", index), StoreResult::kStored);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(list().stored_count, 3);
    EXPECT_EQ(names_of(list(), 4),
              (std::vector<std::string>{kBaseName, "Alpha", "Gamma ", "Gamma "}));
    EXPECT_EQ(list().entries[2].speeds[0], 77.0f);
    EXPECT_EQ(list().entries[3].speeds[0], 77.0f);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(list().current_stored, 0);
    ASSERT_TRUE(save_stored_machine(list(), real_record_files()));
    EXPECT_EQ(list().current_stored, 1);
}

TEST_F(RecordStore, AnExistingNameIsOverwrittenOnlyOnYes) {
    fill_list(list(), {make_record("Alpha", 1.0f, "a"), make_record("Beta", 2.0f, "b")});
    ASSERT_TRUE(save());
    const std::string records = read_file("kalvit.dat"), texts = read_file("kalvitif.dat");

    answer = false;
    int index = -1;
    EXPECT_EQ(store_current_machine(list(), "Beta", index), StoreResult::kDeclined);
    EXPECT_EQ(questions, std::vector<std::string>{"机器名\"Beta\"已经存在，是否更新记录？"});
    EXPECT_EQ(list().stored_count, 3);
    EXPECT_EQ(list().entries[2].speeds[0], 2.0f);
    EXPECT_EQ(std::string(list().entries[2].info_text), "b");
    EXPECT_EQ(std::string(list().entries[3].name), "Beta"); // until the next run
    EXPECT_EQ(read_file("kalvit.dat"), records);
    EXPECT_EQ(read_file("kalvitif.dat"), texts);

    answer = true;
    ASSERT_EQ(store_current_machine(list(), "Beta", index), StoreResult::kStored);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(list().stored_count, 3);
    EXPECT_EQ(list().entries[2].speeds[0], 77.0f);
    EXPECT_EQ(std::string(list().entries[2].info_text), "here\n");
    EXPECT_EQ(list().entries[1].speeds[0], 1.0f);
    ASSERT_TRUE(save_stored_machine(list(), real_record_files()));
    ASSERT_TRUE(load());
    EXPECT_EQ(names_of(list(), 3), (std::vector<std::string>{kBaseName, "Alpha", "Beta"}));
    EXPECT_EQ(list().entries[2].speeds[0], 77.0f);
}

TEST_F(RecordStore, NinetyNineStoredMachinesTakeNoNewOne) {
    std::vector<MachineRecord> stored;
    for (int i = 1; i < 99; ++i)
        stored.push_back(make_record(numbered(i), static_cast<float>(i)));
    fill_list(list(), stored);
    ASSERT_EQ(list().stored_count, 99);

    int index = -1;
    EXPECT_EQ(store_current_machine(list(), "New", index), StoreResult::kRefused);
    EXPECT_EQ(messages, std::vector<std::string>{
                            "已经存储了99台机器，不能再存储新的机器。\n请先删除不用的记录！"});
    EXPECT_EQ(list().stored_count, 99);
    EXPECT_EQ(std::string(list().entries[99].name), "当前系统");
    EXPECT_EQ(list().entries[99].speeds[0], 77.0f);
    EXPECT_EQ(std::string(list().entries[98].name), "M98");

    ASSERT_EQ(store_current_machine(list(), "M50", index), StoreResult::kStored);
    EXPECT_EQ(index, 50);
    EXPECT_EQ(list().entries[50].speeds[0], 77.0f);
    EXPECT_EQ(list().stored_count, 99);
}

TEST_F(RecordStore, DeletingRefusesTheBaseAndTheUnstoredCurrentSystem) {
    const std::string base = "不能删除 \" 基本系统 \" !";
    const std::string unstored = "当前系统的数据尚未存储，所以不用删除。";
    const std::string too_few = "不能再删除记录了.";
    struct Case {
        int stored_machines, current_stored, index;
        DeleteResult result;
        const std::string& message;
    };
    const Case cases[] = {
        {2, 0, 0, DeleteResult::kRefused, base},     {2, 1, 0, DeleteResult::kRefused, base},
        {0, 1, 0, DeleteResult::kRefused, base},     {2, 0, -1, DeleteResult::kRefused, unstored},
        {2, 0, 3, DeleteResult::kRefused, unstored}, {0, 1, -1, DeleteResult::kTooFew, too_few},
        {0, 1, 1, DeleteResult::kTooFew, too_few},
    };
    for (const Case& c : cases) {
        std::vector<MachineRecord> stored;
        for (int i = 0; i < c.stored_machines; ++i)
            stored.push_back(make_record(numbered(i)));
        fill_list(list(), stored);
        list().current_stored = c.current_stored;
        messages.clear();
        int index = c.index;
        EXPECT_EQ(delete_machine(list(), index), c.result) << c.index;
        EXPECT_EQ(messages, std::vector<std::string>{c.message}) << c.index;
        EXPECT_EQ(list().stored_count, c.stored_machines + 1);
        EXPECT_TRUE(questions.empty());
    }
}

TEST_F(RecordStore, DeletingMovesTheLaterEntriesForward) {
    // The names of slots 0 to 4: the current system last, the slot it left cleared.
    struct Case {
        int selected, removed;
        const char* question;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {1, 1, "确认要删除记录：\n\" A \" ?", {kBaseName, "B", "C", "当前系统", ""}},
        {2, 2, "确认要删除记录：\n\" B \" ?", {kBaseName, "A", "C", "当前系统", ""}},
        {3, 3, "确认要删除记录：\n\" C \" ?", {kBaseName, "A", "B", "当前系统", ""}},
        {-1, 3, "确认要删除记录：\n\" C \" ?", {kBaseName, "A", "B", "当前系统", ""}},
        {4, 3, "确认要删除记录：\n\" C \" ?", {kBaseName, "A", "B", "当前系统", ""}},
    };
    for (const Case& c : cases) {
        fill_list(list(), {make_record("A", 1.0f), make_record("B", 2.0f), make_record("C", 3.0f)});
        list().current_stored = 1;
        questions.clear();
        int index = c.selected;
        ASSERT_EQ(delete_machine(list(), index), DeleteResult::kDeleted) << c.selected;
        EXPECT_EQ(index, c.removed) << c.selected;
        EXPECT_EQ(questions, std::vector<std::string>{c.question}) << c.selected;
        EXPECT_EQ(list().stored_count, 3) << c.selected;
        EXPECT_EQ(names_of(list(), 5), c.names) << c.selected;
        EXPECT_EQ(list().entries[3].speeds[0], 77.0f) << c.selected;
        EXPECT_EQ(list().entries[4].speeds[0], 0.0f) << c.selected;
        EXPECT_EQ(list().current_stored, 1) << c.selected;
    }
    answer = false;
    fill_list(list(), {make_record("A")});
    int index = 1;
    EXPECT_EQ(delete_machine(list(), index), DeleteResult::kDeclined);
    EXPECT_EQ(list().stored_count, 2);
    EXPECT_EQ(names_of(list(), 3), (std::vector<std::string>{kBaseName, "A", "当前系统"}));
}

// The pair on disk before a save, and the list the save is asked to write.
class SavingRecords : public RecordStore {
protected:
    void make_old_pair(bool with_texts) {
        fill_list(list(), {make_record("Old", 1.0f, "old text")});
        ASSERT_TRUE(save());
        old_records_ = read_file("kalvit.dat");
        old_texts_ = read_file("kalvitif.dat");
        if (!with_texts)
            fs::remove("kalvitif.dat");
        fill_list(list(), {make_record("New1", 2.0f, "new one"), make_record("New2", 3.0f, "2")});
        messages.clear();
    }
    void expect_old_pair(bool with_texts, const std::string& what) {
        EXPECT_EQ(read_file("kalvit.dat"), old_records_) << what;
        if (with_texts) {
            EXPECT_EQ(read_file("kalvitif.dat"), old_texts_) << what;
            EXPECT_EQ(files_here(), (std::set<std::string>{"kalvit.dat", "kalvitif.dat"})) << what;
        } else {
            EXPECT_EQ(files_here(), std::set<std::string>{"kalvit.dat"}) << what;
        }
    }
    std::string old_records_, old_texts_;
};

TEST_F(SavingRecords, AFailedStepLeavesTheOldPair) {
    using F = FailingFiles;
    struct Case {
        F::Kind kind;
        int n;
        bool with_texts;
        const std::string& message;
    };
    const Case cases[] = {
        {F::kOpen, 1, true, kCantWriteRecords},     {F::kOpen, 2, true, kCantWriteTexts},
        {F::kFinish, 1, true, kCantWriteRecords},   {F::kFinish, 2, true, kCantWriteTexts},
        {F::kReplace, 1, true, kCantWriteTexts},    {F::kReplace, 2, true, kCantWriteTexts},
        {F::kReplace, 3, true, kCantWriteRecords},  {F::kOpen, 1, false, kCantWriteRecords},
        {F::kOpen, 2, false, kCantWriteTexts},      {F::kFinish, 1, false, kCantWriteRecords},
        {F::kFinish, 2, false, kCantWriteTexts},    {F::kReplace, 1, false, kCantWriteTexts},
        {F::kReplace, 2, false, kCantWriteRecords},
    };
    for (const Case& c : cases) {
        const std::string what = "kind " + std::to_string(c.kind) + " call " + std::to_string(c.n) +
                                 (c.with_texts ? "" : " without texts");
        make_old_pair(c.with_texts);
        FailingFiles files(c.kind, c.n);
        EXPECT_FALSE(save(files)) << what;
        EXPECT_EQ(messages, std::vector<std::string>{c.message}) << what;
        EXPECT_EQ(files.open_files, 0) << what;
        expect_old_pair(c.with_texts, what);
    }
}

TEST_F(SavingRecords, EveryFailingStepIsOneOfTheAbove) {
    using F = FailingFiles;
    // One call more of each kind than the steps above: the save no longer meets a failure.
    struct Case {
        F::Kind kind;
        int n;
        bool with_texts;
    };
    const Case cases[] = {{F::kOpen, 3, true},  {F::kFinish, 3, true},  {F::kReplace, 4, true},
                          {F::kOpen, 3, false}, {F::kFinish, 3, false}, {F::kReplace, 3, false}};
    for (const Case& c : cases) {
        make_old_pair(c.with_texts);
        FailingFiles files(c.kind, c.n);
        ASSERT_TRUE(save(files));
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(files.open_files, 0);
        EXPECT_EQ(files_here(), (std::set<std::string>{"kalvit.dat", "kalvitif.dat"}));
        ASSERT_TRUE(load());
        EXPECT_EQ(names_of(list(), 3), (std::vector<std::string>{kBaseName, "New1", "New2"}));
        EXPECT_EQ(std::string(list().entries[1].info_text), "new one");
    }
}

TEST_F(SavingRecords, AFailedWriteLeavesTheOldPair) {
    struct Case {
        const char* temp;
        bool many; // enough to fail inside the writes, not only when flushing at the end
        const std::string& message;
    };
    const Case cases[] = {
        {"kalvit.dat.tmp", false, kCantWriteRecords},
        {"kalvitif.dat.tmp", false, kCantWriteTexts},
        {"kalvit.dat.tmp", true, kCantWriteRecords},
        {"kalvitif.dat.tmp", true, kCantWriteTexts},
    };
    for (const Case& c : cases) {
        make_old_pair(true);
        if (c.many) {
            std::vector<MachineRecord> stored;
            for (int i = 1; i < 99; ++i)
                stored.push_back(make_record(numbered(i), 1.0f, std::string(900, 't')));
            fill_list(list(), stored);
        }
        FailingFiles files;
        files.redirect[c.temp] = "/dev/full";
        EXPECT_FALSE(save(files)) << c.temp;
        EXPECT_EQ(messages, std::vector<std::string>{c.message}) << c.temp;
        EXPECT_EQ(files.open_files, 0) << c.temp;
        expect_old_pair(true, c.temp);
    }
}

TEST_F(SavingRecords, StoredIsMarkedOnlyWhenWritten) {
    make_old_pair(true);
    FailingFiles failing(FailingFiles::kReplace, 3);
    EXPECT_FALSE(save_stored_machine(list(), failing));
    EXPECT_EQ(list().current_stored, 0);
    EXPECT_TRUE(save_stored_machine(list(), real_record_files()));
    EXPECT_EQ(list().current_stored, 1);
}

TEST_F(SavingRecords, TheNextLoadFinishesOrUndoesAnInterruptedSave) {
    make_old_pair(true);
    ASSERT_TRUE(save());
    const std::string new_records = read_file("kalvit.dat"), new_texts = read_file("kalvitif.dat");
    const std::string& old_records = old_records_;
    const std::string& old_texts = old_texts_;
    const std::string partial = new_records.substr(0, 10);

    // The files a save leaves when cut off after each of its steps.
    struct Case {
        const char* after;
        std::map<std::string, const std::string*> files;
        bool committed;
    };
    const Case cases[] = {
        {"opening the record temp",
         {{"kalvit.dat", &old_records}, {"kalvitif.dat", &old_texts}, {"kalvit.dat.tmp", &partial}},
         false},
        {"writing the temps",
         {{"kalvit.dat", &old_records},
          {"kalvitif.dat", &old_texts},
          {"kalvit.dat.tmp", &new_records},
          {"kalvitif.dat.tmp", &new_texts}},
         false},
        {"moving the old texts aside",
         {{"kalvit.dat", &old_records},
          {"kalvitif.dat.bak", &old_texts},
          {"kalvit.dat.tmp", &new_records},
          {"kalvitif.dat.tmp", &new_texts}},
         false},
        {"putting the new texts in place",
         {{"kalvit.dat", &old_records},
          {"kalvitif.dat.bak", &old_texts},
          {"kalvitif.dat", &new_texts},
          {"kalvit.dat.tmp", &new_records}},
         false},
        {"putting the new records in place",
         {{"kalvit.dat", &new_records},
          {"kalvitif.dat.bak", &old_texts},
          {"kalvitif.dat", &new_texts}},
         true},
        {"removing the old texts",
         {{"kalvit.dat", &new_records}, {"kalvitif.dat", &new_texts}},
         true},
    };
    for (const Case& c : cases) {
        for (const std::string& name : files_here())
            fs::remove(name);
        for (const auto& [name, bytes] : c.files)
            write_file(name, *bytes);
        ASSERT_TRUE(load()) << c.after;
        EXPECT_EQ(files_here(), (std::set<std::string>{"kalvit.dat", "kalvitif.dat"})) << c.after;
        EXPECT_EQ(read_file("kalvit.dat"), c.committed ? new_records : old_records) << c.after;
        EXPECT_EQ(read_file("kalvitif.dat"), c.committed ? new_texts : old_texts) << c.after;
        EXPECT_EQ(std::string(list().entries[1].info_text), c.committed ? "new one" : "old text")
            << c.after;
    }
}
} // namespace
