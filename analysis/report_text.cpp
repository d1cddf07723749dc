#include "analysis/report_text.h"

std::string report_text(const ReportCell* cells, int count) {
    std::string out = "\n《Tavoli测试》测试报告：\n\n";
    for (int i = 0; i < count; ++i) {
        out += cells[i].label;
        out += ":  ";
        out += cells[i].text;
        out += '\n';
    }
    return out;
}

bool write_report_text(std::FILE* file, const std::string& text) {
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fflush(file) == 0 && written;
    return std::fclose(file) == 0 && written;
}
