#pragma once

#include <string>

// The audio library's PulseAudio backend copies each sink's and source's "device.description"
// property without looking, and dies on one that has none. PulseAudio's own modules always set
// it; a PipeWire sink made by hand or by another program may not. So we ask the server first.
//
// The name of a sink or source of the default PulseAudio server (or PipeWire's Pulse server)
// that has no description, or "" when all have one or no server answers within two seconds.
// Main thread; it opens a connection of its own and closes it.
std::string PulseDeviceWithoutDescription();
