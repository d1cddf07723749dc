#include "infopage/about_page.h"

#include "engine/directx_state.h"
#include "engine/run_flags.h"

long about_paused_time = 0;
long about_minimize_time = 0;

bool QAboutDlg::on_set_active() { return !test_running && !dd_open; }
