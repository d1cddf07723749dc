// The four page templates and the score, welcome, analysis and account dialogs as compiled into
// the module, read control by control: every control's id, class, text, style and place in dialog
// units against the layouts drawn for them.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "ui/app.h"
#include "ui/dialog_template.h"

namespace {

using Item = ui::DialogTemplate::Control;

int place(const Item& it, int i) {
    const int places[] = {it.x, it.y, it.cx, it.cy};
    return places[i];
}

// Control kinds as the layouts name them: the class, and the style that makes a control of that
// kind (style & mask is one of the two values, or an extended style of ex_any is set).
struct KindRule {
    const char* name;
    WORD atom;
    DWORD mask, value, alt, ex_any;
};
constexpr DWORD edge = WS_EX_STATICEDGE | WS_EX_CLIENTEDGE;
constexpr DWORD result_box = ES_READONLY | ES_AUTOHSCROLL | WS_BORDER;
constexpr DWORD combo = 3 | CBS_SORT;
// clang-format off
enum Kind { Label, Centred, Sunken, Etched, Black, Rule, ResultBox, ReadOnly,
            Push, DefPush, Radio, Check, Group, DropDown, DropList, Scrolling, Password, Report };
constexpr KindRule kinds[] = {
    {"label", 0x82, SS_TYPEMASK, SS_LEFT, SS_LEFT, 0},
    {"centred label", 0x82, SS_TYPEMASK, SS_CENTER, SS_CENTER, 0},
    {"sunken frame", 0x82, SS_SUNKEN, SS_SUNKEN, SS_SUNKEN, edge},
    {"etched frame", 0x82, SS_TYPEMASK, SS_ETCHEDFRAME, SS_ETCHEDFRAME, 0},
    {"black frame", 0x82, SS_TYPEMASK, SS_BLACKFRAME, SS_BLACKFRAME, 0},
    {"sunken rule", 0x82, SS_TYPEMASK, SS_ETCHEDHORZ, SS_ETCHEDHORZ, edge},
    {"bordered scrolling read-only edit", 0x81, result_box, result_box, result_box, 0},
    {"read-only edit", 0x81, ES_READONLY, ES_READONLY, ES_READONLY, 0},
    {"push button", 0x80, BS_TYPEMASK, BS_PUSHBUTTON, BS_PUSHBUTTON, 0},
    {"default push button", 0x80, BS_TYPEMASK, BS_DEFPUSHBUTTON, BS_DEFPUSHBUTTON, 0},
    {"radio button", 0x80, BS_TYPEMASK, BS_RADIOBUTTON, BS_AUTORADIOBUTTON, 0},
    {"check box", 0x80, BS_TYPEMASK, BS_CHECKBOX, BS_AUTOCHECKBOX, 0},
    {"group box", 0x80, BS_TYPEMASK, BS_GROUPBOX, BS_GROUPBOX, 0},
    {"unsorted editable drop-down", 0x85, combo, CBS_DROPDOWN, CBS_DROPDOWN, 0},
    {"unsorted drop-down list", 0x85, combo, CBS_DROPDOWNLIST, CBS_DROPDOWNLIST, 0},
    {"scrolling edit", 0x81, ES_AUTOHSCROLL | ES_PASSWORD, ES_AUTOHSCROLL, ES_AUTOHSCROLL, 0},
    {"scrolling password edit", 0x81, ES_AUTOHSCROLL | ES_PASSWORD, ES_AUTOHSCROLL | ES_PASSWORD,
     ES_AUTOHSCROLL | ES_PASSWORD, 0},
    // A list view: a class of its own, no atom.
    {"report list view", 0, LVS_TYPEMASK, LVS_REPORT, LVS_REPORT, 0},
};
// clang-format on

bool style_fits(Kind k, const Item& it) {
    const KindRule& s = kinds[k];
    const DWORD v = it.style & s.mask;
    return v == s.value || v == s.alt || (it.ex_style & s.ex_any) != 0;
}

constexpr int any = -1;              // a place or size the layout leaves open
constexpr int no_id = -1;            // plain statics, matched by kind, text and the places given
constexpr const char* use = nullptr; // the layout gives only the control's use, no text

struct Row {
    int id;
    Kind kind;
    const char* text; // use: none given
    int place[4];     // x, y, width, height; any where the layout leaves it open
    int count = 1;    // how many id-less controls fit the row
};

struct Page {
    int resource;
    const char* caption;
    int points; // 0 where the layout names no font
    int cx, cy;
    std::vector<Row> rows;
    std::vector<std::vector<int>> radio_groups; // radio buttons that exclude each other
};

// The resource compiler may store a class name in capitals; window classes ignore the case.
bool list_view_class(const Item& it) {
    return _stricmp(it.class_name.c_str(), "SysListView32") == 0;
}

bool fits(const Item& it, const Row& r) {
    for (int i = 0; i < 4; ++i)
        if (r.place[i] != any && r.place[i] != place(it, i))
            return false;
    return it.class_atom == kinds[r.kind].atom && style_fits(r.kind, it) &&
           (r.kind != Report || list_view_class(it)) && (!r.text || it.text == r.text);
}

// clang-format off
const Page pages[] = {
    {107, "   测试页   ", 9, any, any, {
        {1007, Label, "32bit整数运算性能", 64, 15, 95, 8}, {1009, Sunken, use, 30, 25, 158, 14},
        {1017, ResultBox, use, 235, 20, 56, 13}, {1018, ResultBox, use, 350, 20, 45, 13},
        {1008, Label, "单精度浮点性能", 59, 45, 95, 8}, {1015, Sunken, use, 30, 55, 158, 14},
        {1022, ResultBox, use, 235, 50, 56, 13}, {1024, ResultBox, use, 350, 50, 45, 13},
        {1010, Label, "32bit内存传送性能", 64, 75, 95, 8}, {1013, Sunken, use, 30, 85, 158, 14},
        {1019, ResultBox, use, 235, 80, 56, 13}, {1025, ResultBox, use, 350, 80, 45, 13},
        {1011, Label, "磁盘读写平均性能", 64, 105, 95, 8}, {1016, Sunken, use, 30, 115, 158, 14},
        {1021, ResultBox, use, 236, 110, 56, 13}, {1026, ResultBox, use, 350, 110, 45, 13},
        {1012, Label, "Direct Draw性能", 63, 135, 92, 8}, {1014, Sunken, use, 30, 145, 158, 14},
        {1020, ResultBox, use, 236, 142, 56, 13}, {1023, ResultBox, use, 350, 142, 45, 13},
        {32771, DefPush, "开始测试", 20, 171, 70, 19}, {32772, Push, "停止测试", 120, 171, 70, 19},
        {1040, Push, "测试结果分析", 220, 171, 70, 19}, {1039, Push, "测试帮助", 320, 171, 70, 19},
        {1082, Label, "——温和、细致、体贴是我们的风格！", 41, 216, 144, 15},
        {no_id, Label, "绝对速度", 200, any, any, any, 5},
        {no_id, Label, "相对速度", 315, any, any, any, 5},
        {no_id, Rule, use, any, 10, 390, any}, {no_id, Rule, use, any, 40, 390, any},
        {no_id, Rule, use, any, 70, 390, any}, {no_id, Rule, use, any, 100, 390, any},
        {no_id, Rule, use, any, 130, 390, any}, {no_id, Rule, use, any, 163, 390, any},
        {no_id, Rule, use, any, 197, 390, any}}, {}},
    {141, "   比较页   ", 0, any, any, {
        {1031, Push, "存储测试数据", 2, 4, 53, 16}, {1034, Push, "删除当前记录", 60, 4, 53, 16},
        {1040, Push, "机器信息", 118, 4, 53, 16}, {1037, DropDown, use, 0, 24, 172, 109},
        {1038, DropList, use, 0, 44, 172, 108},
        {1059, Label, "32位整数", 185, 9, 35, 10}, {1060, Label, "浮点性能", 229, 9, 35, 10},
        {1061, Label, "内存传送", 275, 9, 35, 10}, {1063, Label, "磁盘读写", 319, 9, 35, 10},
        {1062, Label, "图形传输", 363, 9, 35, 10},
        {1018, ReadOnly, use, 183, 25, any, any}, {1019, ReadOnly, use, 183, 44, any, any},
        {1022, ReadOnly, use, 225, 25, any, any}, {1023, ReadOnly, use, 225, 45, any, any},
        {1024, ReadOnly, use, 274, 25, any, any}, {1025, ReadOnly, use, 273, 45, any, any},
        {1028, ReadOnly, use, 319, 25, any, any}, {1029, ReadOnly, use, 320, 45, any, any},
        {1026, ReadOnly, use, 365, 25, any, any}, {1027, ReadOnly, use, 365, 45, any, any},
        {1044, Etched, use, 0, 63, 405, 120}, {1041, Sunken, use, 62, 199, 25, 13},
        {1042, Sunken, use, 288, 193, 25, 13},
        {1032, Centred, "机器1", 5, 212, 163, 12},
        {1033, Centred, "机器2", 198, 213, 200, 13}}, {}},
    {159, "选项设置", 9, 401, 245, {
        {no_id, Group, "内存测试设置", 7, 7, 163, 41},
        {1045, Radio, "4 Bytes小块读写", 20, 18, 80, 12},
        {1046, Radio, "4K Bytes大块读写", 20, 33, 80, 12},
        {no_id, Group, "磁盘测试设置", 7, 56, 162, 40},
        {1049, Radio, "Unbuffered -- 不使用系统cache", 18, 67, 132, 12},
        {1048, Radio, "Buffered -- 使用系统cache", 18, 80, 132, 12},
        {no_id, Group, "比较页设置", 7, 104, 161, 36},
        {1061, Check, "自动缩放纵坐标（更便于比较）", 20, 119, 132, 13},
        {1073, Group, "Direct Draw测试设置", 180, 7, 214, 58},
        {1057, Radio, "使用1024x768 16bit分辨率，适配器缺省刷新率", 183, 18, 181, 12},
        {1054, Radio, "使用当前屏幕分辨率，当前刷新率", 183, 33, 132, 12},
        {1059, Radio, "选择屏幕分辨率：", 183, 48, 71, 12},
        {1072, DropList, use, 265, 48, 116, 108},
        {no_id, Group, "测试结果加权方式", 180, 71, 213, 70},
        {1051, Radio, "平均性能:整数20% 浮点20% 内存20% 磁盘20% 图形20%", 184, 89, 206, 12},
        {1050, Radio, "商业运算:整数30% 浮点5%  内存30% 磁盘30%  图形5%", 184, 105, 207, 12},
        {1052, Radio, "游戏性能:整数25% 浮点25% 内存10% 磁盘10% 图形30%", 184, 121, 207, 12},
        {no_id, Group, "其它测试设置", 7, 146, 386, 67},
        {1055, Check, "浮点测试使用Amd 3DNOW! 技术", 17, 156, 124, 13},
        {1056, Check, "浮点测试使用Intel SSE技术", 17, 173, 124, 13},
        {1058, Check, "使用三倍测试量（测试精确度更高）", 185, 155, 137, 13},
        {1060, Check, "启动程序时进行预备测试（测试时间更确定）", 185, 173, 176, 13},
        {1053, Push, "标准设置", 100, 220, 65, 18}, {1062, Push, "选项帮助", 250, 220, 65, 18}},
        {{1045, 1046}, {1049, 1048}, {1057, 1054, 1059}, {1051, 1050, 1052}}},
    {100, "软件信息", 9, 410, 259, {
        {1068, Black, "", 0, 9, 404, 208}, {1040, Push, "支持和建议", 345, 228, 50, 18},
        {1041, Push, "帮助内容", 284, 228, 50, 18}}, {}},
    {168, "Tavoli测试结果", 10, 165, 87, {
        {1070, Label, "当前系统的TavoliMARK为：", 36, 15, 96, 14},
        {IDCANCEL, DefPush, "确  定", 63, 68, 41, 16}, {no_id, Etched, "", 7, 7, 151, 59}}, {}},
    {172, "机器信息", 9, any, any, {{1076, Etched, "", any, any, any, any}}, {}},
    {171, "欢迎使用《Tavoli测试》", 10, 191, 95, {
        {1079, Centred, "正在初始化，请稍候......", 15, 66, 161, 12},
        {no_id, Etched, "", 7, 7, 177, 81}}, {}},
    {173, "测试结果分析", 10, 299, 198, {
        {1084, Report, use, any, any, any, any}, {1040, Push, "生成报表", any, any, any, any},
        {1041, Push, "结果分析帮助", any, any, any, any},
        {1042, Push, "上传到网上", any, any, any, any}}, {}},
    {174, "数据上传", 10, 198, 111, {
        {IDOK, DefPush, "开始上传", any, any, any, any}, {3, Push, "上传帮助", any, any, any, any},
        {1085, Scrolling, use, any, any, any, any}, {1086, Password, use, any, any, any, any},
        {1087, Password, use, any, any, any, any},
        {no_id, Label,
         "请输入有效的Email，它将成为用户在Pelorin网站上的帐户名，其长度为7~40个字符", any, any,
         any, any},
        {no_id, Label, "Email:", any, any, any, any},
        {no_id, Label, "设定密码，其长度为5~15个字母或者数字", any, any, any, any},
        {no_id, Label, "密码", any, any, any, any}, {no_id, Label, "重复密码", any, any, any, any},
        {no_id, Etched, "", any, any, any, any}}, {}},
};
// clang-format on

void PrintTo(const Page& page, std::ostream* os) {
    *os << "template " << page.resource;
}

class PageTemplate : public ::testing::TestWithParam<Page> {};

TEST_P(PageTemplate, MatchesItsLayoutControlByControl) {
    const Page& page = GetParam();
    ui::App::set_instance(GetModuleHandleW(nullptr));
    ui::DialogTemplate tmpl(page.resource);
    ASSERT_FALSE(tmpl.empty()) << "no dialog resource " << page.resource;
    const ui::DialogTemplate::Layout t = tmpl.layout();
    ASSERT_TRUE(t.complete) << "the template ends before its last control";

    EXPECT_EQ(t.caption, page.caption);
    if (page.points) {
        EXPECT_EQ(t.font_points, page.points);
        EXPECT_EQ(t.font_face, "宋体");
    }
    if (page.cx != any) {
        EXPECT_EQ(t.cx, page.cx) << "template width";
        EXPECT_EQ(t.cy, page.cy) << "template height";
    }

    int unnamed_expected = 0;
    for (const Row& r : page.rows) {
        if (r.id == no_id) {
            int n = 0;
            for (const Item& it : t.controls)
                n += it.id == -1 && fits(it, r);
            EXPECT_EQ(n, r.count) << "id-less " << kinds[r.kind].name << " \""
                                  << (r.text ? r.text : "") << "\" at x " << r.place[0] << " y "
                                  << r.place[1] << " width " << r.place[2] << " (-1: any)";
            unnamed_expected += r.count;
            continue;
        }
        std::vector<const Item*> same;
        for (const Item& it : t.controls)
            if (it.id == r.id)
                same.push_back(&it);
        if (same.size() != 1) {
            ADD_FAILURE() << same.size() << " controls with id " << r.id;
            continue;
        }
        const Item& it = *same[0];
        EXPECT_EQ(it.class_atom, kinds[r.kind].atom)
            << "class of " << r.id << " (name \"" << it.class_name << "\")";
        if (r.kind == Report) {
            EXPECT_TRUE(list_view_class(it)) << r.id << " is a " << it.class_name;
        }
        EXPECT_TRUE(style_fits(r.kind, it)) << r.id << " is no " << kinds[r.kind].name << ": style "
                                            << std::hex << it.style << " ex " << it.ex_style;
        if (r.text) {
            EXPECT_EQ(it.text, r.text) << "text of " << r.id;
        }
        static const char* const place_names[] = {"x", "y", "width", "height"};
        for (int i = 0; i < 4; ++i)
            if (r.place[i] != any) {
                EXPECT_EQ(place(it, i), r.place[i]) << place_names[i] << " of " << r.id;
            }
    }
    int unnamed = 0;
    for (const Item& it : t.controls) {
        bool listed = it.id == -1;
        unnamed += listed;
        for (const Row& r : page.rows)
            listed |= r.id == it.id;
        EXPECT_TRUE(listed) << "control " << it.id << " \"" << it.text << "\" is not in the layout";
    }
    EXPECT_EQ(unnamed, unnamed_expected) << "id-less controls";

    // Auto radio buttons exclude each other from one WS_GROUP control up to the next.
    auto group = [&](int id) {
        int g = 0;
        for (const Item& it : t.controls) {
            g += (it.style & WS_GROUP) != 0;
            if (it.id == id)
                return g;
        }
        return -1;
    };
    const auto& groups = page.radio_groups;
    for (size_t a = 0; a < groups.size(); ++a)
        for (int id : groups[a]) {
            EXPECT_EQ(group(id), group(groups[a][0])) << id << " apart from " << groups[a][0];
            for (size_t b = 0; b < a; ++b)
                EXPECT_NE(group(id), group(groups[b][0])) << id << " grouped with " << groups[b][0];
        }
}

INSTANTIATE_TEST_SUITE_P(Program, PageTemplate, ::testing::ValuesIn(pages),
                         [](const ::testing::TestParamInfo<Page>& p) {
                             return "Dialog" + std::to_string(p.param.resource);
                         });

} // namespace
