#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
// Names of DirectDraw result codes: six are known by heart, the rest are looked up in the error
// file delivered beside the program ("dderr.txt"), one error per line in four fields
// ("%s %s %s %d": the code in hex, the name, "=", the DirectDraw error number).

// " DD_OK", " DDERR_GENERIC" and the other four named directly (with their leading blank); null
// for any other code.
const char* builtin_dx_error_name(uint32_t code);

enum class DxLookup { found, not_found };
// Reads the open error file line by line (255 bytes at most a line) for the first line whose
// error number n gives the code as 0x88760000 | n; the name is its second field.
DxLookup find_dx_error(std::FILE* file, uint32_t code, std::string& name);
