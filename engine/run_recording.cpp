#include "engine/run_recording.h"
#include "ui/text_api.h"

RunRecording run_recording;

bool RunRecording::begin(HWND window) {
    discard_unfinished();
    HDC reference = GetDC(window);
    if (reference == nullptr)
        return false;
    RECT client{0, 0, GetDeviceCaps(reference, HORZRES), GetDeviceCaps(reference, VERTRES)};
    if (window != nullptr)
        GetClientRect(window, &client);
    // The frame in 0.01 mm of the reference device, for the client area's pixels.
    const int mm_x = GetDeviceCaps(reference, HORZSIZE), px_x = GetDeviceCaps(reference, HORZRES);
    const int mm_y = GetDeviceCaps(reference, VERTSIZE), px_y = GetDeviceCaps(reference, VERTRES);
    RECT frame{0, 0, MulDiv(client.right, mm_x * 100, px_x), MulDiv(client.bottom, mm_y * 100, px_y)};
    dc_ = ui::create_enh_metafile(reference, px_x > 0 && px_y > 0 ? &frame : nullptr);
    ReleaseDC(window, reference);
    return dc_ != nullptr;
}

void RunRecording::finish() {
    if (dc_ == nullptr)
        return;
    delete_picture();
    picture_ = CloseEnhMetaFile(dc_);
    dc_ = nullptr;
    ready_ = picture_ != nullptr;
}

void RunRecording::discard_unfinished() {
    if (dc_ != nullptr)
        DeleteEnhMetaFile(CloseEnhMetaFile(dc_));
    dc_ = nullptr;
}

void RunRecording::delete_picture() {
    if (picture_ != nullptr)
        DeleteEnhMetaFile(picture_);
    picture_ = nullptr;
    ready_ = false;
}

void RunRecording::replay(HDC dc, const RECT& client) const {
    if (ready())
        PlayEnhMetaFile(dc, picture_, &client);
}
