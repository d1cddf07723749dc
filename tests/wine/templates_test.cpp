// The program's dialog templates as the user sees them: every control inside its dialog, no two
// overlapping, radio buttons grouped as their group boxes show, and every control the pages
// name present once.
#include <windows.h>
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "pages/setup_page.h"
#include "pages/test_page.h"
#include "ui/app.h"
#include "ui/dialog_template.h"

namespace {

using Item = ui::DialogTemplate::Control;

bool is_group_box(const Item& it) {
    return it.class_atom == 0x80 && (it.style & BS_TYPEMASK) == BS_GROUPBOX;
}
bool is_radio(const Item& it) {
    const DWORD type = it.style & BS_TYPEMASK;
    return it.class_atom == 0x80 && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
}
// Group boxes, etched frames and rules hold other controls; everything else is a control of
// its own that nothing may cover.
bool is_container(const Item& it) {
    const DWORD type = it.style & SS_TYPEMASK;
    return is_group_box(it) ||
           (it.class_atom == 0x82 && (type == SS_ETCHEDFRAME || type == SS_ETCHEDHORZ));
}
// The closed combo box: the template's height is that of its open list.
RECT rect_of(const Item& it) {
    const int cy = it.class_atom == 0x85 ? 14 : it.cy;
    return RECT{it.x, it.y, it.x + it.cx, it.y + cy};
}
bool inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST(Templates, ControlsStayInsideApartAndGroupedAsShown) {
    ui::App::set_instance(GetModuleHandleW(nullptr));
    for (int resource : {107, 141, 159, 100, 168, 172, 171, 173, 174}) {
        SCOPED_TRACE(resource);
        ui::DialogTemplate tmpl(resource);
        ASSERT_FALSE(tmpl.empty());
        const ui::DialogTemplate::Layout t = tmpl.layout();
        ASSERT_TRUE(t.complete) << "the template ends before its last control";
        EXPECT_EQ(t.font_face, "宋体");
        const RECT dialog{0, 0, t.cx, t.cy};
        std::set<int> ids;
        for (size_t i = 0; i < t.controls.size(); ++i) {
            const Item& a = t.controls[i];
            const RECT ra = rect_of(a);
            EXPECT_TRUE(inside(ra, dialog)) << "control " << a.id << " \"" << a.text << "\"";
            if (a.id != -1) {
                EXPECT_TRUE(ids.insert(a.id).second) << "two controls with id " << a.id;
            }
            for (size_t j = 0; j < i && !is_container(a); ++j) {
                RECT overlap{};
                const RECT rb = rect_of(t.controls[j]);
                EXPECT_FALSE(!is_container(t.controls[j]) && IntersectRect(&overlap, &ra, &rb))
                    << a.id << " \"" << a.text << "\" covers " << t.controls[j].id << " \""
                    << t.controls[j].text << "\"";
            }
        }
        // Radio buttons exclude each other from one WS_GROUP control up to the next: two are
        // of one group exactly when one group box frames both.
        std::vector<std::pair<int, int>> radios; // WS_GROUP run, framing group box
        int run = 0;
        for (const Item& it : t.controls) {
            run += (it.style & WS_GROUP) != 0;
            if (!is_radio(it))
                continue;
            int box = -1;
            for (size_t b = 0; b < t.controls.size(); ++b)
                if (is_group_box(t.controls[b]) && inside(rect_of(it), rect_of(t.controls[b])))
                    box = static_cast<int>(b);
            EXPECT_NE(box, -1) << "radio button " << it.id << " outside a group box";
            radios.emplace_back(run, box);
        }
        for (size_t a = 0; a < radios.size(); ++a)
            for (size_t b = 0; b < a; ++b)
                EXPECT_EQ(radios[a].first == radios[b].first, radios[a].second == radios[b].second)
                    << "radio buttons " << a << " and " << b;
        // The controls the pages work by name.
        std::vector<int> named;
        if (resource == QSetupPage::kTemplate)
            named = {QSetupPage::kSmallBlocks,   QSetupPage::kBigBlocks,      QSetupPage::kBuffered,
                     QSetupPage::kUnbuffered,    QSetupPage::kBusinessWeights,
                     QSetupPage::kAverageWeights, QSetupPage::kGameWeights,
                     QSetupPage::kStandardButton, QSetupPage::kCurrentMode, QSetupPage::kUse3dnow,
                     QSetupPage::kUseSse,        QSetupPage::kDefaultMode,    QSetupPage::kTripleAmount,
                     QSetupPage::kChosenMode,    QSetupPage::kPreTest,        QSetupPage::kAutoScale,
                     QSetupPage::kHelpButton,    QSetupPage::kModeList};
        if (resource == QTestPage::kTemplate)
            named = {QTestPage::kStartButton, QTestPage::kStopButton, QTestPage::kHelpButton,
                     QTestPage::kAnalysisButton, QTestPage::kSlogan};
        for (int id : named)
            EXPECT_EQ(ids.count(id), 1u) << "no control " << id;
    }
}

} // namespace
