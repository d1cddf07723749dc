#pragma once
#include <windows.h>

#include <string>
#include <vector>
// Dialog templates read from the module's resources: their caption, font and controls, and a
// copy restyled as a child control (the way property pages are created inside a sheet).

namespace ui {

class DialogTemplate {
public:
    // One control of the template, in dialog units; texts in GBK.
    struct Control {
        int id = -1; // -1 for a control without one
        DWORD style = 0, ex_style = 0;
        int x = 0, y = 0, cx = 0, cy = 0;
        WORD class_atom = 0; // the predefined class (0x80 Button … 0x85 ComboBox), 0 for others
        std::string class_name, text;
    };
    struct Layout {
        bool complete = false; // false when the template ends before its last control
        int cx = 0, cy = 0;
        int font_points = 0;
        std::string caption, font_face;
        std::vector<Control> controls;
    };

    // Loads template `id`; empty() when it does not exist.
    explicit DialogTemplate(int id);

    bool empty() const { return bytes_.empty(); }
    // The caption, in GBK.
    std::string caption() const { return layout().caption; }
    // The whole template, read field by field (DIALOGEX and plain DIALOG alike).
    Layout layout() const;
    // Removes the caption, popup and frame styles and makes the template a child control.
    void make_child();
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

private:
    bool extended() const;
    DWORD* style_field();
    DWORD* ex_style_field();
    std::vector<unsigned char> bytes_;
};

} // namespace ui
