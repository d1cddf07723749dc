#include "pages/contrast_page.h"

#include "engine/run_flags.h"

int contrast_selectors_filled = 0;

bool qcontrast_page::on_set_active() { return !test_running; }
