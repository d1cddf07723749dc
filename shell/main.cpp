#include <windows.h>

#include "shell/bench_app.h"
#include "shell/log.h"
#include "shell/msg_names.h"
#include "shell/msg_pump.h"
#include "ui/text_api.h"

// The narrow entry point: the C runtime's wide start-up needs functions Windows 95 lacks. The
// command line is read again on the chosen text side.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ui::choose_text_api();
    log_open_from_environment();
    // With the log on, its lines name window messages.
    if (log_enabled())
        msg_names_enable();
    install_message_services();
    ui::App::set_instance(instance);
    static BenchApp app;
    int code = app.init_instance(ui::arguments());
    if (code < 0)
        code = app.run();
    log_close();
    return code;
}
