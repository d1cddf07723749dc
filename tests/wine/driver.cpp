#include "tests/wine/driver.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>
#include <set>

#include "ui/gbk.h"
#include "ui/text_api.h"
// Starting the program and working its windows from another process.

namespace driver {

namespace {

// The window enumerations' callback: Windows calls it with its own convention (stdcall in 32-bit
// code, which a lambda's conversion does not give), and it hands each window to the query.
template <class Query> BOOL CALLBACK visit_window(HWND hwnd, LPARAM lp) {
    return reinterpret_cast<Query*>(lp)->visit(hwnd);
}

// The current environment without KALVIT_LOG, plus KALVIT_LOG=log_path when one is given.
std::vector<wchar_t> environment_block(const std::wstring& log_path) {
    std::vector<wchar_t> block;
    if (wchar_t* env = GetEnvironmentStringsW()) {
        for (const wchar_t* p = env; *p != L'\0'; p += wcslen(p) + 1) {
            if (_wcsnicmp(p, L"KALVIT_LOG=", 11) == 0)
                continue;
            block.insert(block.end(), p, p + wcslen(p) + 1);
        }
        FreeEnvironmentStringsW(env);
    }
    if (!log_path.empty()) {
        std::wstring entry = L"KALVIT_LOG=" + log_path;
        block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    }
    block.push_back(L'\0');
    if (block.size() == 1)
        block.push_back(L'\0');
    return block;
}

// Memory in another process, for the messages that carry pointers.
class RemoteMemory {
public:
    RemoteMemory(HWND owner, size_t size) : size_(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(owner, &pid);
        process_.reset(
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
        if (process_)
            address_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                      PAGE_READWRITE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    ~RemoteMemory() {
        if (address_ != nullptr)
            VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
    }

    explicit operator bool() const { return address_ != nullptr; }
    void* address(size_t offset = 0) const { return static_cast<char*>(address_) + offset; }
    bool write(const void* data, size_t size, size_t offset = 0) const {
        SIZE_T done = 0;
        return offset + size <= size_ &&
               WriteProcessMemory(process_.get(), address(offset), data, size, &done) &&
               done == size;
    }
    bool read(void* data, size_t size, size_t offset = 0) const {
        SIZE_T done = 0;
        return offset + size <= size_ &&
               ReadProcessMemory(process_.get(), address(offset), data, size, &done) &&
               done == size;
    }

private:
    ui::Handle process_;
    void* address_ = nullptr;
    size_t size_;
};

// SendMessageTimeoutW that gives up on a hung window instead of blocking the test.
std::optional<LRESULT> send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, DWORD timeout_ms = 5000) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, timeout_ms, &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

DWORD window_pid(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

} // namespace

namespace {
// The processes running the image `name` (a file name, "kalvit.exe").
std::set<DWORD> processes_of(const std::wstring& name) {
    std::set<DWORD> ids;
    ui::File snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry))
        if (_wcsicmp(entry.szExeFile, name.c_str()) == 0)
            ids.insert(entry.th32ProcessID);
    return ids;
}
} // namespace

// KALVIT_PROGRAM_LOCALE (zh_CN.GBK, say) starts the program under that Linux locale, which gives
// it the locale's code pages, while the driver keeps its own. Wine takes the code pages from the
// Linux environment, which a Windows child inherits from its parent unchanged; a Linux program,
// however, gets the Windows environment block. So env(1) starts Wine with the locale, and the
// new process is found by its image name.
std::optional<Process> start_in_locale(const std::wstring& locale, const std::wstring& exe,
                                       const std::wstring& args, const std::wstring& workdir,
                                       std::vector<wchar_t>& env) {
    const std::wstring name = exe.substr(exe.find_last_of(L"\\/") + 1);
    const std::set<DWORD> before = processes_of(name);
    std::wstring command = L"/usr/bin/env LC_ALL=" + locale + L" wine \"" + exe + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\usr\\bin\\env", command.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, env.data(),
                        workdir.empty() ? nullptr : workdir.c_str(), &si, &pi))
        return std::nullopt;
    if (pi.hProcess != nullptr)
        CloseHandle(pi.hProcess);
    if (pi.hThread != nullptr)
        CloseHandle(pi.hThread);
    DWORD id = 0;
    wait_until(
        [&] {
            for (DWORD pid : processes_of(name))
                if (!before.contains(pid))
                    id = pid;
            return id != 0;
        },
        kStartTimeoutMs);
    HANDLE process = id != 0 ? OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION |
                                               PROCESS_VM_READ | SYNCHRONIZE,
                                           FALSE, id)
                             : nullptr;
    if (process == nullptr)
        return std::nullopt;
    return Process(ui::Handle(process), id);
}

std::optional<Process> Process::start(const std::wstring& exe, const std::wstring& args,
                                      const std::wstring& workdir, const std::wstring& log_path) {
    std::wstring command = L"\"" + exe + L"\"";
    if (!args.empty())
        command += L" " + args;
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    std::vector<wchar_t> env = environment_block(log_path);
    wchar_t locale[64] = {};
    const DWORD n = GetEnvironmentVariableW(L"KALVIT_PROGRAM_LOCALE", locale, 64);
    if (n > 0 && n < 64)
        return start_in_locale(locale, exe, args, workdir, env);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, env.data(),
                        workdir.empty() ? nullptr : workdir.c_str(), &si, &pi))
        return std::nullopt;
    CloseHandle(pi.hThread);
    return Process(ui::Handle(pi.hProcess), pi.dwProcessId);
}

bool Process::running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::wait_exit(DWORD timeout_ms) const {
    if (!process_ || WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.get(), &code))
        return std::nullopt;
    return code;
}

void Process::terminate() {
    if (running()) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 5000);
    }
}

std::wstring class_name(HWND hwnd) {
    wchar_t name[256];
    int n = GetClassNameW(hwnd, name, 256);
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring window_text(HWND hwnd) {
    auto length = send(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (!length)
        return {};
    std::wstring text(static_cast<size_t>(*length) + 1, L'\0');
    auto got = send(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got ? static_cast<size_t>(*got) : 0);
    return text;
}

std::string window_text_gbk(HWND hwnd) {
    return to_gbk(window_text(hwnd));
}

bool responding(HWND hwnd, DWORD timeout_ms) {
    return send(hwnd, WM_NULL, 0, 0, timeout_ms).has_value();
}

std::vector<HWND> top_windows(DWORD pid, bool visible_only) {
    struct Query {
        DWORD pid;
        bool visible_only;
        std::vector<HWND> found;
        BOOL visit(HWND hwnd) {
            if (window_pid(hwnd) == pid && (!visible_only || IsWindowVisible(hwnd)))
                found.push_back(hwnd);
            return TRUE;
        }
    } query{pid, visible_only, {}};
    EnumWindows(visit_window<Query>, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

ExitWatch watch_until_exit(const Process& process, DWORD timeout_ms) {
    ExitWatch watch;
    std::vector<HWND> noted;
    wait_until(
        [&] {
            for (HWND hwnd : top_windows(process.id(), true)) {
                if (std::find(noted.begin(), noted.end(), hwnd) != noted.end())
                    continue;
                noted.push_back(hwnd);
                watch.windows.push_back({class_name(hwnd), window_text(hwnd)});
            }
            return !process.running();
        },
        timeout_ms);
    watch.exit_code = process.wait_exit(0);
    return watch;
}

std::wstring describe(const std::vector<SeenWindow>& windows) {
    std::wstring out;
    for (const auto& w : windows)
        out += L" [" + w.window_class + L" \"" + w.text + L"\"]";
    return out;
}

std::wstring describe_state(const Process& process) {
    if (std::optional<DWORD> code = process.wait_exit(0))
        return L"ended with exit code " + std::to_wstring(*code);
    std::vector<SeenWindow> windows;
    for (HWND hwnd : top_windows(process.id(), true)) {
        HWND message = GetDlgItem(hwnd, 0xFFFF);
        windows.push_back({class_name(hwnd),
                           window_text(hwnd) + (message != nullptr ? L": " + window_text(message)
                                                                   : std::wstring())});
    }
    return L"running, showing" + (windows.empty() ? L" nothing" : describe(windows));
}

std::vector<HWND> children(HWND parent, const wchar_t* window_class) {
    struct Query {
        HWND parent;
        const wchar_t* window_class;
        std::vector<HWND> found;
        BOOL visit(HWND hwnd) {
            if (GetParent(hwnd) == parent &&
                (window_class == nullptr || class_name(hwnd) == window_class))
                found.push_back(hwnd);
            return TRUE;
        }
    } query{parent, window_class, {}};
    EnumChildWindows(parent, visit_window<Query>, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND find_descendant(HWND parent, const wchar_t* window_class, int id) {
    struct Query {
        const wchar_t* window_class;
        int id;
        HWND found;
        BOOL visit(HWND hwnd) {
            if ((id == -1 || GetDlgCtrlID(hwnd) == id) &&
                (window_class == nullptr || class_name(hwnd) == window_class)) {
                found = hwnd;
                return FALSE;
            }
            return TRUE;
        }
    } query{window_class, id, nullptr};
    EnumChildWindows(parent, visit_window<Query>, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND wait_for_frame(const Process& process, DWORD timeout_ms) {
    HWND frame = nullptr;
    wait_until(
        [&] {
            frame = nullptr;
            for (HWND hwnd : top_windows(process.id(), true))
                if (class_name(hwnd) == L"CMainFrame")
                    frame = hwnd;
            return frame != nullptr || !process.running();
        },
        timeout_ms);
    return frame;
}

HWND find_sheet(HWND frame) {
    std::vector<HWND> sheets = children(frame, L"qPropertySheet");
    return sheets.size() == 1 ? sheets.front() : nullptr;
}

HWND find_tab_control(HWND sheet) {
    std::vector<HWND> tabs = children(sheet, WC_TABCONTROLW);
    return tabs.size() == 1 ? tabs.front() : nullptr;
}

int tab_count(HWND tab) {
    return static_cast<int>(send(tab, TCM_GETITEMCOUNT, 0, 0).value_or(-1));
}

int tab_selection(HWND tab) {
    return static_cast<int>(send(tab, TCM_GETCURSEL, 0, 0).value_or(-1));
}

// Asks a control of another process for an item's text: the item structure, with its text
// buffer right behind it, lives in the control's process. `zero_fails` for messages whose 0
// answer means failure (rather than an empty text).
template <class Item>
std::optional<std::wstring> remote_item_text(HWND control, UINT message, WPARAM which, Item item,
                                             bool zero_fails) {
    constexpr size_t kChars = 256;
    RemoteMemory remote(control, sizeof(Item) + kChars * sizeof(wchar_t));
    if (!remote)
        return std::nullopt;
    item.pszText = static_cast<wchar_t*>(remote.address(sizeof(Item)));
    item.cchTextMax = kChars;
    std::wstring text(kChars, L'\0');
    if (!remote.write(&item, sizeof item) ||
        !remote.write(text.data(), kChars * sizeof(wchar_t), sizeof(Item)))
        return std::nullopt;
    auto answer = send(control, message, which, reinterpret_cast<LPARAM>(remote.address()));
    if (!answer || (zero_fails && *answer == 0) || !remote.read(&item, sizeof item))
        return std::nullopt;
    // The control may answer with a pointer to its own copy of the text instead of filling ours.
    const size_t offset = static_cast<size_t>(reinterpret_cast<char*>(item.pszText) -
                                              static_cast<char*>(remote.address()));
    if (offset != sizeof(Item))
        return std::nullopt;
    if (!remote.read(text.data(), kChars * sizeof(wchar_t), sizeof(Item)))
        return std::nullopt;
    text.resize(wcsnlen(text.c_str(), kChars));
    return text;
}

std::optional<std::wstring> tab_caption(HWND tab, int index) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    return remote_item_text(tab, TCM_GETITEMW, static_cast<WPARAM>(index), item, true);
}

std::optional<std::wstring> list_item_text(HWND list, int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    return remote_item_text(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), item, false);
}

std::optional<RECT> tab_rect(HWND tab, int index) {
    RemoteMemory remote(tab, sizeof(RECT));
    RECT rect{};
    if (!remote)
        return std::nullopt;
    auto ok = send(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(remote.address()));
    if (!ok || *ok == 0 || !remote.read(&rect, sizeof rect))
        return std::nullopt;
    return rect;
}

HWND visible_page(HWND sheet) {
    HWND page = nullptr;
    for (HWND dialog : children(sheet, L"#32770")) {
        if (!IsWindowVisible(dialog))
            continue;
        if (page != nullptr)
            return nullptr;
        page = dialog;
    }
    return page;
}

HWND select_page(HWND sheet, int index, int control_id, DWORD timeout_ms) {
    HWND tab = find_tab_control(sheet);
    if (tab == nullptr)
        return nullptr;
    std::optional<RECT> rect = tab_rect(tab, index);
    if (!rect)
        return nullptr;
    const LPARAM at = MAKELPARAM((rect->left + rect->right) / 2, (rect->top + rect->bottom) / 2);
    PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tab, WM_LBUTTONUP, 0, at);
    HWND page = nullptr;
    wait_until(
        [&] {
            page = nullptr;
            if (tab_selection(tab) != index)
                return false;
            HWND shown = visible_page(sheet);
            HWND control = shown != nullptr ? GetDlgItem(shown, control_id) : nullptr;
            if (control == nullptr || !IsWindowVisible(control))
                return false;
            page = shown;
            return true;
        },
        timeout_ms);
    return page;
}

std::vector<std::string> combo_items(HWND combo) {
    std::vector<std::string> out;
    const LRESULT n = send(combo, CB_GETCOUNT, 0, 0).value_or(0);
    for (int i = 0; i < n; ++i)
        out.push_back(ui::combo_item_text(combo, i));
    return out;
}

bool click_button(HWND button) {
    return send(button, BM_CLICK, 0, 0).has_value();
}

int check_state(HWND button) {
    return static_cast<int>(send(button, BM_GETCHECK, 0, 0).value_or(-1));
}

std::optional<MessageBoxInfo> find_message_box(DWORD pid) {
    for (HWND hwnd : top_windows(pid, true)) {
        if (class_name(hwnd) != L"#32770")
            continue;
        HWND text = GetDlgItem(hwnd, 0xFFFF);
        if (text == nullptr)
            continue;
        return MessageBoxInfo{hwnd, window_text(hwnd), window_text(text)};
    }
    return std::nullopt;
}

std::optional<MessageBoxInfo> wait_for_message_box(DWORD pid, DWORD timeout_ms) {
    std::optional<MessageBoxInfo> box;
    wait_until(
        [&] {
            box = find_message_box(pid);
            return box.has_value();
        },
        timeout_ms);
    return box;
}

bool press_ok(HWND box) {
    // The OK button's command, posted: a BM_CLICK sent to a box whose modal loop then ends
    // does not return before the sender's timeout under Wine.
    HWND ok = GetDlgItem(box, IDOK);
    if (ok == nullptr ||
        !PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok)))
        return false;
    return wait_until([&] { return !IsWindow(box) || !IsWindowVisible(box); }, kStepTimeoutMs);
}

bool close_window(HWND hwnd) {
    return PostMessageW(hwnd, WM_CLOSE, 0, 0) != 0;
}

std::vector<std::string> read_log_lines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::optional<std::string> text = read_file(path);
    if (!text)
        return lines;
    std::string line;
    for (char c : *text) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    lines.push_back(std::move(line));
    return lines;
}

bool has_line(const std::vector<std::string>& lines, std::string_view line) {
    for (const auto& l : lines)
        if (l == line)
            return true;
    return false;
}

// The screen inside rect as a 24-bit bottom-up BMP file.
bool capture_screen(const RECT& rect, const std::wstring& path) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD image_size = stride * static_cast<DWORD>(height);

    ui::WindowDc screen(nullptr);
    ui::MemoryDc memory(CreateCompatibleDC(screen.get()));
    void* bits = nullptr;
    ui::Bitmap dib(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (screen.get() == nullptr || !memory || !dib || bits == nullptr)
        return false;
    {
        ui::ScopedSelect select(memory.get(), dib.get());
        if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY))
            return false;
    }
    GdiFlush();

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + image_size;
    info.bmiHeader.biSizeImage = image_size;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
    bytes.append(static_cast<const char*>(bits), image_size);
    return driver::write_file(path, bytes);
}

bool capture_window(HWND hwnd, const std::wstring& path) {
    RECT rect{};
    return GetWindowRect(hwnd, &rect) && capture_screen(rect, path);
}

} // namespace driver
