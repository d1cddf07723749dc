#include "ui/text_api.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

#include "ui/app.h"
#include "ui/gbk.h"

namespace ui {

namespace {
// A GBK text as UTF-16 for the W side.
std::wstring w(const char* gbk) {
    return to_wide(gbk != nullptr ? gbk : "");
}
std::wstring w(std::string_view gbk) {
    return to_wide(gbk);
}

// A list-view item or column text of either side.
template <class Item, class Char> Item list_item(int row, int column, Char* text) {
    Item item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = text;
    return item;
}
} // namespace

LRESULT send(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return wide_api() ? SendMessageW(hwnd, message, wparam, lparam)
                      : SendMessageA(hwnd, message, wparam, lparam);
}

BOOL post(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return wide_api() ? PostMessageW(hwnd, message, wparam, lparam)
                      : PostMessageA(hwnd, message, wparam, lparam);
}

LONG_PTR window_long(HWND hwnd, int index) {
    return wide_api() ? GetWindowLongPtrW(hwnd, index) : GetWindowLongPtrA(hwnd, index);
}

LONG_PTR set_window_long(HWND hwnd, int index, LONG_PTR value) {
    return wide_api() ? SetWindowLongPtrW(hwnd, index, value)
                      : SetWindowLongPtrA(hwnd, index, value);
}

LRESULT default_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return wide_api() ? DefWindowProcW(hwnd, message, wparam, lparam)
                      : DefWindowProcA(hwnd, message, wparam, lparam);
}

BOOL get_message(MSG& msg) {
    return wide_api() ? GetMessageW(&msg, nullptr, 0, 0) : GetMessageA(&msg, nullptr, 0, 0);
}

BOOL peek_message(MSG& msg, HWND filter, UINT remove) {
    return wide_api() ? PeekMessageW(&msg, filter, 0, 0, remove)
                      : PeekMessageA(&msg, filter, 0, 0, remove);
}

LRESULT dispatch_message(const MSG& msg) {
    return wide_api() ? DispatchMessageW(&msg) : DispatchMessageA(&msg);
}

BOOL is_dialog_message(HWND dialog, MSG& msg) {
    return wide_api() ? IsDialogMessageW(dialog, &msg) : IsDialogMessageA(dialog, &msg);
}

bool register_window_class(const char* name, WNDPROC proc, HICON icon, HCURSOR cursor,
                           HBRUSH background, UINT style) {
    ATOM atom = 0;
    if (wide_api()) {
        const std::wstring wide_name = w(name);
        WNDCLASSEXW wc{sizeof wc,         style, proc,   0,          0,
                       App::instance(),   icon,  cursor, background, nullptr,
                       wide_name.c_str(), icon};
        atom = RegisterClassExW(&wc);
    } else {
        WNDCLASSEXA wc{sizeof wc, style,  proc,       0,       0,    App::instance(),
                       icon,      cursor, background, nullptr, name, icon};
        atom = RegisterClassExA(&wc);
    }
    return atom != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND create_window(DWORD ex_style, const char* class_name, const char* title, DWORD style, int x,
                   int y, int width, int height, HWND parent, HMENU menu_or_id, void* param) {
    if (!wide_api())
        return CreateWindowExA(ex_style, class_name, title, style, x, y, width, height, parent,
                               menu_or_id, App::instance(), param);
    return CreateWindowExW(ex_style, w(class_name).c_str(), w(title).c_str(), style, x, y, width,
                           height, parent, menu_or_id, App::instance(), param);
}

// Dialog templates hold UTF-16 texts on every system; the A functions convert them with the
// system's code page, which on a Chinese 9x is GBK.
INT_PTR dialog_box(int template_id, HWND owner, DLGPROC proc) {
    return wide_api()
               ? DialogBoxParamW(App::instance(), MAKEINTRESOURCEW(template_id), owner, proc, 0)
               : DialogBoxParamA(App::instance(), MAKEINTRESOURCEA(template_id), owner, proc, 0);
}

HWND create_dialog(int template_id, HWND owner, DLGPROC proc) {
    return wide_api()
               ? CreateDialogParamW(App::instance(), MAKEINTRESOURCEW(template_id), owner, proc, 0)
               : CreateDialogParamA(App::instance(), MAKEINTRESOURCEA(template_id), owner, proc, 0);
}

HWND create_dialog_indirect(const DLGTEMPLATE* tmpl, HWND owner, DLGPROC proc) {
    return wide_api() ? CreateDialogIndirectParamW(App::instance(), tmpl, owner, proc, 0)
                      : CreateDialogIndirectParamA(App::instance(), tmpl, owner, proc, 0);
}

std::string class_name(HWND hwnd) {
    if (!wide_api()) {
        char name[256] = {};
        GetClassNameA(hwnd, name, sizeof name);
        return name;
    }
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return to_gbk(name);
}

void set_text(HWND hwnd, const char* gbk) {
    if (wide_api())
        SetWindowTextW(hwnd, w(gbk).c_str());
    else
        SetWindowTextA(hwnd, gbk);
}

std::string get_text(HWND hwnd) {
    if (!wide_api()) {
        const int n = GetWindowTextLengthA(hwnd);
        std::string text(static_cast<size_t>(n) + 1, '\0');
        const int got = GetWindowTextA(hwnd, text.data(), n + 1);
        text.resize(static_cast<size_t>(got > 0 ? got : 0));
        return text;
    }
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return to_gbk(text);
}

int message_box(HWND owner, const char* gbk_text, const char* gbk_caption, UINT type) {
    return wide_api() ? MessageBoxW(owner, w(gbk_text).c_str(), w(gbk_caption).c_str(), type)
                      : MessageBoxA(owner, gbk_text, gbk_caption, type);
}

void combo_add(HWND combo, const char* gbk) {
    if (wide_api())
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w(gbk).c_str()));
    else
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(gbk));
}

std::string combo_item_text(HWND combo, int index) {
    const LRESULT n = send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (n == CB_ERR)
        return {};
    if (!wide_api()) {
        std::string text(static_cast<size_t>(n) + 1, '\0');
        const LRESULT got = SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                         reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(got > 0 ? got : 0));
        return text;
    }
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    const LRESULT got = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return to_gbk(text);
}

void tab_insert(HWND tab, int index, const char* gbk) {
    if (!wide_api()) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(gbk);
        SendMessageA(tab, TCM_INSERTITEMA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&item));
        return;
    }
    std::wstring text = w(gbk);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void list_insert_column(HWND list, int index, const char* gbk_title, int width, int format) {
    const UINT mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    if (!wide_api()) {
        LVCOLUMNA column{};
        column.mask = mask;
        column.fmt = format;
        column.cx = width;
        column.pszText = const_cast<char*>(gbk_title);
        column.iSubItem = index;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&column));
        return;
    }
    std::wstring title = w(gbk_title);
    LVCOLUMNW column{};
    column.mask = mask;
    column.fmt = format;
    column.cx = width;
    column.pszText = title.data();
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

void list_insert_item(HWND list, int row, const char* gbk) {
    if (!wide_api()) {
        auto item = list_item<LVITEMA>(row, 0, const_cast<char*>(gbk));
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return;
    }
    std::wstring text = w(gbk);
    auto item = list_item<LVITEMW>(row, 0, text.data());
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void list_set_item_text(HWND list, int row, int column, const char* gbk) {
    if (!wide_api()) {
        auto item = list_item<LVITEMA>(row, column, const_cast<char*>(gbk));
        SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
        return;
    }
    std::wstring text = w(gbk);
    auto item = list_item<LVITEMW>(row, column, text.data());
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::string list_item_text(HWND list, int row, int column) {
    constexpr int kCell = 1024;
    if (!wide_api()) {
        char text[kCell] = {};
        auto item = list_item<LVITEMA>(row, column, text);
        item.cchTextMax = kCell;
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
        return text;
    }
    wchar_t text[kCell] = {};
    auto item = list_item<LVITEMW>(row, column, text);
    item.cchTextMax = kCell;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return to_gbk(text);
}

HICON load_icon(int id) {
    return wide_api() ? LoadIconW(App::instance(), MAKEINTRESOURCEW(id))
                      : LoadIconA(App::instance(), MAKEINTRESOURCEA(id));
}

HCURSOR load_cursor(int id) {
    return wide_api() ? LoadCursorW(App::instance(), MAKEINTRESOURCEW(id))
                      : LoadCursorA(App::instance(), MAKEINTRESOURCEA(id));
}

HBITMAP load_bitmap_resource(int id) {
    HANDLE image = wide_api()
                       ? LoadImageW(App::instance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0)
                       : LoadImageA(App::instance(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0);
    return static_cast<HBITMAP>(image);
}

HCURSOR arrow_cursor() {
    return wide_api() ? LoadCursorW(nullptr, MAKEINTRESOURCEW(32512))
                      : LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
}

HBITMAP load_bitmap_file(const char* gbk_path) {
    HANDLE image =
        wide_api() ? LoadImageW(nullptr, w(gbk_path).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)
                   : LoadImageA(nullptr, gbk_path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
    return static_cast<HBITMAP>(image);
}

HRSRC find_dialog_resource(int id) {
    return wide_api() ? FindResourceW(App::instance(), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5))
                      : FindResourceA(App::instance(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
}

int object_info(HGDIOBJ object, int size, void* info) {
    return wide_api() ? GetObjectW(object, size, info) : GetObjectA(object, size, info);
}

HFONT create_font(int height, int width, int weight, bool underline, BYTE charset,
                  BYTE out_precision, BYTE clip_precision, BYTE quality, BYTE pitch_and_family,
                  const char* gbk_face) {
    if (!wide_api())
        return CreateFontA(height, width, 0, 0, weight, FALSE, underline ? TRUE : FALSE, FALSE,
                           charset, out_precision, clip_precision, quality, pitch_and_family,
                           gbk_face);
    return CreateFontW(height, width, 0, 0, weight, FALSE, underline ? TRUE : FALSE, FALSE, charset,
                       out_precision, clip_precision, quality, pitch_and_family,
                       w(gbk_face).c_str());
}

BOOL text_out(HDC dc, int x, int y, std::string_view gbk) {
    if (!wide_api())
        return TextOutA(dc, x, y, gbk.data(), static_cast<int>(gbk.size()));
    const std::wstring text = w(gbk);
    return TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

BOOL ext_text_out(HDC dc, int x, int y, UINT options, const RECT* rect, std::string_view gbk) {
    if (!wide_api())
        return ExtTextOutA(dc, x, y, options, rect, gbk.data(), static_cast<UINT>(gbk.size()),
                           nullptr);
    const std::wstring text = w(gbk);
    return ExtTextOutW(dc, x, y, options, rect, text.c_str(), static_cast<UINT>(text.size()),
                       nullptr);
}

int draw_text(HDC dc, std::string_view gbk, RECT& box, UINT format) {
    if (!wide_api())
        return DrawTextA(dc, gbk.data(), static_cast<int>(gbk.size()), &box, format);
    const std::wstring text = w(gbk);
    return DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format);
}

SIZE text_extent(HDC dc, std::string_view gbk) {
    SIZE size{};
    if (!wide_api()) {
        GetTextExtentPoint32A(dc, gbk.data(), static_cast<int>(gbk.size()), &size);
        return size;
    }
    const std::wstring text = w(gbk);
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

HDC create_enh_metafile(HDC reference, const RECT* frame) {
    return wide_api() ? CreateEnhMetaFileW(reference, nullptr, frame, nullptr)
                      : CreateEnhMetaFileA(reference, nullptr, frame, nullptr);
}

bool shell_open(HWND owner, const char* gbk_target) {
    HINSTANCE result =
        wide_api()
            ? ShellExecuteW(owner, L"open", w(gbk_target).c_str(), nullptr, nullptr, SW_SHOWNORMAL)
            : ShellExecuteA(owner, "open", gbk_target, nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

HKEY registry_open(HKEY root, const char* gbk_path, REGSAM access) {
    HKEY key = nullptr;
    const LONG status = wide_api() ? RegOpenKeyExW(root, w(gbk_path).c_str(), 0, access, &key)
                                   : RegOpenKeyExA(root, gbk_path, 0, access, &key);
    return status == ERROR_SUCCESS ? key : nullptr;
}

HKEY registry_create(HKEY root, const char* gbk_path) {
    HKEY key = nullptr;
    const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE;
    const LONG status =
        wide_api() ? RegCreateKeyExW(root, w(gbk_path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     access, nullptr, &key, nullptr)
                   : RegCreateKeyExA(root, gbk_path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                     nullptr, &key, nullptr);
    return status == ERROR_SUCCESS ? key : nullptr;
}

std::optional<std::string> registry_text(HKEY key, const char* gbk_name, size_t limit,
                                         DWORD* type) {
    DWORD kind = 0, bytes = 0;
    std::string text;
    if (!wide_api()) {
        if (RegQueryValueExA(key, gbk_name, nullptr, &kind, nullptr, &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        std::vector<char> value(bytes + 1, '\0');
        if (RegQueryValueExA(key, gbk_name, nullptr, &kind, reinterpret_cast<BYTE*>(value.data()),
                             &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        text.assign(value.data(), bytes < value.size() ? bytes : value.size() - 1);
    } else {
        const std::wstring name = w(gbk_name);
        if (RegQueryValueExW(key, name.c_str(), nullptr, &kind, nullptr, &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, name.c_str(), nullptr, &kind,
                             reinterpret_cast<BYTE*>(value.data()), &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        value.resize(bytes / sizeof(wchar_t) < value.size() ? bytes / sizeof(wchar_t)
                                                            : value.size() - 1);
        text = to_gbk(value);
    }
    // A string's stored terminator is not part of it.
    if ((kind == REG_SZ || kind == REG_EXPAND_SZ) && !text.empty() && text.back() == '\0')
        text.pop_back();
    text.resize(gbk_fit_length(text, limit));
    if (type != nullptr)
        *type = kind;
    return text;
}

std::optional<uint32_t> registry_dword(HKEY key, const char* gbk_name) {
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG status = wide_api() ? RegQueryValueExW(key, w(gbk_name).c_str(), nullptr, &type,
                                                      reinterpret_cast<BYTE*>(&value), &size)
                                   : RegQueryValueExA(key, gbk_name, nullptr, &type,
                                                      reinterpret_cast<BYTE*>(&value), &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

bool registry_set_string(HKEY key, const char* gbk_name, const char* gbk_value) {
    if (!wide_api())
        return RegSetValueExA(key, gbk_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(gbk_value),
                              static_cast<DWORD>(std::strlen(gbk_value) + 1)) == ERROR_SUCCESS;
    const std::wstring value = w(gbk_value);
    return RegSetValueExW(
               key, w(gbk_name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool registry_set_dword(HKEY key, const char* gbk_name, uint32_t value) {
    const DWORD v = value;
    const auto* bytes = reinterpret_cast<const BYTE*>(&v);
    return (wide_api()
                ? RegSetValueExW(key, w(gbk_name).c_str(), 0, REG_DWORD, bytes, sizeof v)
                : RegSetValueExA(key, gbk_name, 0, REG_DWORD, bytes, sizeof v)) == ERROR_SUCCESS;
}

HANDLE create_file(const char* gbk_path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags) {
    return wide_api() ? CreateFileW(w(gbk_path).c_str(), access, share, nullptr, disposition, flags,
                                    nullptr)
                      : CreateFileA(gbk_path, access, share, nullptr, disposition, flags, nullptr);
}

bool file_exists(const char* gbk_path) {
    const DWORD attributes =
        wide_api() ? GetFileAttributesW(w(gbk_path).c_str()) : GetFileAttributesA(gbk_path);
    return attributes != INVALID_FILE_ATTRIBUTES;
}

UINT drive_type(const char* gbk_root) {
    return wide_api() ? GetDriveTypeW(w(gbk_root).c_str()) : GetDriveTypeA(gbk_root);
}

HMODULE load_library(const char* name) {
    return wide_api() ? LoadLibraryW(w(name).c_str()) : LoadLibraryA(name);
}

HANDLE create_mutex(const char* gbk_name) {
    return wide_api() ? CreateMutexW(nullptr, FALSE, w(gbk_name).c_str())
                      : CreateMutexA(nullptr, FALSE, gbk_name);
}

std::string module_path() {
    constexpr DWORD kSize = 1024;
    if (!wide_api()) {
        char path[kSize] = {};
        const DWORD n = GetModuleFileNameA(nullptr, path, kSize);
        return std::string(path, n < kSize ? n : 0);
    }
    wchar_t path[kSize] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, kSize);
    return to_gbk(std::wstring_view(path, n < kSize ? n : 0));
}

std::string computer_name() {
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!wide_api()) {
        char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        return GetComputerNameA(name, &size) ? std::string(name) : std::string();
    }
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    return GetComputerNameW(name, &size) ? to_gbk(name) : std::string();
}

std::string arguments() {
    std::string line = wide_api() ? to_gbk(GetCommandLineW()) : std::string(GetCommandLineA());
    // The program's name comes first, quoted when it has spaces; GBK's second bytes are never
    // quotes or blanks, so the bytes can be walked as they are.
    size_t at = 0;
    if (!line.empty() && line[0] == '"') {
        at = line.find('"', 1);
        at = at == std::string::npos ? line.size() : at + 1;
    } else {
        while (at < line.size() && line[at] != ' ' && line[at] != '\t')
            ++at;
    }
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    return line.substr(at);
}

} // namespace ui
