#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "src/RealtimeMutex.h"

// A node of the pulled audio graph. Consumers call Process; a node computes its block once per
// server block (keyed on AudioServer::Time) in Render and hands the same samples to every
// consumer of that block. Audio thread only, inside a server pass.
//
// Not virtually destructible: owners delete nodes through their concrete type, and only after
// unlinking them from the graph under the server lock.
class AudioClient {
public:
    AudioClient();
    AudioClient(const AudioClient&) = delete;
    AudioClient& operator=(const AudioClient&) = delete;

    // The node's own computation for one block of `frames` samples. `buffer` is the node's
    // cache, already zeroed; the node may pull its inputs with the same frame count.
    virtual void Render(float* buffer, int frames) = 0;

    // Writes this node's samples of the current block into buffer[0..frames), rendering them
    // first if this is the node's first pull in the block. Every pull within one block must use
    // the block's frame count.
    virtual void Process(float* buffer, int frames);

protected:
    ~AudioClient();

private:
    int fBufferSize; // frames of the last render; 0 until the first
    float* fBuffer;
    int fLastTime;
    // Floats fBuffer holds. Sized when the node is built, off the audio thread, for a whole
    // server pass, so that a node added while the stream runs allocates nothing in its first pull.
    int fBufferCapacity;
};

// The process-wide audio engine: per output channel, the clients whose signals are summed into
// the device's output, once per device block. Also keeps the block clock, the sample rate and a
// copy of the last block's input.
//
// Threads: AudioServerCallback runs on the audio device's thread and holds the server lock for
// the whole pass; other threads take the same lock (EnterLock/ExitLock) around every graph change
// and every write to state a node renders from. The lock is not recursive.
class AudioServer {
public:
    // Scratch bound of a pass in frames; longer device blocks are rendered as several passes.
    static constexpr int kMaxBlockFrames = 4096;
    // Longest block whose input is copied whole, in frames: the longest a driver hands over (a
    // JACK period of 8192). The copy is that long from the start; of a longer block it keeps
    // the first kMaxInputFrames.
    static constexpr int kMaxInputFrames = 8192;

    // Creates the server on the first call, from whichever threads call first.
    static AudioServer* GetInstance();

    AudioServer(const AudioServer&) = delete;
    AudioServer& operator=(const AudioServer&) = delete;

    // Audio thread. `input`: fInputChannels channels of `frames` samples, non-interleaved (may
    // be null: then the input copy is silence). `output`: at least fOutputChannels channels of
    // `frames` samples, non-interleaved; every channel below fOutputChannels is overwritten.
    void AudioServerCallback(float* input, float* output, unsigned int frames);

    // Registration on an output channel, in order, without duplicates. Callers hold the server
    // lock while the stream runs.
    void AddClient(AudioClient* client, int channel);
    void RemoveClient(AudioClient* client, int channel);

    void EnterLock();
    void ExitLock();

    // Holds the server lock for one scope: a graph change or one excitation, never longer.
    class ScopedLock {
    public:
        ScopedLock() : fServer(AudioServer::GetInstance()) { fServer->EnterLock(); }
        ~ScopedLock() { fServer->ExitLock(); }
        ScopedLock(const ScopedLock&) = delete;
        ScopedLock& operator=(const ScopedLock&) = delete;

    private:
        AudioServer* fServer;
    };

    // Copies `frames` samples of input channel `channel` of the last block; samples past that
    // block's length read as 0.0.
    void GetInput(float* buffer, int frames, int channel);

    void SetFs(float fs) { fFs = fs; }
    // Sample rate in Hz.
    float Fs() const { return fFs; }
    void SetOutputChannels(int channels) { fOutputChannels = channels; }
    int OutputChannels() const { return fOutputChannels; }
    // Off the audio thread: makes room for the input copy of that many channels.
    void SetInputChannels(int channels);
    int InputChannels() const { return fInputChannels; }

    // Block clock in frames since the first block; wraps modulo 2^32, compare only for equality.
    // Audio thread.
    int Time() const { return static_cast<int>(fTime); }

private:
    AudioServer();
    ~AudioServer() = delete;

    // One pass over every output channel for frames <= kMaxBlockFrames; the lock is held.
    void RenderPass(float* output, unsigned int stride, unsigned int frames);
    void CopyInput(const float* input, unsigned int frames);

    static AudioServer* sInstance;

    float* fInputBuffer;
    std::map<int, std::vector<AudioClient*>> fClients;
    float fFs;
    int fInputChannels;
    int fOutputChannels;
    uint32_t fTime; // unsigned so that the wrap after 2^32 frames is defined
    RealtimeMutex fLock;

    // Capacity of fInputBuffer in floats (kMaxInputFrames per input channel) and the frame count
    // of the block it holds.
    unsigned int fInputSize;
    unsigned int fInputFrames;
};
