#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/model.h"
#include "pages/record_store.h"
#include "shell/msgbox.h"

namespace fs = std::filesystem;

// The record tests' helpers: recorded messages and answers, files, a seam that fails a chosen
// step, and a fixture that runs each test in a directory of its own.

namespace record_tests {
inline const std::string kBaseName = "基本系统: 联想奔月4000 PIII650E";
inline const std::string kCantWriteRecords = "不能写入文件\"KALVIT.DAT\"";
inline const std::string kCantWriteTexts = "不能写入文件\"KALVITIF.DAT\"";

inline std::vector<std::string> messages;
inline std::vector<std::string> questions;
inline bool answer = true;

inline void record_message(const char* text) {
    messages.emplace_back(text);
}
inline bool record_question(const char* text) {
    questions.emplace_back(text);
    return answer;
}
inline int collect_test_text(char* text) {
    std::strcpy(text, "collected\n");
    return 1;
}

inline std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string without_cr(std::string text) {
    std::erase(text, '\r');
    return text;
}

inline size_t open_descriptors() {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

inline std::set<std::string> files_here() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator("."))
        names.insert(entry.path().filename().string());
    return names;
}

// "M7": built without operator+, which GCC 12 warns about wrongly here.
inline std::string numbered(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "M%d", i);
    return name;
}

inline MachineRecord make_record(const std::string& name, float first_speed = 1.0f,
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
inline void fill_list(MachineList& list, const std::vector<MachineRecord>& stored) {
    std::memset(&list, 0, sizeof list);
    list.entries[0] = make_record(kBaseName, 35.7f, "base\n");
    for (size_t i = 0; i < stored.size(); ++i)
        list.entries[i + 1] = stored[i];
    list.stored_count = static_cast<int>(stored.size()) + 1;
    list.entries[list.stored_count] = make_record("当前系统", 77.0f, "here\n");
}

inline std::vector<std::string> names_of(const MachineList& list, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.emplace_back(list.entries[i].name);
    return names;
}

// The real files, except that the calls whose numbers (counted from 1 over open, finish, replace
// and remove) are in `steps` fail (the file is still closed by a failing finish). Counts the
// files left open.
class FailingFiles : public RecordFiles {
public:
    explicit FailingFiles(std::set<int> steps = {}) : steps_(std::move(steps)) {}

    FILE* open(const char* name, const char* mode) override {
        if (fails())
            return nullptr;
        FILE* file = RecordFiles::open(name, mode);
        if (file != nullptr)
            ++open_files;
        return file;
    }
    bool finish(FILE* file) override {
        --open_files;
        if (fails()) {
            std::fclose(file);
            return false;
        }
        return RecordFiles::finish(file);
    }
    bool replace(const char* from, const char* to) override {
        return !fails() && RecordFiles::replace(from, to);
    }
    bool remove(const char* name) override { return !fails() && RecordFiles::remove(name); }

    int open_files = 0;

private:
    bool fails() { return steps_.count(++calls_) != 0; }
    std::set<int> steps_;
    int calls_ = 0;
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
    bool load(RecordFiles& files = real_record_files()) {
        size_t before = open_descriptors();
        bool loaded = load_machine_list(list(), files, collect_test_text);
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
} // namespace record_tests
