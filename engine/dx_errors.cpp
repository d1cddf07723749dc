#include "engine/dx_errors.h"

namespace {
struct NamedCode {
    uint32_t code;
    const char* name;
};
// The codes DirectDraw shares with COM, which the error file does not list.
constexpr NamedCode kBuiltin[] = {
    {0x00000000u, " DD_OK"},
    {0x80004005u, " DDERR_GENERIC"},
    {0x80070057u, " DDERR_INVALIDPARAMS"},
    {0x8007000Eu, " DDERR_OUTOFMEMORY"},
    {0x80004001u, " DDERR_UNSUPPORTED"},
    {0x800401F0u, " DDERR_NOTINITIALIZED"},
};
// DirectDraw's facility and the failure bit; the error number fills the low 16 bits.
constexpr uint32_t kDirectDrawFamily = 0x88760000u;
constexpr int kLineBuffer = 256;
} // namespace

const char* builtin_dx_error_name(uint32_t code) {
    for (const NamedCode& named : kBuiltin) {
        if (named.code == code)
            return named.name;
    }
    return nullptr;
}

DxLookup find_dx_error(std::FILE* file, uint32_t code, std::string& name) {
    if (file == nullptr)
        return DxLookup::not_found;
    char line[kLineBuffer];
    for (;;) {
        // fgets writes the buffer's last byte only when the line fills the buffer; a search for
        // the line feed would stop at a 0 byte in the line and take the line for a cut one.
        line[kLineBuffer - 1] = '\x7F';
        if (std::fgets(line, sizeof line, file) == nullptr)
            break;
        if (line[kLineBuffer - 1] == '\0' && line[kLineBuffer - 2] != '\n') {
            // The buffer filled before the line ended. A line of exactly 255 bytes ends at the
            // next character or two (CRLF); a longer one is not a line of the file and is
            // skipped whole, so that its tail is not read as a line of its own.
            int next = std::fgetc(file);
            if (next == '\r')
                next = std::fgetc(file);
            if (next != '\n' && next != EOF) {
                while (next != '\n' && next != EOF)
                    next = std::fgetc(file);
                continue;
            }
        }
        // Every field fits the line buffer's size, as the widths make sure.
        char hex[kLineBuffer], field[kLineBuffer], equals[kLineBuffer];
        int number = 0;
        if (std::sscanf(line, "%255s %255s %255s %d", hex, field, equals, &number) == 4 &&
            (kDirectDrawFamily | static_cast<uint32_t>(number)) == code) {
            name = field;
            return DxLookup::found;
        }
    }
    return DxLookup::not_found;
}
