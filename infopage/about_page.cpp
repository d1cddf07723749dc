#include "infopage/about_page.h"

#include "engine/directx.h"
#include "engine/run_flags.h"

long about_paused_time = 0;
long about_minimize_time = 0;

bool QAboutDlg::on_set_active() { return !test_running && !directx.dd_open; }
