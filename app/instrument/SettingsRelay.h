#pragma once

#include "app/instrument/PerformanceSettings.h"

// Where a replay's settings lines are applied. A program with a window changes the harp's strings
// on the window thread alone (drawing reads them without a lock): there the tracking thread hands
// the settings over and waits until the window thread has applied them, so the frames after a
// settings line meet the new settings, as they did when the performance was recorded. Without a
// window they are applied at once, on the thread that meets them.
class SettingsRelay {
public:
    // Window thread, before the tracking starts: from here on it applies the settings.
    static void Open();
    // Tracking thread: applies `settings` (PerformanceSettings::Apply) at once, or, once Open,
    // waits until the window thread has applied them, or until Close.
    static void HandOver(const PerformanceSettings& settings);
    // Window thread, on every redraw tick: applies the settings waiting, if any.
    static void ApplyWaiting();
    // Before the tracking thread is stopped (GLStuff::UseTracking(nullptr)): nothing waits for the
    // window thread any more.
    static void Close();
};
