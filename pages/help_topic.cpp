#include "pages/help_topic.h"

#include <cstdio>

#include "shell/app_globals.h"
#include "shell/log.h"
#include "shell/msgbox.h"
#include "ui/late_bound.h"
#include "ui/text_api.h"

void show_help_topic(HWND caller, const char* topic) {
    char file[kPathSize + 16];
    std::snprintf(file, sizeof file, "%s\\kalvit.chm", install_dir);
    if (!ui::file_exists(file)) {
        QMsgLog("-----Warning:\tno help file %s", file);
        QMsgBox("找不到帮助文件 %s", file);
        return;
    }
    char address[kPathSize + 64];
    if (topic != nullptr)
        std::snprintf(address, sizeof address, "%s::/%s", file, topic);
    else
        std::snprintf(address, sizeof address, "%s", file);
    if (!ui::html_help(caller, address)) {
        QMsgLog("-----Warning:\tno HTML Help on this system for %s", address);
        QMsgBox("这台机器没有安装HTML帮助（需要Internet Explorer 4.0或更高版本），无法显示帮助文件 %s",
                file);
    }
}
