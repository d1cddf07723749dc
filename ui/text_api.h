#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
// The Win32 calls that take or give text, and the calls whose A and W forms differ in the
// messages and structures they pass. On the NT family (NT 4.0, 2000, XP and later) they take the
// W API, the program's GBK texts converted through code page 936, so Chinese shows on any
// locale. Windows 95, 98 and Me have no working W API (most W functions are stubs that fail):
// there they take the A API with the GBK bytes as they are, which a Chinese system (code page
// 936) shows correctly. The side is chosen once, at start-up; nothing outside ui/ asks which.

namespace ui {

// True on the NT family, false on Windows 95, 98 and Me.
bool wide_api();
// Chooses the side from the platform id GetVersionExA reports (A, because the W form is a stub
// on 9x). Called once before the first window.
void choose_text_api();
// The platform's version record, as GetVersionExA fills it (the service-pack text in GBK bytes).
const OSVERSIONINFOA& os_version();

// Messages and window data.
LRESULT send(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
BOOL post(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
LONG_PTR window_long(HWND hwnd, int index);
LONG_PTR set_window_long(HWND hwnd, int index, LONG_PTR value);
LRESULT default_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// The message loop.
BOOL get_message(MSG& msg);
BOOL peek_message(MSG& msg, HWND filter, UINT remove);
LRESULT dispatch_message(const MSG& msg);
BOOL is_dialog_message(HWND dialog, MSG& msg);

// Classes, windows and dialogs; names and titles are GBK (ASCII for class names).
bool register_window_class(const char* name, WNDPROC proc, HICON icon, HCURSOR cursor,
                           HBRUSH background, UINT style);
HWND create_window(DWORD ex_style, const char* class_name, const char* title, DWORD style, int x,
                   int y, int width, int height, HWND parent, HMENU menu_or_id, void* param);
INT_PTR dialog_box(int template_id, HWND owner, DLGPROC proc);
HWND create_dialog(int template_id, HWND owner, DLGPROC proc);
HWND create_dialog_indirect(const DLGTEMPLATE* tmpl, HWND owner, DLGPROC proc);
// The window class's name, GBK.
std::string class_name(HWND hwnd);

// Window and control texts, GBK.
void set_text(HWND hwnd, const char* gbk);
std::string get_text(HWND hwnd);
int message_box(HWND owner, const char* gbk_text, const char* gbk_caption, UINT type);
void combo_add(HWND combo, const char* gbk);
std::string combo_item_text(HWND combo, int index);
void tab_insert(HWND tab, int index, const char* gbk);
void list_insert_column(HWND list, int index, const char* gbk_title, int width, int format);
void list_insert_item(HWND list, int row, const char* gbk);
void list_set_item_text(HWND list, int row, int column, const char* gbk);
std::string list_item_text(HWND list, int row, int column);

// Resources, pictures, cursors and fonts.
HICON load_icon(int id);
HCURSOR load_cursor(int id);
HBITMAP load_bitmap_resource(int id);
HCURSOR arrow_cursor();
HBITMAP load_bitmap_file(const char* gbk_path);
HRSRC find_dialog_resource(int id);
int object_info(HGDIOBJ object, int size, void* info);
HFONT create_font(int height, int width, int weight, bool underline, BYTE charset,
                  BYTE out_precision, BYTE clip_precision, BYTE quality, BYTE pitch_and_family,
                  const char* gbk_face);

// Drawing text, GBK.
BOOL text_out(HDC dc, int x, int y, std::string_view gbk);
BOOL ext_text_out(HDC dc, int x, int y, UINT options, const RECT* rect, std::string_view gbk);
int draw_text(HDC dc, std::string_view gbk, RECT& box, UINT format);
SIZE text_extent(HDC dc, std::string_view gbk);
HDC create_enh_metafile(HDC reference, const RECT* frame);

// The shell: opens a document, folder or address with its program; true when it started.
bool shell_open(HWND owner, const char* gbk_target);

// The registry, GBK paths and names. A key is null when it could not be opened.
HKEY registry_open(HKEY root, const char* gbk_path, REGSAM access);
HKEY registry_create(HKEY root, const char* gbk_path);
// A value as GBK text, its NULs kept (a list of texts stays one), cut to at most limit bytes on a
// whole character; none when it is missing. The value's type goes to type.
std::optional<std::string> registry_text(HKEY key, const char* gbk_name, size_t limit,
                                         DWORD* type = nullptr);
std::optional<uint32_t> registry_dword(HKEY key, const char* gbk_name);
bool registry_set_string(HKEY key, const char* gbk_name, const char* gbk_value);
bool registry_set_dword(HKEY key, const char* gbk_name, uint32_t value);

// Files, processes and the system, GBK.
HANDLE create_file(const char* gbk_path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags);
bool file_exists(const char* gbk_path);
UINT drive_type(const char* gbk_root);
HMODULE load_library(const char* name);
HANDLE create_mutex(const char* gbk_name);
std::string module_path();
std::string computer_name();
std::optional<std::string> environment(const char* name);
// The command line after the program's own name, GBK.
std::string arguments();

} // namespace ui
