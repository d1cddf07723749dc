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
                        if (with_texts) {
                            EXPECT_TRUE(messages.empty()) << what << ": " << messages[0];
                        }
                    }
                    for (const std::string& name : files_here())
                        EXPECT_TRUE(name == "kalvit.dat" || name == "kalvitif.dat") << what;
                }
            }
        }
    }
}

// Finishing a written file fails when a write, the flush or the close failed; the file is closed
// either way. The streams are the test's own, so that each step can fail alone.
TEST(RecordFiles, FinishFailsWhenAWriteTheFlushOrTheCloseFailed) {
    struct Stream {
        bool fail_write, fail_close;
        int* open;
    };
    struct Files : RecordFiles {
        bool flush_ok = true;
        bool flush(FILE* file) override { return std::fflush(file) == 0 && flush_ok; }
    };
    const cookie_io_functions_t io = {nullptr,
                                      [](void* c, const char*, size_t n) -> ssize_t {
                                          return static_cast<Stream*>(c)->fail_write
                                                     ? -1
                                                     : static_cast<ssize_t>(n);
                                      },
                                      nullptr,
                                      [](void* c) {
                                          auto* s = static_cast<Stream*>(c);
                                          --*s->open;
                                          return s->fail_close ? -1 : 0;
                                      }};
    struct Case {
        bool fail_write, fail_flush, fail_close, buffered, finished;
    };
    const Case cases[] = {{false, false, false, true, true},
                          {true, false, false, false, false}, // the write itself is refused
                          {true, false, false, true, false},  // the buffer's write at the flush
                          {false, true, false, true, false},
                          {false, false, true, true, false}};
    for (const Case& c : cases) {
        int open = 1;
        Stream stream{c.fail_write, c.fail_close, &open};
        FILE* file = fopencookie(&stream, "w", io);
        ASSERT_NE(file, nullptr);
        if (!c.buffered)
            std::setvbuf(file, nullptr, _IONBF, 0);
        std::fputs("record", file);
        Files files;
        files.flush_ok = !c.fail_flush;
        EXPECT_EQ(files.finish(file), c.finished) << c.fail_write << c.fail_flush << c.fail_close;
        EXPECT_EQ(open, 0);
    }
    // The real flush reaches the disk, and a full one fails it.
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::fputs("record", full);
    EXPECT_FALSE(real_record_files().finish(full));
    FILE* temp = std::tmpfile();
    ASSERT_NE(temp, nullptr);
    std::fputs("record", temp);
    EXPECT_TRUE(real_record_files().finish(temp));
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

// Windows 95, 98 and Me replace a file by removing the old one and renaming the new one. The
// program may be killed at any of the save's file operations, between a removal and its rename
// too: the next load finds the old pair or the new one, each machine with its own text.
TEST_F(SavingRecords, AKillAtAnyStepOfARemoveAndRenameSaveLosesNoPair) {
    struct Killed {};
    class KilledFiles : public RecordFiles {
    public:
        explicit KilledFiles(int step) : step_(step) {}
        FILE* open(const char* name, const char* mode) override {
            kill_here();
            return RecordFiles::open(name, mode);
        }
        bool remove(const char* name) override {
            kill_here();
            return RecordFiles::remove(name);
        }
        bool replace(const char* from, const char* to) override {
            kill_here();
            if (!exists(from) || !RecordFiles::remove(to))
                return false;
            kill_here();
            return RecordFiles::replace(from, to);
        }
        bool killed = false;

    private:
        void kill_here() {
            if (++calls_ == step_) {
                killed = true;
                throw Killed{};
            }
        }
        int step_, calls_ = 0;
    };
    const std::map<std::string, std::string> texts = {
        {kBaseName, "base\n"}, {"Old", "old text"}, {"New1", "new one"}, {"New2", "2"}};
    bool finished = false;
    for (int step = 1; !finished; ++step) {
        const std::string what = "killed at step " + std::to_string(step);
        make_old_pair(true);
        KilledFiles files(step);
        try {
            ASSERT_TRUE(save(files)) << what;
        } catch (const Killed&) {
        }
        finished = !files.killed;
        ASSERT_LT(step, 40) << "the save never ends";
        messages.clear();
        ASSERT_TRUE(load(real_record_files())) << what;
        const MachineList& l = list();
        const std::vector<std::string> names = names_of(l, l.stored_count);
        EXPECT_TRUE(names == (std::vector<std::string>{kBaseName, "Old"}) ||
                    names == (std::vector<std::string>{kBaseName, "New1", "New2"}))
            << what << ": " << names.size() << " machines";
        for (int i = 0; i < l.stored_count && texts.count(l.entries[i].name); ++i)
            EXPECT_EQ(l.entries[i].info_text, texts.at(l.entries[i].name)) << what << ", " << i;
        EXPECT_TRUE(messages.empty()) << what << ": " << messages[0];
        for (const std::string& name : files_here())
            EXPECT_TRUE(name == "kalvit.dat" || name == "kalvitif.dat") << what << ": " << name;
    }
}
