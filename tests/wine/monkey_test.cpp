#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/wine/browser_redirect.h"
#include "tests/wine/program_run.h"
#include "tests/wine/ui_fixture.h"
#include "ui/gbk.h"
#include "ui/handles.h"
// The real program worked at random for a bounded time: buttons, tabs, list and combo entries,
// keys and typed letters in whatever windows it shows. After every action each of its windows
// must answer, and at the end it must close cleanly, having written nothing outside its folder,
// its profile and its disk test's file. Every action goes to an action log that
// KALVIT_MONKEY_REPLAY=<log> performs again in order (GBK text, as the program's own log).

namespace {

constexpr int kStop = 32772;
constexpr DWORD kAnswerMs = 5000;

std::wstring env(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? value : L"";
}
unsigned long number(const wchar_t* name, unsigned long otherwise) {
    return env(name).empty() ? otherwise : std::stoul(env(name));
}
std::wstring lower(std::wstring s) {
    CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}
std::optional<LRESULT> ask(HWND hwnd, UINT message, WPARAM w = 0, LPARAM l = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, w, l, SMTO_ABORTIFHUNG, kAnswerMs, &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

// What the prefix holds, as path → size and time (files) or contents (registry values).
using Snapshot = std::map<std::wstring, std::wstring>;

struct Find {
    HANDLE h;
    ~Find() { h != INVALID_HANDLE_VALUE&& FindClose(h); }
};
void snap_files(const std::wstring& dir, const std::vector<std::wstring>& skip, Snapshot& out) {
    WIN32_FIND_DATAW f;
    const Find find{FindFirstFileW((dir + L"\\*").c_str(), &f)};
    if (find.h == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = f.cFileName, path = dir + L"\\" + name;
        if (name == L"." || name == L".." ||
            std::find(skip.begin(), skip.end(), lower(path)) != skip.end())
            continue;
        if (f.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            out[path + L"\\"] = L"link";
        } else if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[path + L"\\"] = L"folder";
            snap_files(path, skip, out);
        } else {
            out[path] = std::to_wstring((ULONGLONG(f.nFileSizeHigh) << 32) | f.nFileSizeLow) +
                        L" bytes, written " +
                        std::to_wstring((ULONGLONG(f.ftLastWriteTime.dwHighDateTime) << 32) |
                                        f.ftLastWriteTime.dwLowDateTime);
        }
    } while (FindNextFileW(find.h, &f));
}

void snap_key(HKEY root, const wchar_t* root_name, const std::wstring& path,
              const std::vector<std::wstring>& skip, Snapshot& out) {
    const std::wstring label = root_name + path;
    HKEY raw = nullptr;
    if (std::find(skip.begin(), skip.end(), lower(label)) != skip.end() ||
        RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &raw) != 0)
        return;
    ui::RegKey key(raw);
    DWORD subkeys = 0, max_subkey = 0, values = 0, max_name = 0, max_data = 0;
    RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr, &values,
                     &max_name, &max_data, nullptr, nullptr);
    out[label + L"\\"] = L"key";
    std::wstring name(max_name + 2, L'\0');
    std::vector<BYTE> data(max_data + 2);
    for (DWORD i = 0; i < values; ++i) {
        DWORD name_size = max_name + 2, data_size = max_data + 2, type = 0;
        if (RegEnumValueW(raw, i, name.data(), &name_size, nullptr, &type, data.data(),
                          &data_size) != 0)
            continue;
        out[label + L"\\:" + name.substr(0, name_size)] =
            std::to_wstring(type) + L":" + std::wstring(data.begin(), data.begin() + data_size);
    }
    std::wstring sub(max_subkey + 2, L'\0');
    for (DWORD i = 0, size; size = max_subkey + 2, i < subkeys; ++i)
        if (RegEnumKeyExW(raw, i, sub.data(), &size, nullptr, nullptr, nullptr, nullptr) == 0)
            snap_key(root, root_name, path + L"\\" + sub.substr(0, size), skip, out);
}

// Drive c: apart from the program's folder and its disk test's file, and the software trees of
// the registry apart from the program's profile and Wine's volatile key of the system parameters
// changed for the session only: Wine notes the mouse parameters there when they are first read,
// and its DirectDraw turns the screen saver off there for an exclusive connection (the program
// itself changes no system parameter; Windows keeps such changes in memory).
Snapshot snapshot(const std::wstring& install_dir) {
    Snapshot s;
    snap_files(L"c:", {lower(install_dir), L"c:\\kalvit.tmp"}, s);
    snap_key(
        HKEY_CURRENT_USER, L"HKCU\\", L"Software",
        {L"hkcu\\software\\pelorin\\kalvit", L"hkcu\\software\\wine\\temporary system parameters"},
        s);
    snap_key(HKEY_LOCAL_MACHINE, L"HKLM\\", L"Software", {}, s);
    return s;
}

std::string differences(const Snapshot& before, const Snapshot& after) {
    std::string out;
    for (const auto& [path, what] : after) {
        auto was = before.find(path);
        if (was == before.end())
            out += "  added " + to_gbk(path) + "\n";
        else if (was->second != what)
            out += "  changed " + to_gbk(path) + "\n";
    }
    for (const auto& [path, what] : before)
        if (after.count(path) == 0)
            out += "  removed " + to_gbk(path) + "\n";
    return out;
}

// A top-level window of the program, and a control in it ("id class #n", the n-th control of
// that id and class in the sorted list).
struct Top {
    HWND hwnd;
    std::wstring cls, text;
};
std::vector<Top> tops(DWORD pid) {
    std::vector<Top> out;
    for (HWND w : driver::top_windows(pid, true))
        out.push_back({w, driver::class_name(w), driver::caption(w)});
    std::stable_sort(out.begin(), out.end(), [](const Top& a, const Top& b) {
        return std::tie(a.cls, a.text) < std::tie(b.cls, b.text);
    });
    return out;
}

struct Control {
    HWND hwnd;
    int id;
    std::wstring cls;
    int nth;
    std::wstring key() const {
        return std::to_wstring(id) + L" " + cls + L" #" + std::to_wstring(nth);
    }
};
BOOL CALLBACK note_control(HWND w, LPARAM out) {
    static const wchar_t* const kClasses[] = {L"Button",  L"ComboBox",      L"Edit",
                                              L"ListBox", L"SysListView32", L"SysTabControl32"};
    const std::wstring cls = driver::class_name(w);
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    const bool useful =
        std::find(std::begin(kClasses), std::end(kClasses), cls) != std::end(kClasses) &&
        !(cls == L"Button" && (style & BS_TYPEMASK) == BS_GROUPBOX) &&
        !(cls == L"Edit" && (style & ES_READONLY));
    if (useful && IsWindowVisible(w) && IsWindowEnabled(w))
        reinterpret_cast<std::vector<Control>*>(out)->push_back({w, GetDlgCtrlID(w), cls, 0});
    return TRUE;
}
std::vector<Control> controls(HWND top) {
    std::vector<Control> out;
    EnumChildWindows(top, note_control, reinterpret_cast<LPARAM>(&out));
    std::stable_sort(out.begin(), out.end(), [](const Control& a, const Control& b) {
        return std::tie(a.id, a.cls) < std::tie(b.id, b.cls);
    });
    for (size_t i = 1; i < out.size(); ++i)
        if (out[i].id == out[i - 1].id && out[i].cls == out[i - 1].cls)
            out[i].nth = out[i - 1].nth + 1;
    return out;
}

// One action: the window (class and caption), the control ("-" for the window itself) and what
// is done: "click", "tab N", "select N", "type TEXT", "key VK", "close".
struct Action {
    std::wstring cls, text, control, verb;
};

void perform(HWND top, HWND target, const std::wstring& verb) {
    const size_t space = verb.find(L' ');
    const std::wstring what = verb.substr(0, space),
                       arg = space == std::wstring::npos ? L"" : verb.substr(space + 1);
    if (what == L"close") {
        PostMessageW(top, WM_CLOSE, 0, 0);
    } else if (what == L"click") {
        PostMessageW(target, BM_CLICK, 0, 0);
    } else if (what == L"tab") {
        if (std::optional<RECT> r = driver::tab_rect(target, std::stoi(arg))) {
            const LPARAM at = MAKELPARAM((r->left + r->right) / 2, (r->top + r->bottom) / 2);
            PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
            PostMessageW(target, WM_LBUTTONUP, 0, at);
        }
    } else if (what == L"select") {
        const bool combo = driver::class_name(target) == L"ComboBox";
        ask(target, combo ? CB_SETCURSEL : LB_SETCURSEL, std::stoi(arg));
        PostMessageW(GetParent(target), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(target), combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(target));
    } else if (what == L"type") {
        HWND edit =
            driver::class_name(target) == L"ComboBox" ? GetWindow(target, GW_CHILD) : target;
        for (wchar_t c : arg)
            PostMessageW(edit, WM_CHAR, c, 1);
    } else if (what == L"key") {
        const WPARAM vk = static_cast<WPARAM>(std::stoi(arg));
        PostMessageW(target, WM_KEYDOWN, vk, 1);
        if (vk == VK_SPACE || vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_TAB)
            PostMessageW(target, WM_CHAR, vk, 1); // these keys' characters are their codes
        PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
    }
}

// A random action on the sorted windows and controls; `patient` leaves a run's stop button and
// the Escape key (which stops it too) be.
std::optional<Action> pick(std::mt19937& rng, const std::vector<Top>& windows, bool patient,
                           HWND& top, HWND& target) {
    std::vector<Top> enabled = windows;
    std::erase_if(enabled, [](const Top& t) { return !IsWindowEnabled(t.hwnd); });
    if (enabled.empty())
        return std::nullopt;
    const Top& t = enabled[rng() % enabled.size()];
    // Windows of other classes (the help viewer's, say) are only closed.
    const bool ours = t.cls == L"#32770" || t.cls == L"CMainFrame";
    std::vector<Control> cs = ours ? controls(t.hwnd) : std::vector<Control>{};
    if (patient)
        std::erase_if(cs, [](const Control& c) { return c.id == kStop; });
    top = target = t.hwnd;
    // The frame's close would end the program: never.
    const size_t choice = rng() % (cs.size() + (t.cls == L"CMainFrame" ? 0 : 1));
    if (choice == cs.size())
        return Action{t.cls, t.text, L"-", L"close"};
    const Control& c = cs[choice];
    target = c.hwnd;
    static const int kKeys[] = {VK_RETURN, VK_ESCAPE, VK_TAB,  VK_LEFT,
                                VK_RIGHT,  VK_UP,     VK_DOWN, VK_SPACE};
    const int vk = kKeys[rng() % 8];
    std::wstring verb = L"key " + std::to_wstring(patient && vk == VK_ESCAPE ? VK_SPACE : vk);
    const unsigned how = rng() % 4; // 3 in 4 the control's own kind of action, else a key
    const LONG style = GetWindowLongW(c.hwnd, GWL_STYLE);
    std::wstring type = L"type ";
    for (unsigned n = 1 + rng() % 6; n > 0; --n)
        type += L"abcxyz019@._"[rng() % 12];
    const bool combo = c.cls == L"ComboBox", editable = combo && (style & 3) == CBS_DROPDOWN;
    if (how < 3 && c.cls == L"Button")
        verb = L"click";
    else if (how < 3 && c.cls == L"SysTabControl32")
        verb = L"tab " + std::to_wstring(rng() % std::max(1, driver::tab_count(c.hwnd)));
    else if (how < 3 && (c.cls == L"Edit" || (editable && how == 2)))
        verb = type;
    else if (how < 3 && (combo || c.cls == L"ListBox"))
        if (const LRESULT n = ask(c.hwnd, combo ? CB_GETCOUNT : LB_GETCOUNT).value_or(0); n > 0)
            verb = L"select " + std::to_wstring(rng() % n);
    return Action{t.cls, t.text, c.key(), verb};
}

// The window and control of a logged action, waited for a while as the program may be slower
// or faster than when it was logged.
bool locate(DWORD pid, const Action& a, HWND& top, HWND& target) {
    return driver::wait_until(
        [&] {
            for (const Top& t : tops(pid)) {
                if (t.cls != a.cls || t.text != a.text || !IsWindowEnabled(t.hwnd))
                    continue;
                top = target = t.hwnd;
                if (a.control == L"-")
                    return true;
                for (const Control& c : controls(t.hwnd))
                    if (c.key() == a.control)
                        return (target = c.hwnd), true;
            }
            return false;
        },
        driver::kStepTimeoutMs);
}

// The actions of a log: "step, ms, window class, caption, control, action" a line, tab-separated;
// lines that begin with # are remarks.
std::vector<Action> read_replay(const std::wstring& file) {
    std::vector<Action> out;
    const std::wstring path =
        file.rfind(L"/", 0) == 0 ? driver::from_unix_path(to_gbk(file)) : file;
    std::istringstream in(driver::read_file(path).value_or(""));
    for (std::string line, cell; std::getline(in, line);) {
        std::vector<std::wstring> f;
        for (std::istringstream cells(line); std::getline(cells, cell, '\t');)
            f.push_back(to_wide(cell));
        if (line[0] != '#' && f.size() == 6)
            out.push_back({f[2], f[3], f[4], f[5]});
    }
    return out;
}

// The runs the program's log has begun and ended.
struct Runs {
    int begun = 0, ended = 0;
};
Runs runs(const driver::Installation& inst) {
    Runs n;
    for (const std::string& line : driver::read_log_lines(inst.log())) {
        n.begun += line.rfind("Begin No.", 0) == 0;
        n.ended += line.rfind("End No.", 0) == 0;
    }
    return n;
}

// Every top-level window of the program answers within 5 s; the failure when one does not.
std::string unanswered(DWORD pid) {
    for (HWND w : driver::top_windows(pid, false)) {
        DWORD_PTR r = 0;
        if (SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &r) || !IsWindow(w))
            continue;
        return "the window " + to_gbk(driver::class_name(w)) + " \"" + to_gbk(driver::caption(w)) +
               "\" did not answer";
    }
    return "";
}

// Stops a run that is under way and closes everything but the frame: message boxes with Cancel,
// No or OK, other windows with WM_CLOSE. True once only the frame shows, enabled.
bool wind_down(const driver::Process& p, const driver::Installation& inst, HWND frame) {
    return driver::wait_until(
        [&] {
            const Runs n = runs(inst);
            const bool running = n.begun > n.ended;
            for (const Top& t : tops(p.id())) {
                if (t.hwnd == frame)
                    continue;
                int button = 0;
                for (int b : {IDCANCEL, IDNO, IDOK})
                    if (button == 0 && GetDlgItem(t.hwnd, 0xFFFF) && GetDlgItem(t.hwnd, b))
                        button = b;
                if (button != 0)
                    PostMessageW(t.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(GetDlgItem(t.hwnd, button)));
                else if (!running)
                    PostMessageW(t.hwnd, WM_CLOSE, 0, 0);
            }
            if (running)
                if (HWND stop = driver::find_descendant(frame, L"Button", kStop))
                    PostMessageW(stop, BM_CLICK, 0, 0);
            Sleep(500);
            return !running && tops(p.id()).size() == 1 && IsWindowEnabled(frame);
        },
        driver::kRunTimeoutMs);
}

TEST(Monkey, WorksEveryWindowWithoutCrashHangOrStrayWrites) {
    driver::ProfileGuard profile;
    BrowserRedirect browser;
    ASSERT_TRUE(browser.ok());
    std::optional<driver::Installation> inst = uitest::prepare(L"monkey");
    ASSERT_TRUE(inst.has_value());
    const Snapshot before = snapshot(inst->dir);

    const unsigned seed = number(L"KALVIT_MONKEY_SEED", 17);
    const DWORD limit_ms = 1000 * number(L"KALVIT_MONKEY_SECONDS", 30);
    const std::wstring replay_file = env(L"KALVIT_MONKEY_REPLAY");
    const std::vector<Action> replay = read_replay(replay_file);
    ASSERT_TRUE(replay_file.empty() || !replay.empty()) << "no actions in " << to_gbk(replay_file);

    const std::wstring log_path = driver::from_unix_path(KALVIT_MONKEY_LOG);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(_wfopen(log_path.c_str(), L"wb"), fclose);
    ASSERT_TRUE(log) << KALVIT_MONKEY_LOG;
    std::string actions = "actions (" KALVIT_MONKEY_LOG "):\n";
    auto note = [&](const std::string& line) {
        actions += line + "\n";
        std::fputs((line + "\n").c_str(), log.get());
        std::fflush(log.get());
    };
    note("# seed " + std::to_string(seed) + ", " +
         (replay.empty() ? std::to_string(limit_ms / 1000) + " s"
                         : "replay of " + to_gbk(replay_file)));

    std::optional<driver::Process> process = uitest::start(*inst);
    ASSERT_TRUE(process.has_value());
    HWND frame = uitest::wait_for_frame(*process);
    ASSERT_NE(frame, nullptr);
    // Start-up goes on a moment after the frame shows: until the test page's buttons work.
    ASSERT_TRUE(driver::wait_until(
        [&] { return IsWindowEnabled(driver::find_descendant(frame, L"Button", kStop)) != FALSE; },
        driver::kStartTimeoutMs));

    std::mt19937 rng(seed);
    std::map<std::wstring, int> reached;
    const DWORD started = GetTickCount();
    int step = 0, runs_seen = 0;
    bool patient = false;
    std::string failure;
    while (failure.empty() && (replay.empty() ? GetTickCount() - started < limit_ms
                                              : static_cast<size_t>(step) < replay.size())) {
        // Each run gets a decision of its own: let it finish, or stop it whenever picked.
        const Runs n = runs(*inst);
        if (n.begun > runs_seen) {
            runs_seen = n.begun;
            patient = rng() % 2 == 0;
        }
        HWND top = nullptr, target = nullptr;
        std::optional<Action> a;
        if (!replay.empty()) {
            a = replay[static_cast<size_t>(step)];
            if (!locate(process->id(), *a, top, target)) {
                note("# " + std::to_string(++step) + " not found");
                continue;
            }
        } else if (!(a = pick(rng, tops(process->id()), patient && n.begun > n.ended, top,
                              target))) {
            Sleep(50);
            continue;
        }
        ++reached[a->cls + L" \"" + a->text + L"\""];
        note(std::to_string(++step) + "\t" + std::to_string(GetTickCount() - started) + "\t" +
             to_gbk(a->cls) + "\t" + to_gbk(a->text) + "\t" + to_gbk(a->control) + "\t" +
             to_gbk(a->verb));
        perform(top, target, a->verb);
        Sleep(30);
        failure = unanswered(process->id());
        if (failure.empty() && !process->running())
            failure = "the program ended: " + to_gbk(driver::describe_state(*process));
        if (!failure.empty())
            failure = "after action " + std::to_string(step) + ", " + failure;
    }
    const DWORD worked_ms = GetTickCount() - started;
    if (failure.empty() && !wind_down(*process, *inst, frame))
        failure = "the program does not come back to its frame alone: " +
                  to_gbk(driver::describe_state(*process));
    std::optional<DWORD> code;
    if (failure.empty()) {
        driver::close_window(frame);
        code = process->wait_exit(driver::kStartTimeoutMs);
    }
    std::printf("%d actions in %lu ms, %d runs begun; windows worked:\n", step,
                static_cast<unsigned long>(worked_ms), runs_seen);
    for (const auto& [window, n] : reached)
        std::printf("  %5d  %s\n", n, to_gbk(window).c_str());
    ASSERT_EQ(failure, "") << actions;
    ASSERT_TRUE(code.has_value()) << "still running after WM_CLOSE to the frame; " << actions;
    EXPECT_EQ(*code, 0u) << actions;
    const std::string written = differences(before, snapshot(inst->dir));
    EXPECT_EQ(written, "") << "written outside the program's folder, profile and c:\\kalvit.tmp";
}

} // namespace
