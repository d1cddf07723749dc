// The machine-record loader over a "kalvit.dat" and "kalvitif.dat" pair, served from memory.
// The input: two bytes (little-endian) with the length of "kalvit.dat", that file, then
// "kalvitif.dat". A loaded list saved and loaded again gives the same list.
#include <stdio.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "pages/record_store.h"
#include "shell/msgbox.h"
#include "ui/gbk.h"

namespace {
// Files as strings: reading through fmemopen, writing through open_memstream, whose text is
// stored under its name when the save's finish closes the file.
class MemoryFiles : public RecordFiles {
public:
    std::map<std::string, std::string> files;

    FILE* open(const char* name, const char* mode) override {
        if (mode[0] == 'r') {
            auto it = files.find(name);
            if (it == files.end())
                return nullptr;
            static char empty[1];
            std::string& text = it->second;
            return fmemopen(text.empty() ? empty : text.data(), text.size(), "r");
        }
        auto w = std::make_unique<Writing>(Writing{name, nullptr, 0});
        FILE* file = open_memstream(&w->buffer, &w->size);
        if (file != nullptr)
            writing_[file] = std::move(w);
        return file;
    }
    bool flush(FILE* file) override { return std::fflush(file) == 0; }
    bool close(FILE* file) override {
        const bool closed = std::fclose(file) == 0;
        auto it = writing_.find(file);
        if (it != writing_.end()) {
            files[it->second->name].assign(it->second->buffer, it->second->size);
            std::free(it->second->buffer);
            writing_.erase(it);
        }
        return closed;
    }
    bool replace(const char* from, const char* to) override {
        auto it = files.find(from);
        if (it == files.end())
            return false;
        std::string text = std::move(it->second);
        files.erase(it);
        files[to] = std::move(text);
        return true;
    }
    bool remove(const char* name) override {
        files.erase(name);
        return true;
    }
    bool exists(const char* name) override { return files.count(name) != 0; }

private:
    struct Writing {
        std::string name;
        char* buffer;
        size_t size;
    };
    std::map<FILE*, std::unique_ptr<Writing>> writing_;
};

int collect(char* text) {
    std::strcpy(text, "collected\n");
    return 1;
}

// A speed as the save writes it.
std::string speed_text(float speed) {
    char text[64];
    std::snprintf(text, sizeof text, "%5.2f", static_cast<double>(speed));
    return text;
}

void check_loaded(const MachineList& list) {
    FUZZ_REQUIRE(list.stored_count >= 1 && list.stored_count <= kMaxStoredMachines);
    // The current system's name is the program's GBK text.
    FUZZ_REQUIRE(
        std::strcmp(list.entries[list.stored_count].name, "\xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3") == 0);
    for (int i = 0; i < list.stored_count; ++i) {
        const MachineRecord& r = list.entries[i];
        const size_t n = strnlen(r.name, sizeof r.name);
        FUZZ_REQUIRE(n < kStoredNameSize);
        FUZZ_REQUIRE(gbk_fit_length(std::string_view(r.name, n), kStoredNameSize - 1) == n);
        FUZZ_REQUIRE(strnlen(r.info_text, sizeof r.info_text) < sizeof r.info_text);
    }
}

// Whether the numbers line the save writes for a record fits in what the loader reads of it
// (99 bytes). A speed of ten or more digits makes it longer, and what stands past byte 99 is not
// read back: the file format's limit, not a fault of the save.
bool numbers_line_fits(const MachineRecord& r) {
    size_t n = 0;
    for (float speed : r.speeds)
        n += 1 + speed_text(speed).size();
    char rest[64];
    n += static_cast<size_t>(std::snprintf(rest, sizeof rest, " %08X %hd %hd %hd",
                                           static_cast<unsigned>(r.option_flags), r.ddraw_width,
                                           r.ddraw_height, r.ddraw_bits));
    return n <= 99;
}

void check_same(const MachineList& a, const MachineList& b) {
    FUZZ_REQUIRE(a.stored_count == b.stored_count);
    for (int i = 0; i < a.stored_count; ++i) {
        const MachineRecord& x = a.entries[i];
        const MachineRecord& y = b.entries[i];
        FUZZ_REQUIRE(std::strcmp(x.name, y.name) == 0);
        FUZZ_REQUIRE(std::strcmp(x.info_text, y.info_text) == 0);
        if (!numbers_line_fits(x))
            continue;
        for (int k = 0; k < kTestCount; ++k)
            FUZZ_REQUIRE(speed_text(x.speeds[k]) == speed_text(y.speeds[k]));
        FUZZ_REQUIRE(x.option_flags == y.option_flags);
        FUZZ_REQUIRE(x.ddraw_width == y.ddraw_width && x.ddraw_height == y.ddraw_height &&
                     x.ddraw_bits == y.ddraw_bits);
    }
}

MachineList loaded, reloaded;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    set_message_presenter(fuzz_ignore_message);
    set_question_presenter(fuzz_answer_no);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data) + 2;
    size -= 2;
    const size_t records = std::min<size_t>(data[0] | data[1] << 8, size);
    MemoryFiles files;
    files.files[kRecordFile].assign(bytes, records);
    files.files[kInfoFile].assign(bytes + records, size - records);
    FUZZ_REQUIRE(load_machine_list(loaded, files, collect));
    check_loaded(loaded);

    MemoryFiles saved;
    FUZZ_REQUIRE(save_machine_list(loaded, saved));
    FUZZ_REQUIRE(saved.files.size() == 2 && saved.exists(kRecordFile) && saved.exists(kInfoFile));
    FUZZ_REQUIRE(load_machine_list(reloaded, saved, collect));
    check_same(loaded, reloaded);
    return 0;
}
