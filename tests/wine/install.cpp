#include <filesystem>
#include <system_error>

#include "tests/wine/driver.h"

#include <shlwapi.h>
// Installation folders and the registry profile of the program under test.

namespace driver {

const wchar_t kProfileKey[] = L"Software\\Pelorin\\kalvit";
const wchar_t kSettingsKey[] = L"Software\\Pelorin\\kalvit\\settings";

std::wstring from_unix_path(std::string_view unix_path) {
    std::wstring out = L"Z:";
    for (char c : unix_path)
        out.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
}

std::wstring join_path(const std::wstring& dir, const std::wstring& name) {
    if (!dir.empty() && dir.back() == L'\\')
        return dir + name;
    return dir + L"\\" + name;
}

bool make_fresh_dir(const std::wstring& dir) {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(dir), ec);
    if (ec)
        return false;
    return std::filesystem::create_directories(std::filesystem::path(dir), ec) && !ec;
}

bool copy_file(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

bool write_file(const std::wstring& path, std::string_view bytes) {
    ui::File file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

std::optional<std::string> read_file(const std::wstring& path) {
    ui::File file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    std::string out;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        out.append(buffer, got);
    return out;
}

bool file_exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<Installation> install(const std::wstring& dir, const Sources& from) {
    Installation inst{dir};
    if (!make_fresh_dir(dir) || !CreateDirectoryW((dir + L"\\pdata").c_str(), nullptr))
        return std::nullopt;
    if (!copy_file(from.exe, inst.exe()) || !copy_file(from.config, inst.config()))
        return std::nullopt;
    std::error_code ec;
    int pictures = 0;
    for (const auto& entry : std::filesystem::directory_iterator(from.pdata, ec)) {
        if (entry.path().extension() != L".bmp")
            continue;
        if (!copy_file(entry.path().wstring(), inst.pdata(entry.path().filename().c_str())))
            return std::nullopt;
        ++pictures;
    }
    if (ec || pictures == 0)
        return std::nullopt;
    for (const wchar_t* records : {L"kalvit.dat", L"kalvitif.dat", L"dderr.txt"}) {
        std::wstring source = join_path(from.data, records);
        if (file_exists(source) && !copy_file(source, join_path(dir, records)))
            return std::nullopt;
    }
    return inst;
}

namespace {

std::optional<ProfileGuard::Key> save_key(HKEY parent, const std::wstring& path) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS)
        return std::nullopt;
    ui::RegKey key(raw);
    ProfileGuard::Key saved;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD name_len = 256;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key.get(), i, name, &name_len, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        ProfileGuard::Value value{std::wstring(name, name_len), type, std::vector<BYTE>(size)};
        DWORD data_size = size;
        RegQueryValueExW(key.get(), value.name.c_str(), nullptr, nullptr, value.data.data(),
                         &data_size);
        saved.values.push_back(std::move(value));
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD name_len = 256;
        if (RegEnumKeyExW(key.get(), i, name, &name_len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        std::wstring sub(name, name_len);
        if (auto child = save_key(key.get(), sub))
            saved.subkeys.emplace_back(sub, std::move(*child));
    }
    return saved;
}

void restore_key(HKEY parent, const std::wstring& path, const ProfileGuard::Key& saved) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr) !=
        ERROR_SUCCESS)
        return;
    ui::RegKey key(raw);
    for (const auto& value : saved.values)
        RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
    for (const auto& [name, child] : saved.subkeys)
        restore_key(key.get(), name, child);
}

ui::RegKey open_settings(REGSAM access, bool create) {
    HKEY raw = nullptr;
    LONG rc = create ? RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, access,
                                       nullptr, &raw, nullptr)
                     : RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, access, &raw);
    return ui::RegKey(rc == ERROR_SUCCESS ? raw : nullptr);
}

} // namespace

ProfileGuard::ProfileGuard() : saved_(save_key(HKEY_CURRENT_USER, kProfileKey)) {
    clear_profile();
}

ProfileGuard::~ProfileGuard() {
    clear_profile();
    if (saved_)
        restore_key(HKEY_CURRENT_USER, kProfileKey, *saved_);
}

bool clear_profile() {
    LONG rc = SHDeleteKeyW(HKEY_CURRENT_USER, kProfileKey);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool set_profile_string(const wchar_t* name, const std::wstring& value) {
    ui::RegKey key = open_settings(KEY_WRITE, true);
    return key && RegSetValueExW(
                      key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool set_profile_dword(const wchar_t* name, DWORD value) {
    ui::RegKey key = open_settings(KEY_WRITE, true);
    return key &&
           RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

bool delete_profile_value(const wchar_t* name) {
    ui::RegKey key = open_settings(KEY_WRITE, false);
    return key && RegDeleteValueW(key.get(), name) == ERROR_SUCCESS;
}

std::optional<std::wstring> profile_string(const wchar_t* name) {
    ui::RegKey key = open_settings(KEY_READ, false);
    if (!key)
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

std::optional<DWORD> profile_dword(const wchar_t* name) {
    ui::RegKey key = open_settings(KEY_READ, false);
    if (!key)
        return std::nullopt;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

} // namespace driver
