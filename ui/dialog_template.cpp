#include "ui/dialog_template.h"

#include <cstring>
#include <utility>

#include "ui/app.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

namespace ui {

namespace {
constexpr size_t kExtendedHeader = 26; // dlgVer .. cy of DLGTEMPLATEEX

// Reads a template's little-endian fields in order; past the end every read gives 0 and the
// reader is no longer ok().
class FieldReader {
public:
    FieldReader(const unsigned char* data, size_t size) : data_(data), size_(size) {}

    DWORD read(size_t n) {
        DWORD v = 0;
        if (at_ + n > size_) {
            ok_ = false;
            at_ = size_;
            return 0;
        }
        std::memcpy(&v, data_ + at_, n);
        at_ += n;
        return v;
    }
    void skip(size_t n) {
        while (n-- > 0)
            read(1);
    }
    void align4() { skip((4 - at_ % 4) % 4); }
    // A "string or ordinal" field: the ordinal (0 for a string or nothing), the string in text.
    WORD sz_or_ord(std::wstring& text) {
        text.clear();
        WORD w = static_cast<WORD>(read(2));
        if (w == 0xFFFF)
            return static_cast<WORD>(read(2));
        for (; w != 0 && ok_; w = static_cast<WORD>(read(2)))
            text.push_back(static_cast<wchar_t>(w));
        return 0;
    }
    bool ok() const { return ok_; }

private:
    const unsigned char* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

// The class names are ASCII: compared without the system's help (lstrcmpiW is a stub on 9x).
bool same_ascii_name(const std::wstring& name, const char* ascii) {
    size_t i = 0;
    for (; i < name.size() && ascii[i] != '\0'; ++i) {
        wchar_t a = name[i], b = static_cast<unsigned char>(ascii[i]);
        if (a >= L'A' && a <= L'Z')
            a = static_cast<wchar_t>(a - L'A' + L'a');
        if (b >= L'A' && b <= L'Z')
            b = static_cast<wchar_t>(b - L'A' + L'a');
        if (a != b)
            return false;
    }
    return i == name.size() && ascii[i] == '\0';
}

WORD predefined_atom(const std::wstring& name) {
    static const char* const names[] = {"Button",  "Edit",      "Static",
                                        "ListBox", "ScrollBar", "ComboBox"};
    for (WORD i = 0; i < 6; ++i) {
        if (same_ascii_name(name, names[i]))
            return static_cast<WORD>(0x80 + i);
    }
    return 0;
}
} // namespace

DialogTemplate::DialogTemplate(int id) {
    HINSTANCE instance = App::instance();
    HRSRC res = find_dialog_resource(id);
    if (res == nullptr)
        return;
    HGLOBAL loaded = LoadResource(instance, res);
    DWORD size = SizeofResource(instance, res);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size < kExtendedHeader)
        return;
    bytes_.assign(static_cast<const unsigned char*>(data),
                  static_cast<const unsigned char*>(data) + size);
}

bool DialogTemplate::extended() const {
    WORD version = 0, signature = 0;
    std::memcpy(&version, bytes_.data(), 2);
    std::memcpy(&signature, bytes_.data() + 2, 2);
    return version == 1 && signature == 0xFFFF;
}

DWORD* DialogTemplate::style_field() {
    return reinterpret_cast<DWORD*>(bytes_.data() + (extended() ? 12 : 0));
}

DWORD* DialogTemplate::ex_style_field() {
    return reinterpret_cast<DWORD*>(bytes_.data() + (extended() ? 8 : 4));
}

DialogTemplate::Layout DialogTemplate::layout() const {
    Layout out;
    if (empty())
        return out;
    const bool ex = extended();
    FieldReader in(bytes_.data(), bytes_.size());
    in.skip(ex ? 8 : 0); // version, signature, help id
    DWORD first = in.read(4), second = in.read(4);
    const DWORD style = ex ? second : first; // DIALOGEX puts the extended style first
    const WORD count = static_cast<WORD>(in.read(2));
    in.skip(4); // x, y
    out.cx = static_cast<short>(in.read(2));
    out.cy = static_cast<short>(in.read(2));
    std::wstring text;
    in.sz_or_ord(text); // menu
    in.sz_or_ord(text); // window class
    in.sz_or_ord(text);
    out.caption = to_gbk(text);
    if (style & DS_SETFONT) {
        out.font_points = static_cast<int>(in.read(2));
        in.skip(ex ? 4 : 0); // weight, italic, character set
        in.sz_or_ord(text);
        out.font_face = to_gbk(text);
    }
    for (WORD i = 0; i < count && in.ok(); ++i) {
        Control c;
        in.align4();
        in.skip(ex ? 4 : 0); // help id
        c.style = in.read(4);
        c.ex_style = in.read(4);
        if (ex)
            std::swap(c.style, c.ex_style);
        c.x = static_cast<short>(in.read(2));
        c.y = static_cast<short>(in.read(2));
        c.cx = static_cast<short>(in.read(2));
        c.cy = static_cast<short>(in.read(2));
        const DWORD id = in.read(ex ? 4 : 2);
        c.id = id == 0xFFFF || id == 0xFFFFFFFF ? -1 : static_cast<int>(id);
        std::wstring class_name;
        c.class_atom = in.sz_or_ord(class_name);
        if (c.class_atom == 0)
            c.class_atom = predefined_atom(class_name);
        c.class_name = to_gbk(class_name);
        if (in.sz_or_ord(text) == 0) // an ordinal (an icon) is no text
            c.text = to_gbk(text);
        in.skip(in.read(2)); // creation data
        if (in.ok())
            out.controls.push_back(std::move(c));
    }
    out.complete = in.ok();
    return out;
}

void DialogTemplate::make_child() {
    if (empty())
        return;
    DWORD* style = style_field();
    *style &= ~static_cast<DWORD>(WS_CAPTION | WS_POPUP | WS_SYSMENU | WS_THICKFRAME |
                                  DS_MODALFRAME | WS_VISIBLE | WS_DISABLED);
    *style |= WS_CHILD | DS_CONTROL | WS_CLIPSIBLINGS;
    *ex_style_field() |= WS_EX_CONTROLPARENT;
}

} // namespace ui
