#include "shell/config_file.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "shell/app_globals.h"
#include "shell/log.h"
#include "shell/msgbox.h"
#include "shell/text_buffer.h"
#include "ui/gbk.h"

char visit_url[kConfigTextSize];
char upload_url[kConfigTextSize];
char login_url[kConfigTextSize];
char contact_mail[kConfigTextSize];
char version_info[kConfigTextSize];
char writer_info[kConfigTextSize];
char about_info[kAboutLines][kConfigTextSize];

namespace {
#ifdef _WIN32
constexpr const char* kConfigPathFormat = "%s\\kalvtetc.inf";
#else
constexpr const char* kConfigPathFormat = "%s/kalvtetc.inf";
#endif
constexpr int kLineChars = kConfigTextSize - 1;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FileOwner = std::unique_ptr<FILE, FileCloser>;

struct Line {
    char text[kConfigTextSize]; // without the line end and any carriage return before it
    bool blank() const { return text[0] == '\0'; }
};

// Hands the file over as the Windows text mode would, whatever the platform: CR LF becomes LF
// and a Ctrl-Z byte ends the file. Lines come in pieces of at most 127 bytes, so a longer
// physical line is read as several lines, and one of exactly 127 bytes leaves its line end
// behind as an empty line of its own. A piece never ends inside a double-byte GBK character:
// one that does not fit begins the next piece.
class LineReader {
public:
    explicit LineReader(FILE* file) : file_(file) {}

    // The next line; false at the end of the file.
    bool next(Line& line) {
        int n = 0;
        bool ended = false;
        while (n < kLineChars) {
            int c = get();
            if (c == EOF)
                break;
            if (c == '\n') {
                ended = true;
                break;
            }
            if (is_lead_byte(c)) {
                if (n + 2 > kLineChars) {
                    pending_ = c;
                    break;
                }
                int trail = get();
                line.text[n++] = static_cast<char>(c);
                if (is_trail_byte(trail))
                    line.text[n++] = static_cast<char>(trail);
                else
                    pending_ = trail;
                continue;
            }
            line.text[n++] = static_cast<char>(c);
        }
        if (n == 0 && !ended)
            return false;
        while (n > 0 && line.text[n - 1] == '\r')
            --n;
        line.text[n] = '\0';
        return true;
    }

private:
    static bool is_lead_byte(int c) { return c >= 0x81 && c <= 0xFE; }
    static bool is_trail_byte(int c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

    int get() {
        if (pending_ != EOF)
            return std::exchange(pending_, EOF);
        if (ended_)
            return EOF;
        int c = std::getc(file_);
        if (c == '\r') {
            int d = std::getc(file_);
            if (d == '\n')
                return '\n';
            if (d != EOF)
                std::ungetc(d, file_);
        }
        if (c == kEndOfText) {
            ended_ = true;
            return EOF;
        }
        return c;
    }

    static constexpr int kEndOfText = 0x1A; // Ctrl-Z
    FILE* file_;
    int pending_ = EOF;
    bool ended_ = false;
};

// The value lines after a field's name line. Rows beyond the last value found stay empty.
void read_values(LineReader& reader, const char* field, char* dest, int lines) {
    if (lines > 0)
        std::memset(dest, 0, static_cast<size_t>(lines) * kConfigTextSize);
    int i = 0;
    Line line;
    while (i < lines && reader.next(line)) {
        bool ends_field = line.text[0] == '[' || (lines == 1 && line.blank());
        if (ends_field) {
            if (i == 0) {
                QMsgLog("-----Warning: field %s is NULL.", field);
                return;
            }
            break;
        }
        if (line.text[0] == ';')
            continue;
        std::memcpy(dest + static_cast<size_t>(i) * kConfigTextSize, line.text,
                    std::strlen(line.text) + 1);
        ++i;
    }
    if (i != lines)
        QMsgLog("-----Warning: find lines=%d is not equal to required lines=%d for field %s", i,
                lines, field);
}
} // namespace

int read_config_field(const char* field, char* dest, int lines) {
    char path[kPathSize + 16];
    std::snprintf(path, sizeof path, kConfigPathFormat, install_dir);
    // Binary mode: the reader does the text-mode line-end translation itself.
    FileOwner file(open_gbk(path, "rb"));
    if (!file) {
        QMsgBox("无法打开文件\"%s\"!", path);
        return 0;
    }
    LineReader reader(file.get());
    const size_t field_length = std::strlen(field);
    Line line;
    while (reader.next(line)) {
        if (line.blank() || line.text[0] == ';')
            continue;
        if (std::strncmp(line.text, field, field_length) != 0)
            continue;
        read_values(reader, field, dest, lines);
        return 1;
    }
    return 0;
}

bool load_configuration() {
    struct Field {
        const char* name;
        char* dest;
        int lines;
    };
    const Field fields[] = {
        {"[VISITUSURL]", visit_url, 1},
        {"[UPLOADURL]", upload_url, 1},
        {"[LOGINURL]", login_url, 1},
        {"[CONTACTMAIL]", contact_mail, 1},
        {"[VERSIONINFO]", version_info, 1},
        {"[WRITERINFO]", writer_info, 1},
        {"[ABOUTINFO]", reinterpret_cast<char*>(about_info), kAboutLines},
    };
    for (const Field& f : fields)
        std::memset(f.dest, 0, static_cast<size_t>(f.lines) * kConfigTextSize);

    if (read_config_field("[KALVIT ETC CONFIG FILE]", text_buffer, 1) == 0) {
        QMsgLog("*****Error:\tCan't find etc.inf");
        return false;
    }
    for (const Field& f : fields) {
        if (read_config_field(f.name, f.dest, f.lines) == 0)
            QMsgLog("-----Warning: Can't find field %s", f.name);
    }
    return true;
}
