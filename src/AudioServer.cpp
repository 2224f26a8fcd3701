#include "src/AudioServer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "src/RealtimeSection.h"

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define QUORVEL_HAVE_MXCSR 1
#endif

namespace {

// Flush-to-zero and denormals-are-zero for the calling thread while the object lives; the
// thread's previous mode comes back at the end. A decaying string line otherwise settles into
// subnormal values that cost several times more per sample.
class FlushDenormals {
public:
#ifdef QUORVEL_HAVE_MXCSR
    FlushDenormals() : fSaved(_mm_getcsr())
    {
        _mm_setcsr(fSaved | kFlushToZero | kDenormalsAreZero);
    }
    ~FlushDenormals()
    {
        _mm_setcsr(fSaved);
    }

private:
    static constexpr unsigned int kFlushToZero = 0x8000;
    static constexpr unsigned int kDenormalsAreZero = 0x0040;
    unsigned int fSaved;
#endif
};

// Runs of 8 samples, which the compiler vectorises at -O2.
void AddInto(float* __restrict out, const float* __restrict block, unsigned int frames)
{
    constexpr unsigned int kRun = 8;
    unsigned int k = 0;
    for (; k + kRun <= frames; k += kRun)
        for (unsigned int i = 0; i < kRun; ++i)
            out[k + i] += block[k + i];
    for (; k < frames; ++k)
        out[k] += block[k];
}

} // namespace

// The cache is zeroed here so that its pages are in place before the audio thread first
// touches them: a page fault in a pass can wait for another thread's memory mapping.
AudioClient::AudioClient()
    : fBufferSize(0), fBuffer(new float[AudioServer::kMaxBlockFrames]()), fLastTime(0),
      fBufferCapacity(AudioServer::kMaxBlockFrames)
{
}

AudioClient::~AudioClient()
{
    delete[] fBuffer;
}

void AudioClient::Process(float* buffer, int frames)
{
    if (frames <= 0)
        return;
    AudioServer* server = AudioServer::GetInstance();
    // The size test makes the first pull render although stamp and clock both start at 0.
    if (fBufferSize == 0 || fLastTime != server->Time()) {
        // Only a pull longer than any server pass, made outside one, can need more room.
        if (frames > fBufferCapacity) {
            delete[] fBuffer;
            fBuffer = nullptr;
            fBufferSize = fBufferCapacity = 0;
            fBuffer = new float[frames];
            fBufferCapacity = frames;
        }
        fBufferSize = frames;
        std::fill(fBuffer, fBuffer + frames, 0.0f);
        Render(fBuffer, frames);
        fLastTime = server->Time();
    }
    // A later pull in the same block with more frames than the first gets silence past the cache.
    const int cached = std::min(frames, fBufferSize);
    std::copy(fBuffer, fBuffer + cached, buffer);
    std::fill(buffer + cached, buffer + frames, 0.0f);
}

AudioServer* AudioServer::sInstance = nullptr;

AudioServer* AudioServer::GetInstance()
{
    static AudioServer* const instance = (sInstance = new AudioServer());
    return instance;
}

// The input copy is sized and zeroed here, off the audio thread, for the longest block.
AudioServer::AudioServer()
    : fInputBuffer(new float[kMaxInputFrames]()), fFs(44100.0f), fInputChannels(1),
      fOutputChannels(1), fTime(0), fInputSize(kMaxInputFrames), fInputFrames(0)
{
    realtime::InitChecks();
}

void AudioServer::SetInputChannels(int channels)
{
    const unsigned int size = static_cast<unsigned int>(std::max(channels, 1)) * kMaxInputFrames;
    float* grown = size > fInputSize ? new float[size]() : nullptr;
    ScopedLock hold;
    if (grown) {
        std::swap(fInputBuffer, grown);
        fInputSize = size;
        fInputFrames = 0;
    }
    fInputChannels = channels;
    delete[] grown;
}

void AudioServer::AudioServerCallback(float* input, float* output, unsigned int frames)
{
    realtime::Section section;
    realtime::AllowedLockGuard<RealtimeMutex> hold(fLock, realtime::AllowedLock::kServer);
    FlushDenormals flush;

    CopyInput(input, frames);

    // Blocks longer than the scratch bound become consecutive full passes, clock included.
    unsigned int done = 0;
    do {
        const unsigned int chunk =
            std::min(frames - done, static_cast<unsigned int>(kMaxBlockFrames));
        RenderPass(output + done, frames, chunk);
        done += chunk;
    } while (done < frames);
}

void AudioServer::CopyInput(const float* input, unsigned int frames)
{
    const unsigned int channels =
        fInputChannels > 0 ? static_cast<unsigned int>(fInputChannels) : 0;
    const unsigned int kept = std::min(frames, static_cast<unsigned int>(kMaxInputFrames));
    fInputFrames = kept;
    for (unsigned int channel = 0; channel < channels; ++channel) {
        float* to = fInputBuffer + static_cast<size_t>(channel) * kept;
        if (input != nullptr) {
            const float* from = input + static_cast<size_t>(channel) * frames;
            std::copy(from, from + kept, to);
        } else {
            std::fill(to, to + kept, 0.0f);
        }
    }
}

void AudioServer::RenderPass(float* output, unsigned int stride, unsigned int frames)
{
    float scratch[kMaxBlockFrames];
    const int count = static_cast<int>(frames);
    for (int channel = 0; channel < fOutputChannels; ++channel) {
        float* out = output + static_cast<size_t>(channel) * stride;
        std::fill(out, out + frames, 0.0f);
        auto entry = fClients.find(channel);
        if (entry == fClients.end())
            continue;
        const std::vector<AudioClient*>& clients = entry->second;
        assert(!clients.empty() && "clients");
        for (AudioClient* client : clients) {
            std::fill(scratch, scratch + frames, 0.0f);
            client->Process(scratch, count);
            AddInto(out, scratch, frames);
        }
    }
    fTime += frames;
}

void AudioServer::AddClient(AudioClient* client, int channel)
{
    std::vector<AudioClient*>& clients = fClients[channel];
    if (std::find(clients.begin(), clients.end(), client) == clients.end())
        clients.push_back(client);
}

void AudioServer::RemoveClient(AudioClient* client, int channel)
{
    auto entry = fClients.find(channel);
    if (entry == fClients.end())
        return;
    std::vector<AudioClient*>& clients = entry->second;
    auto found = std::find(clients.begin(), clients.end(), client);
    if (found != clients.end())
        clients.erase(found);
    if (clients.empty())
        fClients.erase(entry);
}

void AudioServer::EnterLock()
{
    fLock.lock();
}

void AudioServer::ExitLock()
{
    fLock.unlock();
}

void AudioServer::GetInput(float* buffer, int frames, int channel)
{
    assert(channel < fInputChannels && "channel < fInputChannels");
    if (frames <= 0)
        return;
    const unsigned int available =
        (fInputBuffer != nullptr && channel >= 0 && channel < fInputChannels) ? fInputFrames : 0;
    const unsigned int copied = std::min(static_cast<unsigned int>(frames), available);
    const float* from = fInputBuffer + static_cast<size_t>(channel) * fInputFrames;
    std::copy(from, from + copied, buffer);
    std::fill(buffer + copied, buffer + frames, 0.0f);
}
