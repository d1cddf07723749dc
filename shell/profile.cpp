#include "shell/profile.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "shell/app_globals.h"
#include "ui/gbk.h"

char up_mail[kUpMailSize];
char up_pass[kUpPassSize];

namespace {
constexpr const wchar_t* kSettingsKey = L"Software\\Pelorin\\kalvit\\settings";
constexpr const char* kDefaultInstallDir = "c:\\kalvit";

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using KeyOwner = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

KeyOwner open_settings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return KeyOwner();
    return KeyOwner(key);
}

KeyOwner create_settings() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return KeyOwner();
    return KeyOwner(key);
}

// Copies GBK text into a buffer of `size` bytes, cut so that no double-byte character is split.
void copy_gbk_cut(char* dest, size_t size, const std::string& text) {
    size_t end = gbk_fit_length(text, size - 1);
    std::memcpy(dest, text.data(), end);
    dest[end] = '\0';
}

// A REG_SZ value as GBK into `dest`, or `fallback` when it is absent or of another type.
void read_string(HKEY key, const wchar_t* name, char* dest, size_t size, const char* fallback) {
    DWORD type = 0;
    DWORD bytes = 0;
    std::wstring value;
    bool ok = key != nullptr &&
              RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
              type == REG_SZ;
    if (ok) {
        value.resize(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        ok = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                              &got) == ERROR_SUCCESS &&
             type == REG_SZ;
        // The stored data need not end in a zero; the text ends at the first one either way.
        value.resize(ok ? std::wcslen(value.c_str()) : 0);
    }
    copy_gbk_cut(dest, size, ok ? to_gbk(value) : std::string(fallback));
}

void write_string(HKEY key, const wchar_t* name, const char* gbk) {
    std::wstring value = to_wide(gbk);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}
} // namespace

void read_install_dir() {
    KeyOwner key = open_settings();
    read_string(key.get(), L"install_dir", install_dir, sizeof install_dir, kDefaultInstallDir);
}

void read_profile_settings(int& pre_test_flag) {
    KeyOwner key = open_settings();
    DWORD type = 0;
    DWORD value = 0;
    DWORD bytes = sizeof value;
    if (key &&
        RegQueryValueExW(key.get(), L"pre_test_flag", nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &bytes) == ERROR_SUCCESS &&
        type == REG_DWORD && bytes == sizeof value)
        pre_test_flag = static_cast<int>(value);
    read_string(key.get(), L"up_mail", up_mail, sizeof up_mail, "");
    read_string(key.get(), L"up_pass", up_pass, sizeof up_pass, "");
}

void write_profile(int pre_test_flag) {
    KeyOwner key = create_settings();
    if (!key)
        return;
    DWORD flag = static_cast<DWORD>(pre_test_flag);
    RegSetValueExW(key.get(), L"pre_test_flag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flag),
                   sizeof flag);
    write_string(key.get(), L"install_dir", install_dir);
    if (up_mail[0] != '\0') {
        write_string(key.get(), L"up_mail", up_mail);
        write_string(key.get(), L"up_pass", up_pass);
    }
}

void write_install_dir() {
    KeyOwner key = create_settings();
    if (key)
        write_string(key.get(), L"install_dir", install_dir);
}
