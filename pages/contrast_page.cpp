#include "pages/contrast_page.h"

#include "engine/run_flags.h"

bool qcontrast_page::on_set_active() { return !test_running; }
