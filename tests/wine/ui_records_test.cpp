#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "tests/wine/ui_fixture.h"
#include "ui/gbk.h"
// The machine records survive the program being killed in the middle of a store or a delete:
// every start after a kill finds exactly the list before the command or exactly the one after
// it, each name with its own numbers and information text, and says nothing about it.

namespace {

constexpr int kStore = 1031, kDelete = 1034, kMachine1 = 1037;
constexpr char kCurrent[] = "当前系统";
constexpr char kBaseName[] = "基本系统: 联想奔月4000 PIII650E";
// What a save can leave in the folder, in the order of the state keys below.
const wchar_t* const kSaveFiles[] = {L"kalvit.dat", L"kalvitif.dat", L"kalvit.dat.tmp",
                                     L"kalvitif.dat.tmp", L"kalvitif.dat.bak"};
constexpr int kKills = 8; // kill points spread over twice a save's typical time
constexpr int kFewest = 2, kMost = 7; // stored machines besides the base system

// One stored machine as both files hold it: its numbers line and its information text.
struct Machine {
    std::string name, numbers, text;
};
using List = std::vector<Machine>;

std::vector<std::string> names_of(const List& list) {
    std::vector<std::string> names;
    for (const Machine& m : list)
        names.push_back(m.name);
    return names;
}

// The two files as the program writes them, in text mode.
std::string records_of(const List& list) {
    std::string out;
    for (const Machine& m : list)
        out += "<" + m.name + "\r\n" + m.numbers + "\r\n";
    return out;
}
std::string texts_of(const List& list) {
    std::string out;
    for (const Machine& m : list)
        out += m.text + '\0';
    return out;
}

// Both files read back as one list; empty when they do not pair up line by line and text by
// text.
std::optional<List> parse(const std::string& records, const std::string& texts) {
    List list;
    size_t at = 0;
    while (at < records.size()) {
        const size_t name_end = records.find("\r\n", at);
        const size_t numbers_end =
            name_end == std::string::npos ? name_end : records.find("\r\n", name_end + 2);
        if (records[at] != '<' || numbers_end == std::string::npos)
            return std::nullopt;
        list.push_back({records.substr(at + 1, name_end - at - 1),
                        records.substr(name_end + 2, numbers_end - name_end - 2), {}});
        at = numbers_end + 2;
    }
    at = 0;
    for (Machine& m : list) {
        const size_t end = texts.find('\0', at);
        if (end == std::string::npos)
            return std::nullopt;
        m.text = texts.substr(at, end - at);
        at = end + 1;
    }
    if (at != texts.size())
        return std::nullopt;
    return list;
}

double now_ms() {
    static const double per_ms = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / per_ms;
}

void busy_wait_ms(double ms) {
    const double until = now_ms() + ms;
    while (now_ms() < until) {
    }
}

class RecordKills : public uitest::UiCase {
protected:
    void SetUp() override {
        inst_ = uitest::prepare(L"record-kills");
        ASSERT_TRUE(inst_.has_value());
        // Three machines of their own before the stores, each text naming its machine.
        expected_ = {{kBaseName, " 35.70  3.39 253.49 339.74 16.82 00000000 1024 768 16",
                      "基本系统的信息\r\n"}};
        for (const char* name : {"甲机", "乙机", "丙机"})
            expected_.push_back({name, " 12.50  2.25 100.00 200.00  8.75 00000011 800 600 32",
                                 std::string(name) + "的处理器\r\n" + name + "的内存\r\n"});
        ASSERT_TRUE(driver::write_file(path(L"kalvit.dat"), records_of(expected_)));
        ASSERT_TRUE(driver::write_file(path(L"kalvitif.dat"), texts_of(expected_)));
    }

    std::wstring path(const wchar_t* name) const { return driver::join_path(inst_->dir, name); }

    // Which of the save's files are there, one letter each.
    std::string files_state() const {
        std::string key;
        for (const wchar_t* name : kSaveFiles)
            key += driver::file_exists(path(name)) ? '1' : '0';
        return key;
    }

    // Starts the program and opens the comparison page; null after a failure.
    HWND start() {
        process_ = uitest::start(*inst_);
        if (!process_)
            return nullptr;
        HWND frame = uitest::wait_for_frame(*process_);
        HWND sheet = frame != nullptr ? driver::find_sheet(frame) : nullptr;
        HWND page = nullptr;
        if (sheet != nullptr)
            driver::wait_until(
                [&] { return (page = driver::select_page(sheet, 1, kStore, 1000)) != nullptr; },
                driver::kStartTimeoutMs);
        EXPECT_NE(page, nullptr) << to_gbk(driver::describe_state(*process_));
        return page;
    }

    // What the program shows after its start and what its files hold: exactly `before` or
    // exactly `after` (when given), learning a machine that `after` adds. The list found.
    std::optional<List> check_loaded(HWND page, const List& before, const List* after) {
        std::optional<driver::MessageBoxInfo> box = driver::find_message_box(process_->id());
        EXPECT_FALSE(box.has_value()) << to_gbk(box ? box->text : L"");
        if (box)
            return std::nullopt;
        std::vector<std::string> shown = driver::combo_items(GetDlgItem(page, kMachine1));
        EXPECT_TRUE(!shown.empty() && shown.back() == kCurrent);
        if (!shown.empty())
            shown.pop_back();
        for (const wchar_t* left : {L"kalvit.dat.tmp", L"kalvitif.dat.tmp", L"kalvitif.dat.bak"})
            EXPECT_FALSE(driver::file_exists(path(left))) << to_gbk(left) << " left after the load";
        const std::string records = driver::read_file(path(L"kalvit.dat")).value_or("");
        const std::string texts = driver::read_file(path(L"kalvitif.dat")).value_or("");
        std::optional<List> read = parse(records, texts);
        EXPECT_TRUE(read.has_value()) << "the two files do not pair up:\n" << records;
        if (!read)
            return std::nullopt;
        EXPECT_EQ(names_of(*read), shown) << "the selector and the files differ";
        if (after != nullptr && names_of(*read) == names_of(*after)) {
            List learnt = *after;
            for (size_t i = 0; i < learnt.size(); ++i) {
                if (!learnt[i].numbers.empty())
                    continue;
                // A machine stored by the program: its numbers line in the written format, and
                // the text collected for it.
                learnt[i].numbers = (*read)[i].numbers;
                learnt[i].text = (*read)[i].text;
                EXPECT_TRUE(std::regex_match(
                    learnt[i].numbers,
                    std::regex("( +[0-9]+\\.[0-9]{2}){5} [0-9A-F]{8} -?[0-9]+ -?[0-9]+ -?[0-9]+")))
                    << learnt[i].numbers;
                EXPECT_FALSE(learnt[i].text.empty()) << "no information text";
            }
            EXPECT_EQ(records, records_of(learnt));
            EXPECT_EQ(texts, texts_of(learnt));
            return learnt;
        }
        EXPECT_EQ(records, records_of(before)) << "neither the old list nor the new one";
        EXPECT_EQ(texts, texts_of(before));
        return before;
    }

    void type_name(HWND page, const std::string& name) {
        HWND one = GetDlgItem(page, kMachine1);
        HWND edit = GetWindow(one, GW_CHILD);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        PostMessageW(edit, WM_CHAR, VK_BACK, 1);
        for (wchar_t c : to_wide(name))
            PostMessageW(edit, WM_CHAR, c, 1);
        EXPECT_TRUE(driver::wait_until([&] { return driver::window_text_gbk(one) == name; },
                                       driver::kStepTimeoutMs));
    }

    // Gets a command under way: the store of the current system under `name`, or the delete of
    // entry `index` with the question answered. Returns the list it leaves.
    List begin_command(HWND page, const List& list, bool store, int index,
                       const std::string& name) {
        List after = list;
        if (store) {
            type_name(page, name);
            // The store button waits for a run's results; its command, sent as the button
            // sends it, stores the current system with the start-up's figures.
            PostMessageW(page, WM_COMMAND, MAKEWPARAM(kStore, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(page, kStore)));
            after.push_back({name, {}, {}});
            return after;
        }
        HWND one = GetDlgItem(page, kMachine1);
        SendMessageW(one, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(kMachine1, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(one));
        EXPECT_TRUE(driver::wait_until(
            [&] { return IsWindowEnabled(GetDlgItem(page, kDelete)) != FALSE; },
            driver::kStepTimeoutMs));
        PostMessageW(GetDlgItem(page, kDelete), BM_CLICK, 0, 0);
        std::optional<driver::MessageBoxInfo> ask =
            driver::wait_for_message_box(process_->id(), driver::kStepTimeoutMs);
        EXPECT_TRUE(ask.has_value());
        if (!ask)
            return list;
        EXPECT_EQ(to_gbk(ask->text), "确认要删除记录：\n\" " + list[index].name + " \" ?");
        PostMessageW(ask->box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(ask->box, IDYES)));
        // The box goes once Wine has waited two seconds for a window manager to take it off the
        // screen (there is none); the save follows at once.
        const double answered = now_ms();
        while (IsWindow(ask->box) && now_ms() - answered < driver::kStepTimeoutMs) {
        }
        EXPECT_FALSE(IsWindow(ask->box));
        after.erase(after.begin() + index);
        return after;
    }

    std::optional<driver::Installation> inst_;
    std::optional<driver::Process> process_;
    List expected_;
};

TEST_F(RecordKills, EveryStartAfterAKillFindsTheListBeforeOrAfterTheCommand) {
    std::mt19937 random(20261209);
    int stored = 0;
    auto next_name = [&] {
        char name[32];
        std::snprintf(name, sizeof name, "存储机%03d", ++stored);
        return std::string(name);
    };

    // How long a store and a delete take from the command: until "kalvit.dat" has been replaced
    // and the backup of the texts is gone.
    HWND page = start();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(check_loaded(page, expected_, nullptr).has_value());
    double typical[2] = {}; // delete, store
    for (bool store : {true, false}) {
        WIN32_FILE_ATTRIBUTE_DATA was{}, is{};
        GetFileAttributesExW(path(L"kalvit.dat").c_str(), GetFileExInfoStandard, &was);
        const int index = static_cast<int>(expected_.size()) - 2;
        const List after = begin_command(page, expected_, store, index, next_name());
        const double begun = now_ms();
        double took = 0;
        do {
            took = now_ms() - begun;
            GetFileAttributesExW(path(L"kalvit.dat").c_str(), GetFileExInfoStandard, &is);
        } while (took < driver::kStepTimeoutMs && ((is.nFileSizeLow == was.nFileSizeLow &&
                                  CompareFileTime(&is.ftLastWriteTime, &was.ftLastWriteTime) == 0) ||
                                 driver::file_exists(path(L"kalvitif.dat.bak"))));
        ASSERT_LT(took, driver::kStepTimeoutMs) << to_gbk(driver::describe_state(*process_));
        typical[store] = took;
        std::printf("%s saved %.2f ms after the command\n", store ? "store" : "delete", took);
        ASSERT_TRUE(driver::responding(page));
        std::optional<List> read = parse(driver::read_file(path(L"kalvit.dat")).value_or(""),
                                         driver::read_file(path(L"kalvitif.dat")).value_or(""));
        ASSERT_TRUE(read.has_value());
        ASSERT_EQ(names_of(*read), names_of(after));
        for (size_t i = 0; i < after.size(); ++i)
            if (!after[i].numbers.empty()) {
                EXPECT_EQ((*read)[i].numbers, after[i].numbers) << after[i].name;
                EXPECT_EQ((*read)[i].text, after[i].text) << after[i].name;
            }
        expected_ = *read;
    }
    driver::close_window(GetAncestor(page, GA_ROOT));
    ASSERT_TRUE(process_->wait_exit(driver::kStepTimeoutMs).has_value());

    // Each start checks what the kill before it left, then starts a command and is killed.
    std::map<std::string, int> states;
    int old_lists = 0, new_lists = 0;
    List pending;
    for (int kill = 0; kill <= kKills; ++kill) {
        page = start();
        ASSERT_NE(page, nullptr) << "start " << kill;
        std::optional<List> found = check_loaded(page, expected_, kill > 0 ? &pending : nullptr);
        ASSERT_TRUE(found.has_value()) << "after kill " << kill;
        if (kill > 0)
            (names_of(*found) == names_of(pending) ? new_lists : old_lists) += 1;
        expected_ = *found;
        if (kill == kKills)
            break;

        const int machines = static_cast<int>(expected_.size()) - 1;
        const bool store = machines <= kFewest ||
                           (machines < kMost && std::uniform_int_distribution(0, 1)(random) != 0);
        const int index = std::uniform_int_distribution(1, machines)(random);
        const double wait = 2.0 * typical[store] * (kill + 0.5) / kKills;
        pending = begin_command(page, expected_, store, index, next_name());
        busy_wait_ms(wait);
        TerminateProcess(process_->handle(), 9);
        ASSERT_EQ(WaitForSingleObject(process_->handle(), driver::kStepTimeoutMs), WAIT_OBJECT_0);
        ++states[files_state()];
        if (HasFailure())
            return;
    }
    driver::close_window(GetAncestor(page, GA_ROOT));
    EXPECT_TRUE(process_->wait_exit(driver::kStepTimeoutMs).has_value());

    std::printf("%d kills: %d left the old list, %d the new one; files they left "
                "(kalvit.dat kalvitif.dat kalvit.dat.tmp kalvitif.dat.tmp kalvitif.dat.bak):\n",
                kKills, old_lists, new_lists);
    for (const auto& [state, count] : states)
        std::printf("  %s  %d\n", state.c_str(), count);
    EXPECT_GT(old_lists, 0);
    EXPECT_GT(new_lists, 0);
}

// The record files were always written by the Windows runtime's printf, which rounds a tie in
// " %5.2f" away from zero where MinGW's rounds it to even: a stored machine written again by a
// save keeps the Windows runtime's bytes.
TEST_F(RecordKills, ASaveRoundsTiesAsTheWindowsRuntimeDoes) {
    const List ties = {expected_[0],
                       {"平局机", " 0.125 1.125 10.625 100.125 2.625 00000000 640 480 16",
                        "平局机的处理器\r\n"}};
    ASSERT_TRUE(driver::write_file(path(L"kalvit.dat"), records_of(ties)));
    ASSERT_TRUE(driver::write_file(path(L"kalvitif.dat"), texts_of(ties)));
    HWND page = start();
    ASSERT_NE(page, nullptr);
    begin_command(page, ties, true, 0, "存储机");
    std::optional<List> read;
    EXPECT_TRUE(driver::wait_until(
        [&] {
            read = parse(driver::read_file(path(L"kalvit.dat")).value_or(""),
                         driver::read_file(path(L"kalvitif.dat")).value_or(""));
            return read && read->size() == 3 && !driver::file_exists(path(L"kalvitif.dat.bak"));
        },
        driver::kStepTimeoutMs))
        << to_gbk(driver::describe_state(*process_));
    if (read && read->size() == 3) {
        EXPECT_EQ((*read)[1].numbers, "  0.13  1.13 10.63 100.13  2.63 00000000 640 480 16");
    }
    driver::close_window(GetAncestor(page, GA_ROOT));
    EXPECT_TRUE(process_->wait_exit(driver::kStepTimeoutMs).has_value());
}

} // namespace
