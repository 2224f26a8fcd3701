#include "Instrument.h"

#include <mutex>

#include "Harp.h"
#include "Leap.h"
#include "MidiOut.h"

namespace GLStuff {

namespace {

// A quit signal clears it on its own thread while a key may be using it.
std::mutex sTrackingLock;
const Leap::Controller* sTracking = nullptr;

} // namespace

void AddString()
{
    Harp::GetInstance()->AddString();
}

void RemoveString()
{
    Harp::GetInstance()->RemoveString();
    MidiOut::GetInstance()->StringsRemain(Harp::GetInstance()->GetNumStrings());
}

void Recalibrate()
{
    std::lock_guard<std::mutex> hold(sTrackingLock);
    if (sTracking)
        sTracking->recalibrate();
}

void UseTracking(const Leap::Controller* controller)
{
    std::lock_guard<std::mutex> hold(sTrackingLock);
    sTracking = controller;
}

} // namespace GLStuff
