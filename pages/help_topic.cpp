#include "pages/help_topic.h"

#include <htmlhelp.h>

#include <cstdio>

#include "shell/app_globals.h"
#include "shell/log.h"
#include "shell/msgbox.h"
#include "ui/gbk.h"

void show_help_topic(HWND caller, const char* topic) {
    char file[kPathSize + 16];
    std::snprintf(file, sizeof file, "%s\\kalvit.chm", install_dir);
    if (GetFileAttributesW(to_wide(file).c_str()) == INVALID_FILE_ATTRIBUTES) {
        QMsgLog("-----Warning:\tno help file %s", file);
        QMsgBox("找不到帮助文件 %s", file);
        return;
    }
    char address[kPathSize + 64];
    if (topic != nullptr)
        std::snprintf(address, sizeof address, "%s::/%s", file, topic);
    else
        std::snprintf(address, sizeof address, "%s", file);
    HtmlHelpW(caller, to_wide(address).c_str(), HH_DISPLAY_TOPIC, 0);
}
