#pragma once
#include <cstdio>
#include <string>

// Everything written to a temporary stream so far.
inline std::string read_all(FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    for (int c; (c = std::fgetc(f)) != EOF;)
        s.push_back(static_cast<char>(c));
    return s;
}
