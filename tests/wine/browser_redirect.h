#pragma once
#include <windows.h>

#include <string>

#include "tests/wine/driver.h"
#include "ui/gbk.h"
#include "ui/handles.h"
// The build's browser script (KALVIT_BROWSER) notes every address the shell opens in
// KALVIT_BROWSER_LOG.

// Points Wine's browser launcher at the build's script, which notes every address it is given.
class BrowserRedirect {
public:
    BrowserRedirect() {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
        key_.reset(key);
        wchar_t old[1024] = {};
        DWORD size = sizeof old - sizeof(wchar_t);
        had_ = RegQueryValueExW(key, L"Browsers", nullptr, nullptr, reinterpret_cast<BYTE*>(old),
                                &size) == ERROR_SUCCESS;
        old_ = old;
        const std::wstring script = to_wide(KALVIT_BROWSER);
        ok_ = key != nullptr &&
              RegSetValueExW(
                  key, L"Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(script.c_str()),
                  static_cast<DWORD>((script.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
        DeleteFileW(log().c_str());
    }
    BrowserRedirect(const BrowserRedirect&) = delete;
    BrowserRedirect& operator=(const BrowserRedirect&) = delete;
    ~BrowserRedirect() {
        if (had_)
            RegSetValueExW(key_.get(), L"Browsers", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(old_.c_str()),
                           static_cast<DWORD>((old_.size() + 1) * sizeof(wchar_t)));
        else
            RegDeleteValueW(key_.get(), L"Browsers");
    }
    bool ok() const { return ok_; }
    static std::wstring log() { return driver::from_unix_path(KALVIT_BROWSER_LOG); }

private:
    ui::RegKey key_;
    std::wstring old_;
    bool had_ = false, ok_ = false;
};

