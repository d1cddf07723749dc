#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/wine/driver.h"
// Shared set-up of the user-interface tests: every case gets its own installation folder under
// c:\kalvit-ui and a profile of its own, and puts the user's profile back afterwards.

namespace uitest {

// The installation folder of a case: c:\kalvit-ui\<name>.
std::wstring case_dir(const std::wstring& name);

// Lays out a fresh installation and a profile that points at it, without a pre-test (which
// would run a whole benchmark first). Fails the test when the layout fails.
std::optional<driver::Installation> prepare(const std::wstring& name);

// Starts kalvit.exe from the installation, its log in the installation folder.
std::optional<driver::Process> start(const driver::Installation& inst,
                                     const std::wstring& args = L"");

// Waits for the main frame; when none appears, the failure says what the program shows instead.
HWND wait_for_frame(const driver::Process& process);

// The program's configuration value of a one-line field, read from the installation.
std::string config_value(const driver::Installation& inst, const char* field);

class UiCase : public ::testing::Test {
protected:
    driver::ProfileGuard profile_;
};

} // namespace uitest
