#include "shell/msg_names.h"

#include <cstring>

#include "shell/text_buffer.h"

namespace {
struct MsgNameEntry {
    char name[32];
    uint32_t number;
};

constexpr MsgNameEntry kPlatformMessages[] = {
#include "shell/msg_names_table.inc"
};

bool table_on = false;
const MsgNameEntry* entries = nullptr;
int entry_count = 0;
} // namespace

const char* QMsgName(uint32_t message) {
    if (!table_on)
        return nullptr;
    for (int i = 0; i < entry_count; ++i) {
        if (entries[i].number == message)
            return entries[i].name;
    }
    std::strcpy(text_buffer, "---UNKNOW_MSG---");
    return text_buffer;
}

void msg_names_enable() {
    entries = kPlatformMessages;
    entry_count = static_cast<int>(sizeof kPlatformMessages / sizeof kPlatformMessages[0]);
    table_on = true;
}

void msg_names_disable() {
    table_on = false;
    entries = nullptr;
    entry_count = 0;
}
