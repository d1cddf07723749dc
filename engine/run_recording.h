#pragma once
#include <windows.h>
// The recording of a run's bars and markers: a metafile context the run draws into beside the
// page, and the last finished picture, which the test page replays whenever it repaints.

class RunRecording {
public:
    RunRecording() = default;
    RunRecording(const RunRecording&) = delete;
    RunRecording& operator=(const RunRecording&) = delete;
    ~RunRecording() { release(); }

    // Opens a recording context on `window`'s client area (the whole screen for null), first
    // discarding an unfinished one. The picture is laid out in the window's client pixels, so
    // that replaying it over the same client rectangle puts every stroke where it was drawn.
    bool begin(HWND window);
    // The open context; null when none is open.
    HDC dc() const { return dc_; }
    // Closes the context and keeps its picture as the one to replay.
    void finish();
    // Closes and deletes an unfinished recording.
    void discard_unfinished();
    // Deletes the finished picture; nothing is replayed until the next finish().
    void delete_picture();
    void release() {
        discard_unfinished();
        delete_picture();
    }

    bool ready() const { return ready_ && picture_ != nullptr; }
    HENHMETAFILE picture() const { return picture_; }
    // Plays the finished picture into `dc` over `client`; nothing when none is ready.
    void replay(HDC dc, const RECT& client) const;

private:
    HDC dc_ = nullptr;
    HENHMETAFILE picture_ = nullptr;
    bool ready_ = false;
};

extern RunRecording run_recording;
