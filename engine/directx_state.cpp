#include "engine/directx_state.h"

int dd_open = 0;
int exclusive = 0;
int list_modes = 0;
int refresh_rate = 0;
