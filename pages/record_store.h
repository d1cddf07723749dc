#pragma once
#include <cstdio>

#include "engine/model.h"
// The machine records on disk: "kalvit.dat" (a name line and a numbers line per machine) and
// "kalvitif.dat" (the information texts back to back, each ended by its 0 byte), text files in
// the current directory, always written together and in list order, entry 0 first.
//
// A save writes both files whole under temporary names and only then puts them in place, the
// old "kalvitif.dat" kept aside until the new "kalvit.dat" stands: a failure at any step leaves
// the old pair, and the next load finishes or undoes a save that was cut off.

constexpr char kRecordFile[] = "kalvit.dat";
constexpr char kInfoFile[] = "kalvitif.dat";
constexpr char kRecordTemp[] = "kalvit.dat.tmp";
constexpr char kInfoTemp[] = "kalvitif.dat.tmp";
constexpr char kInfoBackup[] = "kalvitif.dat.bak";

// The current system takes the slot after the stored machines, so 99 can be stored.
constexpr int kMaxStoredMachines = kMachineSlots - 1;
constexpr int kStoredNameSize = 100; // 99 bytes and the NUL

// The file operations a load and a save are made of, GBK names. Tests replace them to fail any
// one step; the program uses the real ones.
class RecordFiles {
public:
    virtual ~RecordFiles() = default;
    virtual FILE* open(const char* name, const char* mode);
    // Flushes a file written by the save to the disk and closes it; false when any of that, or
    // any write to it, failed. The file is closed either way.
    virtual bool finish(FILE* file);
    // The two steps of finish: the stream's buffers through to the disk, and the close.
    virtual bool flush(FILE* file);
    virtual bool close(FILE* file);
    // Renames `from` to `to`, replacing a `to` that exists.
    virtual bool replace(const char* from, const char* to);
    // True when the file is gone afterwards.
    virtual bool remove(const char* name);
    virtual bool exists(const char* name);
};
RecordFiles& real_record_files();

// Called by the loader on the current system's information text (its result is not used).
using InfoCollector = int (*)(char* info_text);

// Loads the list from both files (a missing "kalvit.dat" is reported and gives false: the list
// is then empty), seeds the pseudo-random generator with the time, clears the current system
// entry, collects its text with `collect` and names it "当前系统".
bool load_machine_list(MachineList& list, RecordFiles& files, InfoCollector collect);

enum class StoreResult {
    kStored,   // the list changed: `index` is where the machine stands; save it next
    kRefused,  // the name cannot be used (told); the focus goes back to the name
    kDeclined, // the user would not overwrite the machine of that name
};
// The current system under the name typed in machine 1 (its first 99 bytes). Changes only the
// list in memory: the caller refills its selectors, then calls save_stored_machine.
StoreResult store_current_machine(MachineList& list, const char* typed_name, int& index);
// Writes the list after a store and marks the current system as stored when both files were
// written.
bool save_stored_machine(MachineList& list, RecordFiles& files);

enum class DeleteResult {
    kDeleted,  // the entry is gone: `index` is the one that was removed; save the list next
    kRefused,  // the base system, or the current system before it is stored (told)
    kTooFew,   // only the base system is stored (told); the page is redrawn
    kDeclined, // the user answered No
};
// Deletes the entry selected in machine 1 (-1 when none). Changes only the list in memory.
DeleteResult delete_machine(MachineList& list, int& index);

// Writes entries 0 .. stored_count - 1 to both files. False after the message of the file that
// could not be written; the old pair then stands, no file is left open, and none is left behind
// unless the old texts could not be put back: those and the record temp stay for the next load,
// which puts them back.
bool save_machine_list(const MachineList& list, RecordFiles& files);
