#include "pages/record_store.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "shell/msgbox.h"
#include "ui/gbk.h"

namespace {
constexpr int kNameLineSize = 256;    // a name line counts up to 255 bytes
constexpr int kNumbersLineSize = 100; // a numbers line up to 99
constexpr size_t kMaxNameBytes = kStoredNameSize - 1;
constexpr size_t kMaxInfoBytes = kInfoTextSize - 1;

constexpr char kRecordWriteError[] = "不能写入文件\"KALVIT.DAT\"";
constexpr char kInfoWriteError[] = "不能写入文件\"KALVITIF.DAT\"";

// Reads one whole line and keeps its first size - 1 bytes without the line end ("\n" and a "\r"
// before it), so that an over-long line never spills into the next one. False at the end of the
// file with nothing read.
bool read_line(FILE* file, char* line, size_t size) {
    size_t n = 0, length = 0;
    int c = std::fgetc(file);
    if (c == EOF)
        return false;
    for (; c != EOF && c != '\n'; c = std::fgetc(file), ++length) {
        if (n + 1 < size)
            line[n++] = static_cast<char>(c);
    }
    // A "\r" beyond the kept bytes was never stored.
    if (c == '\n' && n == length && n > 0 && line[n - 1] == '\r')
        --n;
    line[n] = '\0';
    return true;
}

// The name of a stored machine: at most 99 bytes, never ending in half a GBK character.
void set_name(MachineRecord& record, const char* name) {
    size_t n = gbk_fit_length(name, kMaxNameBytes);
    std::memset(record.name, 0, sizeof record.name);
    std::memcpy(record.name, name, n);
}

void read_record(const char* name_line, FILE* file, MachineRecord& record) {
    const char* name = name_line + 1;
    while (*name == ' ')
        ++name;
    set_name(record, name);
    // Carriage returns at the end of the name are no part of it (the last line of a file whose
    // line feed is missing, or a cut just after one): written back they would be the line end,
    // and a lead byte before them would be half a character then.
    size_t n = std::strlen(record.name);
    for (;;) {
        while (n > 0 && record.name[n - 1] == '\r')
            --n;
        const size_t whole = gbk_fit_length(std::string_view(record.name, n), n);
        if (whole == n)
            break;
        n = whole;
    }
    std::memset(record.name + n, 0, sizeof record.name - n);

    char numbers[kNumbersLineSize];
    if (!read_line(file, numbers, sizeof numbers))
        return;
    std::sscanf(numbers, "%f %f %f %f %f %X %hd %hd %hd", &record.speeds[0], &record.speeds[1],
                &record.speeds[2], &record.speeds[3], &record.speeds[4], &record.option_flags,
                &record.ddraw_width, &record.ddraw_height, &record.ddraw_bits);
}

void read_records(FILE* file, MachineList& list) {
    char line[kNameLineSize];
    int count = 0;
    while (count < kMaxStoredMachines && read_line(file, line, sizeof line)) {
        if (line[0] != '<')
            continue;
        read_record(line, file, list.entries[count]);
        ++count;
    }
    list.stored_count = count;
}

// Each text ends at its stored 0 byte, at 1023 bytes (a full text is written without its 0) or
// at the end of the file.
void read_info_texts(FILE* file, MachineList& list) {
    for (int i = 0; i < list.stored_count; ++i) {
        MachineRecord& record = list.entries[i];
        std::memset(record.info_text, 0, sizeof record.info_text);
        size_t n = 0;
        int c = 0;
        while (n < kMaxInfoBytes && (c = std::fgetc(file)) != EOF) {
            record.info_text[n++] = static_cast<char>(c);
            if (c == '\0')
                break;
        }
        if (c == EOF)
            return;
    }
}

// A save cut off before "kalvit.dat" was replaced leaves the record temp behind, and the old
// texts are put back; once it was replaced the new pair stands and the old texts can go. The
// file that holds the texts of "kalvit.dat" is returned: the old texts where they could not be
// put back, and then the record temp stays, so that a later load tries again.
// Where a replacement is a removal and a rename (Windows 95, 98 and Me have no MoveFileEx), a
// save can also be cut off between the two: "kalvit.dat" is gone while the old texts are aside
// and the record temp, written whole before anything was replaced, stands ready. That save is
// finished rather than undone.
const char* recover_interrupted_save(RecordFiles& files) {
    if (files.exists(kInfoBackup)) {
        if (!files.exists(kRecordFile) && files.exists(kRecordTemp) &&
            files.replace(kRecordTemp, kRecordFile))
            files.remove(kInfoBackup);
        else if (!files.exists(kRecordTemp))
            files.remove(kInfoBackup);
        else if (!files.replace(kInfoBackup, kInfoFile))
            return kInfoBackup;
    }
    files.remove(kRecordTemp);
    files.remove(kInfoTemp);
    return kInfoFile;
}

bool write_record(FILE* file, const MachineRecord& record) {
    if (std::fprintf(file, "<%s\n", record.name) < 0)
        return false;
    for (float speed : record.speeds) {
        if (std::fprintf(file, " %5.2f", static_cast<double>(speed)) < 0)
            return false;
    }
    return std::fprintf(file, " %08X %hd %hd %hd\n", static_cast<unsigned>(record.option_flags),
                        record.ddraw_width, record.ddraw_height, record.ddraw_bits) >= 0;
}

bool write_info_text(FILE* file, const MachineRecord& record) {
    size_t n = strnlen(record.info_text, kMaxInfoBytes);
    if (std::fwrite(record.info_text, 1, n, file) != n)
        return false;
    return n == kMaxInfoBytes || std::fputc('\0', file) != EOF;
}

// Writes both temps whole and closes them; the message of the first file that failed, or null.
const char* write_temps(const MachineList& list, RecordFiles& files, FILE* record_file,
                        FILE* info_file) {
    const char* failed = nullptr;
    for (int i = 0; i < list.stored_count && failed == nullptr; ++i) {
        if (!write_record(record_file, list.entries[i]))
            failed = kRecordWriteError;
        else if (!write_info_text(info_file, list.entries[i]))
            failed = kInfoWriteError;
    }
    bool record_done = files.finish(record_file);
    bool info_done = files.finish(info_file);
    if (failed == nullptr && !record_done)
        failed = kRecordWriteError;
    if (failed == nullptr && !info_done)
        failed = kInfoWriteError;
    return failed;
}

// While the old texts are still aside, the record temp is what tells the next load to put them
// back: it stays.
bool give_up(RecordFiles& files, const char* message, bool texts_aside = false) {
    if (!texts_aside)
        files.remove(kRecordTemp);
    files.remove(kInfoTemp);
    QMsgBox("%s", message);
    return false;
}
} // namespace

FILE* RecordFiles::open(const char* name, const char* mode) {
    return open_gbk(name, mode);
}

// A write that failed is counted even when the call that made it said otherwise: the stream's
// error indicator has the last word.
bool RecordFiles::finish(FILE* file) {
    const bool written = flush(file) && std::ferror(file) == 0;
    return close(file) && written;
}

bool RecordFiles::flush(FILE* file) {
    return sync_file(file);
}

bool RecordFiles::close(FILE* file) {
    return std::fclose(file) == 0;
}

bool RecordFiles::replace(const char* from, const char* to) {
    return replace_gbk(from, to);
}

bool RecordFiles::remove(const char* name) {
    return remove_gbk(name);
}

bool RecordFiles::exists(const char* name) {
    FILE* file = open_gbk(name, "rb");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

RecordFiles& real_record_files() {
    static RecordFiles files;
    return files;
}

bool load_machine_list(MachineList& list, RecordFiles& files, InfoCollector collect) {
    const char* texts_file = recover_interrupted_save(files);
    std::memset(&list, 0, sizeof list);

    FILE* records = files.open(kRecordFile, "rt");
    if (records == nullptr) {
        QMsgBox("Can't open kalvit.dat for read!");
        return false;
    }
    read_records(records, list);
    if (list.stored_count == 0)
        install_base_system(list);
    std::fclose(records);

    FILE* texts = files.open(texts_file, "rt");
    if (texts == nullptr) {
        QMsgBox("Can't open kalvitif.dat for read!");
    } else {
        read_info_texts(texts, list);
        std::fclose(texts);
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    MachineRecord& current = list.entries[list.stored_count];
    std::memset(&current, 0, sizeof current);
    if (collect != nullptr)
        collect(current.info_text);
    set_name(current, kCurrentSystemName);
    list.current_stored = 0;
    return true;
}

StoreResult store_current_machine(MachineList& list, const char* typed_name, int& index) {
    char name[kStoredNameSize] = {};
    std::memcpy(name, typed_name, gbk_fit_length(typed_name, kMaxNameBytes));
    const char* trimmed = name;
    while (*trimmed == ' ')
        ++trimmed;

    if (*trimmed == '\0' || std::strcmp(trimmed, kCurrentSystemName) == 0) {
        QMsgBox("机器名不能叫做'当前系统'\n请重新输入有效的机器名！");
        return StoreResult::kRefused;
    }
    if (std::strcmp(trimmed, list.entries[0].name) == 0) {
        QMsgBox("不能修改'基本系统'\n请重新输入有效的机器名！");
        return StoreResult::kRefused;
    }

    MachineRecord& current = list.entries[list.stored_count];
    set_name(current, trimmed);
    for (int i = 0; i < list.stored_count; ++i) {
        if (std::strcmp(list.entries[i].name, current.name) != 0)
            continue;
        char question[256];
        std::snprintf(question, sizeof question, "机器名\"%s\"已经存在，是否更新记录？",
                      current.name);
        if (!QMsgAsk(question))
            return StoreResult::kDeclined;
        list.entries[i] = current;
        index = i;
        return StoreResult::kStored;
    }

    // The current system needs the slot after the stored machines.
    if (list.stored_count >= kMaxStoredMachines) {
        QMsgBox("已经存储了99台机器，不能再存储新的机器。\n请先删除不用的记录！");
        set_name(current, kCurrentSystemName);
        return StoreResult::kRefused;
    }
    list.entries[list.stored_count + 1] = current;
    index = list.stored_count;
    ++list.stored_count;
    return StoreResult::kStored;
}

bool save_stored_machine(MachineList& list, RecordFiles& files) {
    if (!save_machine_list(list, files))
        return false;
    list.current_stored = 1;
    return true;
}

DeleteResult delete_machine(MachineList& list, int& index) {
    if (index == 0) {
        QMsgBox("不能删除 \" 基本系统 \" !");
        return DeleteResult::kRefused;
    }
    if (index < 0 || index >= list.stored_count) {
        if (!list.current_stored) {
            QMsgBox("当前系统的数据尚未存储，所以不用删除。");
            return DeleteResult::kRefused;
        }
        index = list.stored_count - 1;
    }
    if (list.stored_count < 2) {
        QMsgBox("不能再删除记录了.");
        return DeleteResult::kTooFew;
    }

    char question[256];
    std::snprintf(question, sizeof question, "确认要删除记录：\n\" %s \" ?",
                  list.entries[index].name);
    if (!QMsgAsk(question))
        return DeleteResult::kDeclined;

    for (int i = index; i < list.stored_count; ++i)
        list.entries[i] = list.entries[i + 1];
    std::memset(&list.entries[list.stored_count], 0, sizeof list.entries[list.stored_count]);
    --list.stored_count;
    return DeleteResult::kDeleted;
}

bool save_machine_list(const MachineList& list, RecordFiles& files) {
    // An earlier save of this session that could not put the old texts back is undone first, so
    // that this one starts from a whole pair.
    if (recover_interrupted_save(files) != kInfoFile)
        return give_up(files, kInfoWriteError, true);
    // Without texts so far, an empty file stands for them: it is what a cut-off save puts back,
    // and a pair with no texts loads as before.
    if (!files.exists(kInfoFile)) {
        FILE* empty = files.open(kInfoFile, "wt");
        if (empty == nullptr || !files.finish(empty))
            return give_up(files, kInfoWriteError);
    }
    FILE* record_file = files.open(kRecordTemp, "wt");
    if (record_file == nullptr)
        return give_up(files, kRecordWriteError);
    FILE* info_file = files.open(kInfoTemp, "wt");
    if (info_file == nullptr) {
        files.finish(record_file);
        return give_up(files, kInfoWriteError);
    }
    if (const char* failed = write_temps(list, files, record_file, info_file))
        return give_up(files, failed);

    // The old texts step aside rather than being overwritten, so that a failure or a crash
    // before the new "kalvit.dat" stands can put them back.
    if (!files.replace(kInfoFile, kInfoBackup))
        return give_up(files, kInfoWriteError);
    if (!files.replace(kInfoTemp, kInfoFile))
        return give_up(files, kInfoWriteError, !files.replace(kInfoBackup, kInfoFile));
    if (!files.replace(kRecordTemp, kRecordFile))
        return give_up(files, kRecordWriteError, !files.replace(kInfoBackup, kInfoFile));
    files.remove(kInfoBackup);
    return true;
}
