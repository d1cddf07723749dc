#include "ui/dialog_template.h"

#include <cstring>

#include "ui/app.h"
#include "ui/gbk.h"

namespace ui {

namespace {
// Skips a "string or ordinal" field of a template; returns the next position.
const WORD* skip_sz_or_ord(const WORD* p, const WORD* end) {
    if (p >= end)
        return end;
    if (*p == 0x0000)
        return p + 1;
    if (*p == 0xFFFF)
        return p + 2;
    while (p < end && *p != 0)
        ++p;
    return p < end ? p + 1 : end;
}
constexpr size_t kExtendedHeader = 26; // dlgVer .. cy of DLGTEMPLATEEX
constexpr size_t kPlainHeader = 18;    // style .. cy of DLGTEMPLATE
} // namespace

DialogTemplate::DialogTemplate(int id) {
    HINSTANCE instance = App::instance();
    HRSRC res = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5)); // RT_DIALOG
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

std::string DialogTemplate::caption() const {
    if (empty())
        return {};
    size_t header = extended() ? kExtendedHeader : kPlainHeader;
    auto* p = reinterpret_cast<const WORD*>(bytes_.data() + header);
    auto* end = reinterpret_cast<const WORD*>(bytes_.data() + bytes_.size());
    p = skip_sz_or_ord(p, end); // menu
    p = skip_sz_or_ord(p, end); // window class
    const WORD* start = p;
    while (p < end && *p != 0)
        ++p;
    return to_gbk(std::wstring_view(reinterpret_cast<const wchar_t*>(start),
                                    static_cast<size_t>(p - start)));
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
