#include "shell/profile.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "shell/app_globals.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

char up_mail[kUpMailSize];
char up_pass[kUpPassSize];

namespace {
constexpr const char* kSettingsKey = "Software\\Pelorin\\kalvit\\settings";
constexpr const char* kDefaultInstallDir = "c:\\kalvit";

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using KeyOwner = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

KeyOwner open_settings() {
    return KeyOwner(ui::registry_open(HKEY_CURRENT_USER, kSettingsKey, KEY_QUERY_VALUE));
}

KeyOwner create_settings() {
    return KeyOwner(ui::registry_create(HKEY_CURRENT_USER, kSettingsKey));
}

// Copies GBK text into a buffer of `size` bytes, cut so that no double-byte character is split.
void copy_gbk_cut(char* dest, size_t size, const std::string& text) {
    size_t end = gbk_fit_length(text, size - 1);
    std::memcpy(dest, text.data(), end);
    dest[end] = '\0';
}

// A REG_SZ value as GBK into `dest`, or `fallback` when it is absent or of another type.
void read_string(HKEY key, const char* name, char* dest, size_t size, const char* fallback) {
    DWORD type = 0;
    std::optional<std::string> value;
    if (key != nullptr)
        value = ui::registry_text(key, name, size - 1, &type);
    // The stored data need not end in a zero; the text ends at the first one either way.
    const bool ok = value && type == REG_SZ;
    copy_gbk_cut(dest, size, ok ? std::string(value->c_str()) : std::string(fallback));
}

void write_string(HKEY key, const char* name, const char* gbk) {
    ui::registry_set_string(key, name, gbk);
}
} // namespace

void read_install_dir() {
    KeyOwner key = open_settings();
    read_string(key.get(), "install_dir", install_dir, sizeof install_dir, kDefaultInstallDir);
}

void read_profile_settings(int& pre_test_flag) {
    KeyOwner key = open_settings();
    if (key) {
        if (const std::optional<uint32_t> value = ui::registry_dword(key.get(), "pre_test_flag"))
            pre_test_flag = static_cast<int>(*value);
    }
    read_string(key.get(), "up_mail", up_mail, sizeof up_mail, "");
    read_string(key.get(), "up_pass", up_pass, sizeof up_pass, "");
}

void write_profile(int pre_test_flag) {
    KeyOwner key = create_settings();
    if (!key)
        return;
    ui::registry_set_dword(key.get(), "pre_test_flag", static_cast<uint32_t>(pre_test_flag));
    write_string(key.get(), "install_dir", install_dir);
    if (up_mail[0] != '\0') {
        write_string(key.get(), "up_mail", up_mail);
        write_string(key.get(), "up_pass", up_pass);
    }
}

void write_install_dir() {
    KeyOwner key = create_settings();
    if (key)
        write_string(key.get(), "install_dir", install_dir);
}
