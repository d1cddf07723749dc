#pragma once
// Directories the whole program reads; filled once at start-up.

constexpr int kPathSize = 256;
// Where the data lives: the "pdata" pictures, the help file, the configuration and report files.
extern char install_dir[kPathSize];
// The executable's own directory, without a trailing backslash.
extern char program_dir[kPathSize];
