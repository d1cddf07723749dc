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
        {F::kReplace, 3, true, kCantWriteRecords},
        // Without texts an empty file is made for them first.
        {F::kOpen, 1, false, kCantWriteTexts},      {F::kOpen, 2, false, kCantWriteRecords},
        {F::kOpen, 3, false, kCantWriteTexts},      {F::kFinish, 1, false, kCantWriteTexts},
        {F::kFinish, 2, false, kCantWriteRecords},  {F::kFinish, 3, false, kCantWriteTexts},
        {F::kReplace, 1, false, kCantWriteTexts},   {F::kReplace, 2, false, kCantWriteTexts},
        {F::kReplace, 3, false, kCantWriteRecords},
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
                          {F::kOpen, 4, false}, {F::kFinish, 4, false}, {F::kReplace, 4, false}};
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

    // A save over records without texts, cut off once its texts were in place: the empty file
    // that stood for them comes back, not the new texts beside the old records.
    for (const std::string& name : files_here())
        fs::remove(name);
    write_file("kalvit.dat", old_records);
    write_file("kalvitif.dat.bak", "");
    write_file("kalvitif.dat", new_texts);
    write_file("kalvit.dat.tmp", new_records);
    ASSERT_TRUE(load());
    EXPECT_EQ(read_file("kalvitif.dat"), "");
    EXPECT_EQ(std::string(list().entries[1].info_text), "");
    EXPECT_STREQ(list().entries[1].name, "Old");
}
} // namespace
