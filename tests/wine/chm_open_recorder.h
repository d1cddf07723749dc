#pragma once
#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "tests/wine/driver.h"

// Points the prefix's ".chm" association at a command that writes the opened file's path into
// a file of the test's own, and puts Wine's own association back when it goes.
class ChmOpenRecorder {
public:
    static constexpr wchar_t kRecord[] = L"c:\\kalvit-ui\\shell-open.txt";

    ChmOpenRecorder() {
        CreateDirectoryW(L"c:\\kalvit-ui", nullptr);
        DeleteFileW(kRecord);
        const std::wstring command =
            L"C:\\windows\\system32\\cmd.exe /c echo %1>" + std::wstring(kRecord);
        ok_ = write_default(L"Software\\Classes\\kalvit.test.chm\\shell\\open\\command",
                            command) &&
              write_default(L"Software\\Classes\\.chm", L"kalvit.test.chm");
    }
    ~ChmOpenRecorder() {
        write_default(L"Software\\Classes\\.chm", L"chm.file");
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\kalvit.test.chm");
        DeleteFileW(kRecord);
    }
    bool ok() const { return ok_; }

    // The path the shell opened, once the command has written it.
    std::string opened() const {
        std::string text;
        driver::wait_until(
            [&] {
                std::optional<std::string> got = driver::read_file(kRecord);
                text = got.value_or("");
                return text.find('\n') != std::string::npos;
            },
            driver::kStepTimeoutMs);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        return text;
    }

private:
    static bool write_default(const wchar_t* key, const std::wstring& value) {
        return SHSetValueW(HKEY_LOCAL_MACHINE, key, nullptr, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }
    bool ok_ = false;
};
