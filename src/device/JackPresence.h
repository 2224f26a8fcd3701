#pragma once

#include <string>

// Whether a JACK server may be running for this user, found without opening a client.
//
// libjack (JACK 2) opens a Berkeley DB environment in /dev/shm/jack_db-UID for every client,
// server or none, and a process that dies while creating it leaves a region that makes every
// later JACK client of that user die of SIGBUS. A program that only looks for a server when the
// player did not ask for JACK therefore looks for the server's socket first and leaves libjack
// alone when there is none. PipeWire's libjack has no socket files and no database: with it
// loaded, a server may always run. `server`: the server's name, as JACK_DEFAULT_SERVER gives it
// ("default" when it gives none).
bool JackServerMayRun(const std::string& server);
