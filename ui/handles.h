#pragma once
#include <windows.h>

#include <utility>
// Move-only owners of handles and GDI objects, and a scoped SelectObject that restores.

namespace ui {

template <typename H, typename Traits> class Owner {
public:
    Owner() = default;
    explicit Owner(H h) : h_(h) {}
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : h_(std::exchange(other.h_, Traits::invalid())) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.h_, Traits::invalid()));
        return *this;
    }
    ~Owner() { reset(); }

    H get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::invalid(); }
    H release() { return std::exchange(h_, Traits::invalid()); }
    void reset(H h = Traits::invalid()) {
        if (h_ != Traits::invalid())
            Traits::close(h_);
        h_ = h;
    }

private:
    H h_ = Traits::invalid();
};

template <typename H> struct GdiTraits {
    static H invalid() { return nullptr; }
    static void close(H h) { DeleteObject(h); }
};
struct DcTraits {
    static HDC invalid() { return nullptr; }
    static void close(HDC h) { DeleteDC(h); }
};
struct HandleTraits {
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct FileTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct KeyTraits {
    static HKEY invalid() { return nullptr; }
    static void close(HKEY h) { RegCloseKey(h); }
};

using Bitmap = Owner<HBITMAP, GdiTraits<HBITMAP>>;
using Brush = Owner<HBRUSH, GdiTraits<HBRUSH>>;
using Pen = Owner<HPEN, GdiTraits<HPEN>>;
using Font = Owner<HFONT, GdiTraits<HFONT>>;
using MemoryDc = Owner<HDC, DcTraits>;
using Handle = Owner<HANDLE, HandleTraits>;
using File = Owner<HANDLE, FileTraits>;
using RegKey = Owner<HKEY, KeyTraits>;

// Selects a GDI object into a DC for the life of the scope.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    ~ScopedSelect() {
        if (old_ != nullptr && old_ != HGDI_ERROR)
            SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A window's DC, released to the window it came from.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_ != nullptr)
            ReleaseDC(hwnd_, dc_);
    }
    HDC get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

} // namespace ui
