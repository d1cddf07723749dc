#pragma once
#include <windows.h>

#include <string>
#include <vector>
// Dialog templates read from the module's resources: their caption, and a copy restyled as a
// child control (the way property pages are created inside a sheet).

namespace ui {

class DialogTemplate {
public:
    // Loads template `id`; empty() when it does not exist.
    explicit DialogTemplate(int id);

    bool empty() const { return bytes_.empty(); }
    // The caption, in GBK.
    std::string caption() const;
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
