#pragma once
#include <windows.h>

#include <string>

#include "ui/app.h"
// The application: start-up in its fixed order, then the message loop with the idle handler.

class BenchApp : public ui::App {
public:
    // Runs start-up. Returns -1 when the message loop should run, otherwise the exit code of a
    // program that ends here (a second copy, the installation call, a missing configuration).
    int init_instance(const std::string& command_line);

protected:
    bool on_idle(long count) override;
};

// The platform's version record, read at start-up.
extern OSVERSIONINFOA os_version;
