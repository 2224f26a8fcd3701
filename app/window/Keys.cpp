#include "app/window/Keys.h"

#include "app/instrument/Actions.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/instrument/Pluck.h"
#include "app/instrument/Tuning.h"
#include "src/ConsoleLine.h"

namespace GLStuff {
namespace {

void ScaleKey(const int* table, int count, std::ostream& out)
{
    std::string error;
    if (!ChooseScale(table, count, error))
        WriteLine(out, "scale refused: ", error);
}

} // namespace

KeyAction ActionForKey(unsigned char key)
{
    switch (key) {
    case '1':
        return KeyAction::kScalePentatonicMajor;
    case '2':
        return KeyAction::kScalePentatonicMinor;
    case '3':
        return KeyAction::kScaleDiatonic;
    case '4':
        return KeyAction::kScaleWholeTone;
    case 'a':
        return KeyAction::kAddString;
    case 'z':
        return KeyAction::kRemoveString;
    case 'f':
        return KeyAction::kToggleFullScreen;
    case 'h':
        return KeyAction::kToggleHUD;
    case 'v':
        return KeyAction::kToggleCamera;
    case 'w':
        return KeyAction::kFasterRedraw;
    case 's':
        return KeyAction::kSlowerRedraw;
    case 'c':
        return KeyAction::kRecalibrate;
    case '+':
    case '=': // + without shift on most keyboards
        return KeyAction::kKeyUp;
    case '-':
        return KeyAction::kKeyDown;
    case 't':
        return KeyAction::kToggleTouch;
    case 'o':
        return KeyAction::kToggleVoice;
    case 'q':
        return KeyAction::kQuit;
    default:
        return KeyAction::kNone;
    }
}

WindowRequest ApplyKey(unsigned char key, std::ostream& out)
{
    const KeyAction action = ActionForKey(key);
    switch (action) {
    case KeyAction::kNone:
        break;
    case KeyAction::kScalePentatonicMajor:
        ScaleKey(gPentatonicMajor, 5, out);
        break;
    case KeyAction::kScalePentatonicMinor:
        ScaleKey(gPentatonicMinor, 5, out);
        break;
    case KeyAction::kScaleDiatonic:
        ScaleKey(gDiatonic, 7, out);
        break;
    case KeyAction::kScaleWholeTone:
        ScaleKey(gWholeTone, 6, out);
        break;
    case KeyAction::kAddString:
        AddString();
        break;
    case KeyAction::kRemoveString:
        RemoveString();
        break;
    case KeyAction::kToggleFullScreen: {
        WindowRequest request;
        if (!gFullscreen) {
            gLastWidth = gWidth;
            gLastHeight = gHeight;
            request = WindowRequest::kEnterFullScreen;
        } else {
            request = WindowRequest::kLeaveFullScreen;
        }
        gFullscreen = !gFullscreen;
        return request;
    }
    case KeyAction::kToggleHUD:
        gShowHUD = !gShowHUD;
        break;
    case KeyAction::kToggleCamera:
        gShowCamera = !gShowCamera;
        break;
    case KeyAction::kFasterRedraw:
        FasterRedraw(gFrameRate, gRefreshRate);
        PrintRefreshRate(out, gFrameRate);
        break;
    case KeyAction::kRecalibrate:
        Recalibrate();
        break;
    case KeyAction::kSlowerRedraw:
        SlowerRedraw(gFrameRate, gRefreshRate);
        PrintRefreshRate(out, gFrameRate);
        break;
    case KeyAction::kKeyUp:
    case KeyAction::kKeyDown: {
        const int key = CurrentScale().key + (action == KeyAction::kKeyUp ? 1 : -1);
        std::string error;
        if (ChooseKey(key, error)) {
            WriteLine(out, "key: ", NoteName(key), " (", key, ")");
        } else {
            WriteLine(out, "key ", NoteName(key), " refused: ", error);
        }
        break;
    }
    case KeyAction::kToggleTouch:
        ChooseTouch(!Touch());
        WriteLine(out, "touch: ", Touch() ? "on" : "off");
        break;
    case KeyAction::kToggleVoice: {
        const bool concert = Harp::GetInstance()->GetVoice() == Harp::VoiceKind::kConcert;
        ChooseVoice(concert ? Harp::VoiceKind::kClassic : Harp::VoiceKind::kConcert);
        WriteLine(out, "voice: ", Harp::VoiceName(Harp::GetInstance()->GetVoice()));
        break;
    }
    case KeyAction::kQuit:
        return WindowRequest::kQuit;
    }
    return WindowRequest::kNothing;
}

void FasterRedraw(float& frameRate, float& refreshRate)
{
    frameRate = frameRate + 1.0f;
    refreshRate = 1000.0f / frameRate;
}

void SlowerRedraw(float& frameRate, float& refreshRate)
{
    if (frameRate > 1.0f) {
        frameRate = frameRate - 1.0f;
        refreshRate = 1000.0f / frameRate;
    }
}

void PrintRefreshRate(std::ostream& out, float frameRate)
{
    WriteLine(out, "refresh rate: ", frameRate);
}

int TimerPeriodMs(float refreshRate)
{
    return static_cast<int>(refreshRate);
}

} // namespace GLStuff
