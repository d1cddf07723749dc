#include "shell/app_globals.h"

char install_dir[kPathSize] = "c:\\kalvit";
char program_dir[kPathSize];
