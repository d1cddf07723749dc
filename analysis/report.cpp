#include "analysis/report.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string_view>
#include <vector>

#include "analysis/analysis_rows.h"
#include "analysis/report_text.h"
#include "shell/app_globals.h"
#include "shell/msgbox.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

namespace {
// A cell as the list gives it back into a 255-byte buffer.
constexpr size_t kCellBytes = 254;

std::string cell_text(HWND list, int row, int column) {
    std::string gbk = ui::list_item_text(list, row, column);
    gbk.resize(gbk_fit_length(gbk, kCellBytes));
    return gbk;
}
} // namespace

void write_report(HWND list) {
    char path[kPathSize + 32];
    std::snprintf(path, sizeof path, "%s\\klvreport.txt", install_dir);
    std::FILE* file = open_gbk(path, "wt");
    if (file == nullptr) {
        QMsgBox("Can't open file '%s' for write!", path);
        return;
    }
    const int count = static_cast<int>(ui::send(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::string> texts;
    texts.reserve(static_cast<size_t>(count) * 2);
    for (int row = 0; row < count; ++row) {
        texts.push_back(cell_text(list, row, 0));
        texts.push_back(cell_text(list, row, 1));
    }
    std::vector<ReportCell> cells;
    for (size_t i = 0; i + 1 < texts.size(); i += 2)
        cells.push_back({texts[i].c_str(), texts[i + 1].c_str()});
    if (!write_report_text(file, report_text(cells.data(), static_cast<int>(cells.size())))) {
        QMsgBox("Can't write file '%s'!", path);
        return;
    }
    // Without a program for text files the shell fails quietly; the report is written.
    ui::shell_open(nullptr, path);
}
