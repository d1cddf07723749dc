#include "tests/native/record_store_support.h"

using namespace record_tests;

namespace {
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
            // Still no texts: none, or the empty file that stands for them.
            if (files_here().count("kalvitif.dat")) {
                EXPECT_EQ(read_file("kalvitif.dat"), "") << what;
            }
            std::set<std::string> left = files_here();
            left.erase("kalvitif.dat");
            EXPECT_EQ(left, std::set<std::string>{"kalvit.dat"}) << what;
        }
    }
    std::string old_records_, old_texts_;
};

// One or two steps of a save fail, twice, and then the put-back of the next load, where it has
// one: every load finds the old pair or the new one, each machine with its own text, and leaves no
// temporary file once a load has gone through whole. A single failing step leaves the old pair as
// it was, with the message of the file it belongs to.
TEST_F(SavingRecords, AnyTwoFailingStepsLeaveTheOldOrTheNewPair) {
    const std::vector<std::string> old_names = {kBaseName, "Old"};
    const std::vector<std::string> new_names = {kBaseName, "New1", "New2"};
    const std::string none, &rec = kCantWriteRecords, &txt = kCantWriteTexts;
    // Each step's message: two removes of a cut-off save's temps, opening and finishing the
    // temps, the three renames, removing the old texts; without texts an empty file first.
    const std::vector<const std::string*> told_with = {&none, &none, &rec, &txt, &rec,
                                                       &txt,  &txt,  &txt, &rec, &none};
    const std::vector<const std::string*> told_without = {&none, &none, &txt, &txt, &rec, &txt,
                                                          &rec,  &txt,  &txt, &txt, &rec, &none};
    for (bool with_texts : {true, false}) {
        const std::vector<const std::string*>& told = with_texts ? told_with : told_without;
        // Records without texts load with empty ones.
        const std::map<std::string, std::string> texts = {
            {kBaseName, "base\n"}, {"Old", "old text"}, {"New1", "new one"}, {"New2", "2"}};
        const int steps = static_cast<int>(told.size());
        for (int a = 1; a <= steps; ++a) {
            for (int b = a; b <= steps; ++b) {
                for (bool load_fails : {false, true}) {
                    const std::string what =
                        "steps " + std::to_string(a) + " and " + std::to_string(b) +
                        (load_fails ? ", load fails" : "") + (with_texts ? "" : ", without texts");
                    make_old_pair(with_texts);
                    FailingFiles files({a, b}), again({a, b});
                    bool saved = save(files);
                    if (a == b) {
                        const std::string& message = *told[a - 1];
                        EXPECT_EQ(messages, message.empty() ? std::vector<std::string>{}
                                                            : std::vector<std::string>{message})
                            << what;
                        if (!saved)
                            expect_old_pair(with_texts, what);
                    }
                    // A failed save is tried again, and the same steps fail again.
                    saved = saved || save(again);
                    EXPECT_EQ(files.open_files + again.open_files, 0) << what;
                    FailingFiles failing_load(load_fails ? std::set<int>{1} : std::set<int>{});
                    for (RecordFiles* files :
                         {static_cast<RecordFiles*>(&failing_load), &real_record_files()}) {
                        messages.clear();
                        ASSERT_TRUE(load(*files)) << what;
                        const MachineList& l = list();
                        const std::vector<std::string> names = names_of(l, l.stored_count);
                        EXPECT_EQ(names, saved ? new_names : old_names) << what;
                        const bool texts_kept = with_texts || names == new_names;
                        for (int i = 0; i < l.stored_count && texts.count(l.entries[i].name); ++i)
                            EXPECT_EQ(l.entries[i].info_text,
                                      texts_kept ? texts.at(l.entries[i].name) : "")
                                << what << ", machine " << i;
                        if (with_texts)
                            EXPECT_TRUE(messages.empty()) << what << ": " << messages[0];
                    }
                    for (const std::string& name : files_here())
                        EXPECT_TRUE(name == "kalvit.dat" || name == "kalvitif.dat") << what;
                }
            }
        }
    }
}

// Files written through streams of the test's own, so that exactly one step of a save fails:
// the n-th write (through a buffer of 16 bytes, so that every record and text takes writes of
// its own), or the flush or the close of the n-th file finished.
class OneStepFails : public RecordFiles {
public:
    enum Step { kWrite, kFlush, kClose };
    OneStepFails(Step step, int n) : step_(step), n_(n) {}

    FILE* open(const char* name, const char* mode) override {
        FILE* real = RecordFiles::open(name, mode);
        if (real == nullptr || mode[0] != 'w')
            return real;
        auto* stream = new Stream{this, real, name, false, {}};
        FILE* file = fopencookie(stream, mode, {nullptr, write, nullptr, close});
        if (step_ == kWrite)
            std::setvbuf(file, stream->buffer, _IOFBF, sizeof stream->buffer);
        ++open_files;
        streams_[file] = stream;
        return file;
    }
    bool finish(FILE* file) override {
        --open_files;
        current_ = streams_.at(file);
        streams_.erase(file);
        ++finished_;
        return RecordFiles::finish(file);
    }
    // A stream of the test has no descriptor to sync.
    bool flush(FILE* file) override {
        const bool flushed = std::fflush(file) == 0;
        if (step_ != kFlush || finished_ != n_)
            return flushed;
        failed_in = current_->name;
        return false;
    }
    bool close(FILE* file) override {
        current_->fail_close = step_ == kClose && finished_ == n_;
        return RecordFiles::close(file);
    }

    int open_files = 0;
    std::string failed_in; // the file whose step failed, empty while none did

private:
    struct Stream {
        OneStepFails* files;
        FILE* real;
        std::string name;
        bool fail_close = false;
        char buffer[16];
    };
    static ssize_t write(void* cookie, const char* bytes, size_t size) {
        auto* s = static_cast<Stream*>(cookie);
        if (s->files->step_ == kWrite && ++s->files->writes_ == s->files->n_) {
            s->files->failed_in = s->name;
            return -1;
        }
        return std::fwrite(bytes, 1, size, s->real) == size ? static_cast<ssize_t>(size) : -1;
    }
    static int close(void* cookie) {
        auto* s = static_cast<Stream*>(cookie);
        const bool fail = s->fail_close;
        if (fail)
            s->files->failed_in = s->name;
        std::fclose(s->real);
        delete s;
        return fail ? -1 : 0;
    }
    Step step_;
    int n_, writes_ = 0, finished_ = 0;
    std::map<FILE*, Stream*> streams_;
    Stream* current_ = nullptr;
};

TEST_F(SavingRecords, EveryWriteFlushAndCloseThatFailsLeavesTheOldPair) {
    for (bool with_texts : {true, false}) {
        for (auto step : {OneStepFails::kWrite, OneStepFails::kFlush, OneStepFails::kClose}) {
            for (int n = 1;; ++n) {
                const std::string what = "step " + std::to_string(step) + " #" + std::to_string(n) +
                                         (with_texts ? "" : " without texts");
                ASSERT_LT(n, 200) << what;
                make_old_pair(with_texts);
                OneStepFails files(step, n);
                const bool saved = save(files);
                EXPECT_EQ(files.open_files, 0) << what;
                if (files.failed_in.empty()) {
                    // Past the last step of its kind: the save is whole.
                    ASSERT_TRUE(saved) << what;
                    EXPECT_TRUE(messages.empty()) << what;
                    EXPECT_EQ(files_here(), (std::set<std::string>{"kalvit.dat", "kalvitif.dat"}));
                    ASSERT_TRUE(load());
                    EXPECT_EQ(names_of(list(), 3),
                              (std::vector<std::string>{kBaseName, "New1", "New2"}));
                    break;
                }
                EXPECT_FALSE(saved) << what;
                EXPECT_EQ(messages, std::vector<std::string>{files.failed_in == kRecordTemp
                                                                 ? kCantWriteRecords
                                                                 : kCantWriteTexts})
                    << what << " in " << files.failed_in;
                expect_old_pair(with_texts, what);
            }
        }
    }
}

TEST_F(SavingRecords, StoredIsMarkedOnlyWhenWritten) {
    make_old_pair(true);
    FailingFiles failing({9}); // the new records' rename
    EXPECT_FALSE(save_stored_machine(list(), failing));
    EXPECT_EQ(list().current_stored, 0);
    EXPECT_TRUE(save_stored_machine(list(), real_record_files()));
    EXPECT_EQ(list().current_stored, 1);
}

} // namespace
