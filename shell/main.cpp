#include <windows.h>

#include "shell/bench_app.h"
#include "shell/log.h"
#include "shell/msg_names.h"
#include "shell/msg_pump.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
    log_open_from_environment();
    // With the log on, its lines name window messages.
    if (log_enabled())
        msg_names_enable();
    install_message_services();
    ui::App::set_instance(instance);
    static BenchApp app;
    int code = app.init_instance(command_line != nullptr ? command_line : L"");
    if (code < 0)
        code = app.run();
    log_close();
    return code;
}
