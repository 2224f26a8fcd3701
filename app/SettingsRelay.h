#pragma once

#include "app/instrument/PerformanceSettings.h"

// Carries the settings a replay meets from the tracking thread to the window thread, which alone
// changes the harp's strings (drawing reads them without a lock), and holds the tracking thread
// until they are applied: the frames after a settings line meet the new settings, as they did
// when the performance was recorded.
class SettingsRelay {
public:
    // Tracking thread: waits until the window thread has applied `settings`, or until Close.
    static void HandOver(const PerformanceSettings& settings);
    // Window thread, on every redraw tick: applies the settings waiting, if any.
    static void ApplyWaiting();
    // Before the tracking thread is stopped: nothing waits for the window thread any more.
    static void Close();
};
