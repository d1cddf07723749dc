#include "tests/wine/ui_fixture.h"

#include <cstring>

#include "shell/app_globals.h"
#include "shell/config_file.h"
#include "ui/gbk.h"

namespace uitest {

std::wstring case_dir(const std::wstring& name) {
    return L"c:\\kalvit-ui\\" + name;
}

std::optional<driver::Installation> prepare(const std::wstring& name) {
    const driver::Sources sources{
        driver::from_unix_path(KALVIT_EXE), driver::from_unix_path(KALVIT_CONFIG),
        driver::from_unix_path(KALVIT_PDATA_DIR), driver::from_unix_path(KALVIT_DATA_DIR)};
    std::optional<driver::Installation> inst = driver::install(case_dir(name), sources);
    EXPECT_TRUE(inst.has_value()) << "cannot lay out " << to_gbk(case_dir(name));
    if (!inst)
        return std::nullopt;
    EXPECT_TRUE(driver::set_profile_string(L"install_dir", inst->dir));
    EXPECT_TRUE(driver::set_profile_dword(L"pre_test_flag", 0));
    return inst;
}

std::optional<driver::Process> start(const driver::Installation& inst, const std::wstring& args) {
    std::optional<driver::Process> process =
        driver::Process::start(inst.exe(), args, inst.dir, inst.log());
    EXPECT_TRUE(process.has_value()) << "cannot start " << to_gbk(inst.exe());
    return process;
}

HWND wait_for_frame(const driver::Process& process) {
    HWND frame = driver::wait_for_frame(process);
    if (frame == nullptr)
        ADD_FAILURE() << "no main frame appeared; kalvit.exe "
                      << to_gbk(driver::describe_state(process));
    return frame;
}

std::string config_value(const driver::Installation& inst, const char* field) {
    const std::string dir = to_gbk(inst.dir);
    std::strncpy(install_dir, dir.c_str(), kPathSize - 1);
    install_dir[kPathSize - 1] = '\0';
    char value[kConfigTextSize] = {};
    EXPECT_EQ(read_config_field(field, value, 1), 1) << field;
    return value;
}

} // namespace uitest
