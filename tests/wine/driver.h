#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/handles.h"
// Drives kalvit.exe from another process of the same Wine prefix: lays out an installation,
// sets up the registry profile, starts the program and works its windows from outside.
// The library (kalvit_ui_driver), in short:
//   files      from_unix_path join_path make_fresh_dir copy_file write_file read_file file_exists
//   install    install(dir, Sources) -> Installation (install.cpp, with files and profile)
//   profile    ProfileGuard clear_profile set_/delete_profile_value profile_string/_dword
//   start/end  Process::start running wait_exit terminate; watch_until_exit describe_state
//   wait       wait_until(pred, ms) with kStartTimeoutMs / kStepTimeoutMs deadlines
//   windows    top_windows class_name window_text(_gbk) responding find_descendant children
//   sheet      wait_for_frame find_sheet find_tab_control tab_* select_page visible_page
//              list_item_text combo_items click_button check_state close_window
//   boxes      find_message_box wait_for_message_box press_ok
//   log        read_log_lines has_line; capture_screen capture_window (BMP files)
//   runs       program_run.h: start_program wait_until_ready run_to_score close_score
//              end_program wait_for_run (RunFailure) find_dialog caption other_dialog
//              SavedProfile print
//   beside it  ui_fixture.h (uitest::prepare/start per case), browser_redirect.h,
//              chm_open_recorder.h, switch_refusal.h

namespace driver {

// Deadlines of waits for the program's own signals: generous, as another process may keep a
// core busy; a wait that meets its condition returns at once.
constexpr DWORD kStartTimeoutMs = 180000;
constexpr DWORD kStepTimeoutMs = 120000;

// Polls pred every 20 ms until it holds or timeout_ms pass; true when it held.
template <typename Pred> bool wait_until(Pred pred, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if (GetTickCount() - start >= timeout_ms)
            return pred();
        Sleep(20);
    }
}

// "/x/y" (a path of the Linux side) as Wine sees it: "Z:\x\y".
std::wstring from_unix_path(std::string_view unix_path);
std::wstring join_path(const std::wstring& dir, const std::wstring& name);

// Deletes dir with everything in it (if it exists) and creates it again, parents included.
bool make_fresh_dir(const std::wstring& dir);
bool copy_file(const std::wstring& from, const std::wstring& to);
bool write_file(const std::wstring& path, std::string_view bytes);
std::optional<std::string> read_file(const std::wstring& path);
bool file_exists(const std::wstring& path);

// Where an installation is copied from.
struct Sources {
    std::wstring exe;    // kalvit.exe
    std::wstring config; // kalvtetc.inf
    std::wstring pdata;  // folder of the generated pictures
    std::wstring data;   // folder that may hold the machine record files and dderr.txt
};

// One freshly laid out installation folder: kalvit.exe, kalvtetc.inf, pdata\*.bmp and the
// machine record files (which the program opens in its working directory, this folder).
struct Installation {
    std::wstring dir;
    std::wstring exe() const { return join_path(dir, L"kalvit.exe"); }
    std::wstring config() const { return join_path(dir, L"kalvtetc.inf"); }
    std::wstring pdata(const wchar_t* name) const { return join_path(dir + L"\\pdata", name); }
    std::wstring log() const { return join_path(dir, L"kalvit.log"); }
};
std::optional<Installation> install(const std::wstring& dir, const Sources& from);

// The program's profile key, HKCU\Software\Pelorin\kalvit\settings.
extern const wchar_t kProfileKey[];
extern const wchar_t kSettingsKey[];

// Saves the whole HKCU\Software\Pelorin\kalvit tree, deletes it, and puts the saved tree back
// when it goes, so that every test starts from a known profile and leaves the user's alone.
class ProfileGuard {
public:
    ProfileGuard();
    ProfileGuard(const ProfileGuard&) = delete;
    ProfileGuard& operator=(const ProfileGuard&) = delete;
    ~ProfileGuard();

    struct Value {
        std::wstring name;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    struct Key {
        std::vector<Value> values;
        std::vector<std::pair<std::wstring, Key>> subkeys;
    };

private:
    std::optional<Key> saved_;
};

bool clear_profile();
bool set_profile_string(const wchar_t* name, const std::wstring& value);
bool set_profile_dword(const wchar_t* name, DWORD value);
bool delete_profile_value(const wchar_t* name);
std::optional<std::wstring> profile_string(const wchar_t* name);
std::optional<DWORD> profile_dword(const wchar_t* name);

// A started program. Going out of scope while it still runs ends it through its own handle.
class Process {
public:
    // exe is run with the command line "<exe>" args, from workdir; a non-empty log_path is
    // handed to it as KALVIT_LOG. Empty on failure. KALVIT_PROGRAM_LOCALE in the driver's
    // environment runs it under that Linux locale (driver.cpp).
    static std::optional<Process> start(const std::wstring& exe, const std::wstring& args,
                                        const std::wstring& workdir, const std::wstring& log_path);
    Process(Process&&) = default;
    Process& operator=(Process&&) = default;
    ~Process() { terminate(); }

    DWORD id() const { return id_; }
    HANDLE handle() const { return process_.get(); }
    bool running() const;
    // The exit code once the program has ended within timeout_ms; empty while it runs.
    std::optional<DWORD> wait_exit(DWORD timeout_ms) const;
    void terminate();

private:
    friend std::optional<Process> start_in_locale(const std::wstring&, const std::wstring&,
                                                  const std::wstring&, const std::wstring&,
                                                  std::vector<wchar_t>&);
    Process(ui::Handle process, DWORD id) : process_(std::move(process)), id_(id) {}
    ui::Handle process_;
    DWORD id_ = 0;
};

std::wstring class_name(HWND hwnd);
// WM_GETTEXT, which crosses process boundaries; empty when the window does not answer.
std::wstring window_text(HWND hwnd);
std::string window_text_gbk(HWND hwnd);
// True when the window's thread answers a message within timeout_ms.
bool responding(HWND hwnd, DWORD timeout_ms = 2000);

// Top-level windows of a process (visible ones only when asked).
std::vector<HWND> top_windows(DWORD pid, bool visible_only);

// Waits for the process to end, noting every visible top-level window it shows meanwhile.
struct SeenWindow {
    std::wstring window_class;
    std::wstring text;
};
struct ExitWatch {
    std::optional<DWORD> exit_code; // empty when it still ran at the timeout
    std::vector<SeenWindow> windows;
};
ExitWatch watch_until_exit(const Process& process, DWORD timeout_ms);
// The windows as one line of text: [class "text"] ..., a message box with its message.
std::wstring describe(const std::vector<SeenWindow>& windows);
// What the process shows right now, or how it ended; for failure messages.
std::wstring describe_state(const Process& process);
// The first descendant with the class (any class when null) and control id (any when -1).
HWND find_descendant(HWND parent, const wchar_t* window_class, int id);
std::vector<HWND> children(HWND parent, const wchar_t* window_class);

// The main frame and the sheet inside it.
HWND wait_for_frame(const Process& process, DWORD timeout_ms = kStartTimeoutMs);
HWND find_sheet(HWND frame);
HWND find_tab_control(HWND sheet);

// Tab control queries, through memory in the tab control's process.
int tab_count(HWND tab);
int tab_selection(HWND tab);
std::optional<std::wstring> tab_caption(HWND tab, int index);
std::optional<RECT> tab_rect(HWND tab, int index);
// Column `column` of row `row` of a list view, through memory in the list's process.
std::optional<std::wstring> list_item_text(HWND list, int row, int column);
// Clicks the tab (button down and up at its centre) and waits until the sheet shows a visible
// page dialog that holds control_id. Returns that page, null on timeout.
HWND select_page(HWND sheet, int index, int control_id, DWORD timeout_ms = kStepTimeoutMs);
// The visible page dialog of the sheet, null when none (or more than one) is visible.
HWND visible_page(HWND sheet);

// The entries of a combo box, as GBK text.
std::vector<std::string> combo_items(HWND combo);

// BM_CLICK, and the check state of a check box or radio button.
bool click_button(HWND button);
int check_state(HWND button);

// A message box of the process: a top-level dialog with the message text in static 0xFFFF.
struct MessageBoxInfo {
    HWND box = nullptr;
    std::wstring caption;
    std::wstring text;
};
std::optional<MessageBoxInfo> find_message_box(DWORD pid);
std::optional<MessageBoxInfo> wait_for_message_box(DWORD pid, DWORD timeout_ms);
bool press_ok(HWND box);

// Posts WM_CLOSE to the window.
bool close_window(HWND hwnd);

// The log as lines (its separator comes before each line, so the first line is empty).
std::vector<std::string> read_log_lines(const std::wstring& path);
bool has_line(const std::vector<std::string>& lines, std::string_view line);

// The screen inside rect, or a window's screen area, saved as a 24-bit BMP file.
bool capture_screen(const RECT& rect, const std::wstring& path);
bool capture_window(HWND hwnd, const std::wstring& path);

} // namespace driver
