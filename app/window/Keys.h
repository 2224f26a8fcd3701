#pragma once

#include <ostream>

// The keyboard's meaning and the redraw rate, kept apart from GLUT so they can be checked
// without a display. Window thread only.
namespace GLStuff {

enum class KeyAction {
    kNone,
    kScalePentatonicMajor,
    kScalePentatonicMinor,
    kScaleDiatonic,
    kScaleWholeTone,
    kAddString,
    kRemoveString,
    kToggleFullScreen,
    kToggleHUD,
    kToggleCamera,
    kFasterRedraw,
    kSlowerRedraw,
    kRecalibrate,
    kKeyUp,
    kKeyDown,
    kToggleTouch,
    kToggleVoice,
    kQuit,
};

// Exact match on the character: upper case and every other key mean nothing.
KeyAction ActionForKey(unsigned char key);

// What the window system still has to do after a key has been applied.
enum class WindowRequest {
    kNothing,
    kEnterFullScreen, // glutFullScreen
    kLeaveFullScreen, // resize back to gLastWidth x gLastHeight
    kQuit,
};

// Applies a key to the shared state (scale, harp strings, full-screen bookkeeping, banner, redraw
// rate, the tracking's calibration), prints the redraw-rate line to `out` for w and s, and says
// what the window must do.
WindowRequest ApplyKey(unsigned char key, std::ostream& out);

// Redraw rate. frameRate in redraws per second, refreshRate in milliseconds between redraws.
void FasterRedraw(float& frameRate, float& refreshRate);
// Never below one redraw per second.
void SlowerRedraw(float& frameRate, float& refreshRate);
void PrintRefreshRate(std::ostream& out, float frameRate);

// The redraw timer's period: refreshRate truncated toward zero to whole milliseconds.
int TimerPeriodMs(float refreshRate);

} // namespace GLStuff
