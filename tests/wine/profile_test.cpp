#include <windows.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "shell/app_globals.h"
#include "shell/profile.h"

// Runs against the real registry of the prefix: the settings key is saved and removed before
// each test and put back afterwards.

namespace {
constexpr const wchar_t* kKey = L"Software\\Pelorin\\kalvit\\settings";

struct SavedValue {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

HKEY open_key(REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

bool key_exists() {
    HKEY key = open_key(KEY_QUERY_VALUE);
    if (key != nullptr)
        RegCloseKey(key);
    return key != nullptr;
}

void delete_key() {
    SHDeleteKeyW(HKEY_CURRENT_USER, kKey);
}

void set_raw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void set_raw_string(const wchar_t* name, const std::wstring& value) {
    set_raw(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// A value as the registry holds it: false when it is absent.
bool get_raw(const wchar_t* name, DWORD& type, std::vector<BYTE>& data) {
    HKEY key = open_key(KEY_QUERY_VALUE);
    if (key == nullptr)
        return false;
    DWORD size = 0;
    bool ok = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (ok) {
        data.resize(size);
        ok = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
}

std::wstring raw_string(const wchar_t* name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    return get_raw(name, type, data) && type == REG_SZ
               ? std::wstring(reinterpret_cast<const wchar_t*>(data.data()))
               : L"<absent>";
}

DWORD raw_dword(const wchar_t* name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!get_raw(name, type, data) || type != REG_DWORD || data.size() != sizeof(DWORD))
        return 0xDEADBEEF;
    DWORD value;
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

class Profile : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(saved_dir_, install_dir, sizeof install_dir);
        std::memcpy(saved_mail_, up_mail, sizeof up_mail);
        std::memcpy(saved_pass_, up_pass, sizeof up_pass);
        HKEY key = open_key(KEY_QUERY_VALUE);
        had_key_ = key != nullptr;
        if (key != nullptr) {
            for (DWORD i = 0;; ++i) {
                wchar_t name[256];
                DWORD name_size = 256;
                DWORD type = 0;
                DWORD size = 0;
                if (RegEnumValueW(key, i, name, &name_size, nullptr, &type, nullptr, &size) !=
                    ERROR_SUCCESS)
                    break;
                SavedValue v{name, type, std::vector<BYTE>(size)};
                RegQueryValueExW(key, name, nullptr, &type, v.data.data(), &size);
                saved_.push_back(std::move(v));
            }
            RegCloseKey(key);
        }
        delete_key();
        ASSERT_FALSE(key_exists());
    }

    void TearDown() override {
        delete_key();
        for (const SavedValue& v : saved_)
            set_raw(v.name.c_str(), v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
        if (had_key_ && saved_.empty()) {
            HKEY key = nullptr;
            RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr);
            RegCloseKey(key);
        }
        std::memcpy(install_dir, saved_dir_, sizeof install_dir);
        std::memcpy(up_mail, saved_mail_, sizeof up_mail);
        std::memcpy(up_pass, saved_pass_, sizeof up_pass);
    }

    static void set_globals(const char* dir, const char* mail, const char* pass) {
        std::snprintf(install_dir, sizeof install_dir, "%s", dir);
        std::snprintf(up_mail, sizeof up_mail, "%s", mail);
        std::snprintf(up_pass, sizeof up_pass, "%s", pass);
    }

    std::vector<SavedValue> saved_;
    bool had_key_ = false;
    char saved_dir_[kPathSize];
    char saved_mail_[kUpMailSize];
    char saved_pass_[kUpPassSize];
};
} // namespace

TEST_F(Profile, WithoutTheKeyOrWithValuesOfTheWrongTypeTheDefaultsAreTaken) {
    for (bool wrong_types : {false, true}) {
        if (wrong_types) {
            DWORD number = 7;
            set_raw(L"install_dir", REG_DWORD, &number, sizeof number);
            set_raw_string(L"pre_test_flag", L"0");
            set_raw(L"up_mail", REG_BINARY, "abc", 3);
        }
        set_globals("stale", "stale@mail", "stale");
        read_install_dir();
        EXPECT_STREQ(install_dir, "c:\\kalvit");
        for (int current : {1, 0}) {
            int flag = current;
            read_profile_settings(flag);
            EXPECT_EQ(flag, current); // the flag's own value is its default
        }
        EXPECT_STREQ(up_mail, "");
        EXPECT_STREQ(up_pass, "");
        EXPECT_EQ(key_exists(), wrong_types); // reading creates nothing
    }
}

TEST_F(Profile, WrittenValuesReadBackAndAnEmptyMailLeavesTheAccountAlone) {
    set_globals("d:\\测试目录", "tester@localhost", "secret密码");
    write_profile(0);
    EXPECT_EQ(raw_dword(L"pre_test_flag"), 0u);
    EXPECT_EQ(raw_string(L"install_dir"), L"d:\\测试目录");
    EXPECT_EQ(raw_string(L"up_pass"), L"secret密码");

    set_globals("", "", "");
    int flag = 1;
    read_install_dir();
    read_profile_settings(flag);
    EXPECT_EQ(flag, 0);
    EXPECT_STREQ(install_dir, "d:\\测试目录");
    EXPECT_STREQ(up_mail, "tester@localhost");
    EXPECT_STREQ(up_pass, "secret密码");

    set_globals("e:\\new", "", "newpass");
    write_profile(1);
    read_profile_settings(flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(raw_string(L"up_mail"), L"tester@localhost");
    EXPECT_EQ(raw_string(L"up_pass"), L"secret密码");
    EXPECT_EQ(raw_string(L"install_dir"), L"e:\\new");
}

TEST_F(Profile, InstallDirIsWrittenAlsoAtItsDefault) {
    set_globals("c:\\kalvit", "", "");
    write_install_dir();
    EXPECT_EQ(raw_string(L"install_dir"), L"c:\\kalvit");
    EXPECT_EQ(raw_dword(L"pre_test_flag"), 0xDEADBEEF); // the installation call writes nothing else
    EXPECT_EQ(raw_string(L"up_mail"), L"<absent>");

    delete_key();
    write_profile(1);
    EXPECT_EQ(raw_string(L"install_dir"), L"c:\\kalvit");
    EXPECT_EQ(raw_dword(L"pre_test_flag"), 1u);
    EXPECT_EQ(raw_string(L"up_pass"), L"<absent>");
}

TEST_F(Profile, OverlongTextsAreCutWithoutSplittingACharacter) {
    set_raw_string(L"install_dir", std::wstring(300, L'a'));
    set_raw_string(L"up_mail", std::wstring(100, L'm'));
    set_raw_string(L"up_pass", L"ab" + std::wstring(20, L'密')); // 42 bytes in GBK
    read_install_dir();
    int flag = 1;
    read_profile_settings(flag);
    EXPECT_EQ(std::string(install_dir), std::string(kPathSize - 1, 'a'));
    EXPECT_EQ(std::string(up_mail), std::string(kUpMailSize - 1, 'm'));
    // 35 bytes fit: "ab" and 16 double-byte characters, not half of a 17th.
    std::string pass = "ab";
    for (int i = 0; i < 16; ++i)
        pass += "密";
    EXPECT_EQ(std::string(up_pass), pass);

    set_raw_string(L"up_pass", L"a" + std::wstring(20, L'密'));
    read_profile_settings(flag);
    EXPECT_EQ(std::strlen(up_pass), 35u); // "a" and 17 characters fill the buffer exactly
}
