#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/wine/chm_open_recorder.h"
#include "tests/wine/program_run.h"
#include "tests/wine/ui_fixture.h"
#include "ui/gbk.h"

#include <shlwapi.h>
// Start-up: its order, the options it sets, large fonts, a damaged installation, a system
// without DirectDraw, and the installation call "help".

namespace {

using StartUp = uitest::UiCase;

constexpr wchar_t kWelcomeTitle[] = L"欢迎使用《Tavoli测试》";
constexpr int kWelcomeText = 1079;
constexpr int kOptionsPreTest = 1060;

// A registry value set for one test, put back as it was (or deleted again) when it goes.
class RegistryValue {
public:
    RegistryValue(HKEY root, std::wstring key, std::wstring name)
        : root_(root), key_(std::move(key)), name_(std::move(name)), old_(4096) {
        DWORD size = static_cast<DWORD>(old_.size());
        had_ = SHGetValueW(root_, key_.c_str(), name_.c_str(), &type_, old_.data(), &size) ==
               ERROR_SUCCESS;
        old_.resize(had_ ? size : 0);
    }
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;
    ~RegistryValue() {
        if (had_)
            SHSetValueW(root_, key_.c_str(), name_.c_str(), type_, old_.data(),
                        static_cast<DWORD>(old_.size()));
        else
            SHDeleteValueW(root_, key_.c_str(), name_.c_str());
    }
    bool set(DWORD type, const void* data, DWORD size) {
        return SHSetValueW(root_, key_.c_str(), name_.c_str(), type, data, size) == ERROR_SUCCESS;
    }

private:
    HKEY root_;
    std::wstring key_, name_;
    std::vector<BYTE> old_;
    DWORD type_ = REG_NONE;
    bool had_ = false;
};

// The index of the first line from `from` on that starts with the text, or -1.
int line_starting(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
        if (lines[i].rfind(text, 0) == 0)
            return i;
    return -1;
}

// Every benchmark option of the options page as it stands, one digit per control.
std::string option_states(HWND page) {
    std::string states;
    for (int id : {1045, 1046, 1049, 1048, 1057, 1054, 1059, 1051, 1050, 1052, 1055, 1056, 1058,
                   1061, kOptionsPreTest})
        states += static_cast<char>('0' + driver::check_state(GetDlgItem(page, id)));
    return states;
}
// The standard options: small blocks, unbuffered, the 1024 × 768 mode, the even weighting,
// no SIMD kernels, the single amount and the chart's automatic scale; then the pre-test box.
const std::string kStandardOptions = "10101001000001";

struct Profile {
    DWORD pre_test_flag;
    std::wstring install_dir, up_mail, up_pass;
};

// Closes the frame, waits for the program's end and compares the profile it leaves.
void close_and_expect_profile(const driver::Process& kalvit, HWND frame, const Profile& expected) {
    driver::close_window(frame);
    ASSERT_EQ(kalvit.wait_exit(driver::kStepTimeoutMs), std::optional<DWORD>(0));
    EXPECT_EQ(driver::profile_dword(L"pre_test_flag"), expected.pre_test_flag);
    EXPECT_EQ(driver::profile_string(L"install_dir"), expected.install_dir);
    EXPECT_EQ(driver::profile_string(L"up_mail"), expected.up_mail);
    EXPECT_EQ(driver::profile_string(L"up_pass"), expected.up_pass);
}

// Window texts are read as the system keeps them (driver::caption, find_dialog): start-up keeps
// the program busy for a second at a time, and a message would wait for it.

// Start-up in its order, seen in the log and on the screen: the welcome window comes first, the
// configuration is read before the sheet's height is checked, this machine's information is
// collected, a connection lists the display modes and is closed again, and only then the frame
// shows and the welcome window goes. The options are the standard ones after every start, even
// when the user changed them all before closing; only the pre-test box follows the profile.
TEST_F(StartUp, StepsRunInOrderAndEveryStartBeginsWithTheStandardOptions) {
    std::optional<driver::Installation> inst = uitest::prepare(L"order");
    ASSERT_TRUE(inst.has_value());
    // A missing optional field is only a warning, logged while the configuration is read.
    std::optional<std::string> config = driver::read_file(inst->config());
    ASSERT_TRUE(config.has_value());
    const size_t writer = config->find("[WRITERINFO]");
    ASSERT_NE(writer, std::string::npos);
    config->replace(writer, 12, "[WRITER-GONE]");
    ASSERT_TRUE(driver::write_file(inst->config(), *config));

    std::optional<driver::Process> kalvit = uitest::start(*inst);
    ASSERT_TRUE(kalvit.has_value());
    bool welcome_first = false, welcome_text = false;
    HWND frame = nullptr, welcome = nullptr;
    std::vector<std::string> log_at_frame;
    ASSERT_TRUE(driver::wait_until(
        [&] {
            if (HWND w = driver::find_dialog(kalvit->id(), kWelcomeTitle)) {
                welcome = w;
                welcome_text = welcome_text ||
                               driver::caption(GetDlgItem(w, kWelcomeText)) == L"正在初始化，请稍候......";
            }
            for (HWND w : driver::top_windows(kalvit->id(), true))
                if (driver::class_name(w) == L"CMainFrame")
                    frame = w;
            if (frame == nullptr) {
                welcome_first = welcome != nullptr;
                return false;
            }
            log_at_frame = driver::read_log_lines(inst->log());
            return true;
        },
        driver::kStartTimeoutMs))
        << to_gbk(driver::describe_state(*kalvit));
    EXPECT_TRUE(welcome_first) << "no welcome window before the frame";
    EXPECT_TRUE(welcome_text);
    EXPECT_TRUE(driver::wait_until([&] { return !IsWindow(welcome); }, driver::kStepTimeoutMs))
        << "the welcome window stays after start-up";

    // Each step's trace after the one before it; all of them before the frame showed.
    int at = 0;
    for (const char* step : {"The OS is Windows ", "-----Warning: Can't find field [WRITERINFO]",
                             "rect2.top=", "CPU MF: ", "Video: ",
                             "...... Begin init DirectX , exclusive=0 ......",
                             "Current display mode: ", "...... 已经CleanDirectX() ......"}) {
        const int found = line_starting(log_at_frame, step, at);
        EXPECT_GE(found, at) << "\"" << step << "\" is missing or out of order";
        at = found < 0 ? at : found + 1;
    }

    HWND sheet = driver::find_sheet(frame);
    HWND options = driver::select_page(sheet, 2, kOptionsPreTest);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(option_states(options), kStandardOptions + "0");
    // Every option away from its standard value, and the pre-test on for the next start.
    for (int id : {1046, 1048, 1054, 1052, 1055, 1058, 1061, kOptionsPreTest})
        EXPECT_TRUE(driver::click_button(GetDlgItem(options, id)));
    EXPECT_EQ(option_states(options), "010101000110101");
    // The profile changed behind the program's back: only what the close writes comes back.
    // Started without an account, it leaves the one that appeared meanwhile.
    ASSERT_TRUE(driver::delete_profile_value(L"install_dir"));
    ASSERT_TRUE(driver::set_profile_string(L"up_mail", L"older@example.cn"));
    ASSERT_TRUE(driver::set_profile_string(L"up_pass", L"older-secret"));
    close_and_expect_profile(*kalvit, frame, {1, inst->dir, L"older@example.cn", L"older-secret"});

    // The next start (without its pre-test, which the run test sees) begins with the standard
    // options again.
    ASSERT_TRUE(driver::set_profile_dword(L"pre_test_flag", 0));
    ASSERT_TRUE(driver::set_profile_string(L"up_mail", L"user@example.cn"));
    ASSERT_TRUE(driver::set_profile_string(L"up_pass", L"secret"));
    kalvit = uitest::start(*inst);
    ASSERT_TRUE(kalvit.has_value());
    frame = uitest::wait_for_frame(*kalvit);
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(driver::wait_until(
        [&] {
            return (options = driver::select_page(driver::find_sheet(frame), 2, kOptionsPreTest,
                                                  1000)) != nullptr;
        },
        driver::kStartTimeoutMs));
    EXPECT_EQ(option_states(options), kStandardOptions + "0");
    // Its account, read at the start, is written back; the unchecked pre-test box stores 0.
    ASSERT_TRUE(driver::set_profile_dword(L"pre_test_flag", 1));
    ASSERT_TRUE(driver::set_profile_string(L"up_mail", L"other@example.cn"));
    ASSERT_TRUE(driver::set_profile_string(L"up_pass", L"other"));
    close_and_expect_profile(*kalvit, frame, {0, inst->dir, L"user@example.cn", L"secret"});
}

// With large system fonts the test page's last line sits more than 395 pixels below the
// frame's top, and start-up makes the frame 470 high, centred on the screen.
TEST_F(StartUp, LargeFontsMakeTheFrame470HighAndCentred) {
    RegistryValue dpi(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
    const DWORD large_fonts = 120;
    ASSERT_TRUE(dpi.set(REG_DWORD, &large_fonts, sizeof large_fonts));
    std::optional<driver::Installation> inst = uitest::prepare(L"large-fonts");
    ASSERT_TRUE(inst.has_value());
    std::optional<driver::Process> kalvit = uitest::start(*inst);
    ASSERT_TRUE(kalvit.has_value());
    HWND frame = uitest::wait_for_frame(*kalvit);
    ASSERT_NE(frame, nullptr);

    const std::vector<std::string> log = driver::read_log_lines(inst->log());
    const int line = line_starting(log, "rect2.top=");
    ASSERT_GE(line, 0);
    int slogan_top = 0, frame_top = 0, d = 0;
    ASSERT_EQ(std::sscanf(log[line].c_str(), "rect2.top=%d rect1.top=%d d=%d", &slogan_top,
                          &frame_top, &d),
              3);
    EXPECT_EQ(d, slogan_top - frame_top);
    EXPECT_GT(d, 395) << "120 dpi did not push the test page's last line down";
    RECT r{};
    ASSERT_TRUE(GetWindowRect(frame, &r));
    EXPECT_EQ(r.bottom - r.top, 470);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 470) / 2);
    EXPECT_EQ(r.right - r.left, 640);
    driver::close_window(frame);
    EXPECT_EQ(kalvit->wait_exit(driver::kStepTimeoutMs), std::optional<DWORD>(0));
}

// Damaged installations and a system without DirectDraw: each message in turn (the program
// waiting for it, the welcome window hidden while it is up), what the log notes, and then an end
// without the frame or a working frame. "$config" and "$picture" stand for the row's paths.
TEST_F(StartUp, DamagedInstallationsAndAMissingDirectDrawGetTheirMessages) {
    const std::string no_ddraw =
        "*****Error: 不能创建 DirectDraw对象! code=887600DE , error= DDERR_NODIRECTDRAWSUPPORT";
    const auto remove = [](const wchar_t* name) {
        return [name](driver::Installation& i) {
            return DeleteFileW(driver::join_path(i.dir, name).c_str()) != 0;
        };
    };
    enum End { kGoesOn, kEnds, kEndsWithCode1 };
    struct Row {
        const wchar_t* folder;
        std::function<bool(driver::Installation&)> damage;
        std::vector<std::string> messages;
        End end;
        std::string log_line;
    };
    const Row rows[] = {
        {L"no-records", remove(L"kalvit.dat"), {"Can't open kalvit.dat for read!"}, kEnds, ""},
        {L"no-information", remove(L"kalvitif.dat"), {"Can't open kalvitif.dat for read!"},
         kGoesOn, ""},
        // Wine's own switch for a library, disabled for kalvit.exe alone: the information
        // collection and the display-mode list each report it.
        {L"no-directdraw", [](driver::Installation&) { return true; },
         {no_ddraw, no_ddraw, "请保证DirectX版本高于7.0"}, kGoesOn, ""},
        // A folder name outside ASCII: the path goes through the registry, the program's GBK
        // texts and the message box.
        {L"缺少配置文件", remove(L"kalvtetc.inf"), {"无法打开文件\"$config\"!"}, kEndsWithCode1, ""},
        {L"no-identification",
         [](driver::Installation& i) {
             std::string config = driver::read_file(i.config()).value_or("");
             const size_t at = config.find("[KALVIT ETC CONFIG FILE]");
             return at != std::string::npos && driver::write_file(i.config(), config.erase(at, 24));
         },
         {}, kEndsWithCode1, "*****Error:\tCan't find etc.inf"},
        {L"no-background", remove(L"pdata\\dlgback.bmp"), {}, kGoesOn,
         "MainFrm: Can't LoadImage: $picture"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(to_gbk(row.folder));
        std::optional<RegistryValue> ddraw;
        if (row.messages.size() > 1) {
            ddraw.emplace(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\kalvit.exe\\DllOverrides",
                          L"ddraw");
            ASSERT_TRUE(ddraw->set(REG_SZ, L"", sizeof(wchar_t)));
        }
        std::optional<driver::Installation> inst = uitest::prepare(row.folder);
        ASSERT_TRUE(inst.has_value());
        ASSERT_TRUE(row.damage(*inst));
        const auto paths = [&](std::string text) {
            for (auto [name, path] : {std::pair{"$config", inst->config()},
                                      std::pair{"$picture", inst->pdata(L"dlgback.bmp")}})
                if (const size_t at = text.find(name); at != std::string::npos)
                    text.replace(at, std::strlen(name), to_gbk(path));
            return text;
        };
        std::optional<driver::Process> kalvit = uitest::start(*inst);
        ASSERT_TRUE(kalvit.has_value());

        for (const std::string& message : row.messages) {
            std::optional<driver::MessageBoxInfo> box =
                driver::wait_for_message_box(kalvit->id(), driver::kStartTimeoutMs);
            ASSERT_TRUE(box.has_value()) << "no box for \"" << message << "\"; "
                                         << to_gbk(driver::describe_state(*kalvit));
            EXPECT_EQ(to_gbk(box->text), paths(message));
            EXPECT_EQ(to_gbk(box->caption), "kalvit");
            EXPECT_EQ(driver::find_dialog(kalvit->id(), kWelcomeTitle), nullptr)
                << "the welcome window stays over the message";
            EXPECT_TRUE(kalvit->running()) << "the program must wait for the user";
            ASSERT_TRUE(driver::press_ok(box->box));
            ASSERT_TRUE(driver::wait_until([&] { return !IsWindow(box->box); },
                                           driver::kStepTimeoutMs));
        }
        if (row.end != kGoesOn) {
            driver::ExitWatch watch = driver::watch_until_exit(*kalvit, driver::kStartTimeoutMs);
            ASSERT_TRUE(watch.exit_code.has_value())
                << "still running:" << to_gbk(driver::describe(watch.windows));
            if (row.end == kEndsWithCode1) {
                EXPECT_EQ(*watch.exit_code, 1u);
            }
            for (const auto& seen : watch.windows) {
                EXPECT_NE(seen.window_class, L"CMainFrame") << "the main frame was shown";
                EXPECT_NE(to_gbk(seen.text), "kalvit") << "a message box was shown";
            }
        } else {
            HWND frame = uitest::wait_for_frame(*kalvit);
            ASSERT_NE(frame, nullptr);
            EXPECT_FALSE(driver::find_message_box(kalvit->id()).has_value())
                << to_gbk(driver::describe_state(*kalvit));
            EXPECT_TRUE(driver::wait_until(
                [&] { return driver::find_dialog(kalvit->id(), kWelcomeTitle) == nullptr; },
                driver::kStepTimeoutMs));
            // Without DirectDraw the options page lists no display modes.
            HWND options = driver::select_page(driver::find_sheet(frame), 2, kOptionsPreTest);
            ASSERT_NE(options, nullptr);
            const LRESULT modes = SendMessageW(GetDlgItem(options, 1072), CB_GETCOUNT, 0, 0);
            EXPECT_EQ(modes > 0, !ddraw.has_value()) << modes;
            driver::close_window(frame);
            EXPECT_EQ(kalvit->wait_exit(driver::kStepTimeoutMs), std::optional<DWORD>(0));
        }
        if (!row.log_line.empty()) {
            EXPECT_TRUE(driver::has_line(driver::read_log_lines(inst->log()), paths(row.log_line)));
        }
    }
}

// The installation call in its three spellings, from folders whose GBK names end in the byte
// 5C (a backslash), once from an executable whose own name has such a character: it records
// the program's folder, marks it as a system folder, opens the help file and shows no window.
TEST_F(StartUp, InstallationCallRecordsTheProgramFolderOpensHelpAndShowsNoWindow) {
    ChmOpenRecorder recorder;
    ASSERT_TRUE(recorder.ok());
    struct Call {
        const wchar_t* args;
        const wchar_t* folder;
        const wchar_t* exe_name;
    };
    for (Call call : {Call{L"help", L"乗", L"kalvit.exe"}, Call{L"\"help\"", L"淺", L"淺kalvit.exe"},
                      Call{L"helpXYZ", L"琝", L"kalvit.exe"}}) {
        SCOPED_TRACE(to_gbk(call.args));
        std::optional<driver::Installation> inst = uitest::prepare(call.folder);
        ASSERT_TRUE(inst.has_value());
        const std::wstring exe = driver::join_path(inst->dir, call.exe_name);
        if (exe != inst->exe()) {
            ASSERT_TRUE(driver::copy_file(inst->exe(), exe));
        }
        ASSERT_TRUE(driver::write_file(driver::join_path(inst->dir, L"kalvit.chm"), "ITSF"));
        ASSERT_TRUE(driver::set_profile_string(L"install_dir", L"c:\\kalvit-ui\\elsewhere"));
        DeleteFileW(ChmOpenRecorder::kRecord);

        std::optional<driver::Process> kalvit =
            driver::Process::start(exe, call.args, inst->dir, inst->log());
        ASSERT_TRUE(kalvit.has_value());
        driver::ExitWatch watch = driver::watch_until_exit(*kalvit, driver::kStartTimeoutMs);
        ASSERT_TRUE(watch.exit_code.has_value())
            << "still running:" << to_gbk(driver::describe(watch.windows));
        EXPECT_EQ(*watch.exit_code, 0u);
        EXPECT_TRUE(watch.windows.empty())
            << "windows shown:" << to_gbk(driver::describe(watch.windows));
        EXPECT_EQ(driver::profile_string(L"install_dir"), std::optional<std::wstring>(inst->dir));
        const DWORD attributes = GetFileAttributesW(inst->dir.c_str());
        EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_SYSTEM) << "not marked as a system folder";

        // The help file of the current directory, opened with the shell's "open".
        std::string opened = recorder.opened();
        for (char& c : opened)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(opened.rfind("c:\\kalvit-ui\\", 0), 0u) << opened;
        EXPECT_TRUE(opened.ends_with("\\kalvit.chm")) << opened;
    }
}

} // namespace
