#include "tests/native/record_store_support.h"

using namespace record_tests;

namespace {
TEST_F(RecordStore, WithoutAnyNameLineTheBaseSystemIsTheOnlyMachine) {
    write_file("kalvit.dat", "no marker here\n 1.00 2.00 3.00 4.00 5.00 00000011 800 600 32\n");
    write_file("kalvitif.dat", std::string("base text", 10));
    std::memset(&list(), 0x55, sizeof list());
    list().current_stored = 1;

    ASSERT_TRUE(load());
    EXPECT_EQ(list().stored_count, 1);
    const MachineRecord& base = list().entries[0];
    EXPECT_EQ(std::string(base.name), kBaseName);
    EXPECT_EQ(base.speeds[0], 35.70f);
    EXPECT_EQ(std::string(base.info_text), "base text");

    const MachineRecord& current = list().entries[1];
    EXPECT_EQ(std::string(current.name), "当前系统");
    EXPECT_EQ(std::string(current.info_text), "collected\n");
    EXPECT_EQ(current.speeds[0], 0.0f);
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
        {"a CR ending the file ends the name", "<Last\r", {"Last"}},
        {"a CR that the cut leaves last goes",
         "<" + std::string(98, 'c') + "\rmore\n 1\n",
         {std::string(98, 'c')}},
        {"and half a character before it", "<ab\xB0\r", {"ab"}},
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

TEST_F(RecordStore, TheDeliveredFilesHoldTheBaseSystemAndItsText) {
    for (const char* name : {"kalvit.dat", "kalvitif.dat"})
        fs::copy_file(fs::path(KALVIT_DATA_DIR) / name, name);
    ASSERT_TRUE(load());
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(list().stored_count, 1);
    EXPECT_EQ(std::string(list().entries[0].name), kBaseName);
    EXPECT_EQ(list().entries[0].speeds[2], 253.49f);

    // On this platform the text mode keeps the CRs of the Windows line ends.
    const std::string text = without_cr(list().entries[0].info_text);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 15);
    EXPECT_NE(text.find("\n650  MHz    \n"), std::string::npos);
    EXPECT_EQ(text.find("\n\n"), std::string::npos);

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
        {"", current_message},
        {"  当前系统", current_message},
        {"   " + kBaseName, base_message},
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
        {2, 1, 0, DeleteResult::kRefused, base},      {0, 1, 0, DeleteResult::kRefused, base},
        {2, 0, -1, DeleteResult::kRefused, unstored}, {2, 0, 3, DeleteResult::kRefused, unstored},
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
} // namespace
