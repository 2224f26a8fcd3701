// Records what JACK clients play, with the time each block is heard: a JACK client with two
// input ports that keeps every block in memory and, on SIGINT or SIGTERM, writes
//   PREFIX.raw    float32 samples, channel 1 of each block then channel 2 (non-interleaved)
//   PREFIX.times  one line per block: "FRAMES HEARD_NS", the monotonic clock time (ns) at which
//                 the block's first frame reaches the output: when the block was handed on
//                 (this client runs after the ones it listens to) plus the playback latency the
//                 server reports for system:playback_1. The server's own cycle times are not
//                 used: on the dummy backend of a loaded machine they stray by hundreds of ms.
// Prints "ready" once its ports exist; connect them with jack_connect.
//
//     latency_jack_listen PREFIX
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kMaxBlocks = 1 << 16;
constexpr std::size_t kMaxFrames = 1 << 24; // per channel, about 6 minutes at 44.1 kHz

jack_client_t* gClient = nullptr;
jack_port_t* gPorts[2] = {};
std::vector<float> gSamples[2];
std::vector<long long> gHeardNs;
std::vector<unsigned> gFrames;
std::atomic<std::size_t> gBlocks{0};
std::size_t gFramesUsed = 0;
jack_nframes_t gLatencyFrames = 0;
volatile std::sig_atomic_t gStop = 0;

long long MonotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

int Process(jack_nframes_t frames, void*)
{
    const long long now = MonotonicNs();
    const std::size_t block = gBlocks.load(std::memory_order_relaxed);
    if (block >= kMaxBlocks || gFramesUsed + frames > kMaxFrames) {
        return 0;
    }
    for (int channel = 0; channel < 2; ++channel) {
        const float* in = static_cast<float*>(jack_port_get_buffer(gPorts[channel], frames));
        std::copy(in, in + frames, gSamples[channel].begin() + gFramesUsed);
    }
    const double rate = jack_get_sample_rate(gClient);
    gHeardNs[block] = now + static_cast<long long>(gLatencyFrames / rate * 1e9);
    gFrames[block] = frames;
    gFramesUsed += frames;
    gBlocks.store(block + 1, std::memory_order_release);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: latency_jack_listen PREFIX\n");
        return 2;
    }
    for (auto& samples : gSamples) {
        samples.assign(kMaxFrames, 0.0f);
    }
    gHeardNs.assign(kMaxBlocks, 0);
    gFrames.assign(kMaxBlocks, 0);
    gClient = jack_client_open("latency_listen", JackNoStartServer, nullptr);
    if (gClient == nullptr) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    if (jack_port_t* playback = jack_port_by_name(gClient, "system:playback_1")) {
        jack_latency_range_t range;
        jack_port_get_latency_range(playback, JackPlaybackLatency, &range);
        gLatencyFrames = range.max;
    }
    gPorts[0] = jack_port_register(gClient, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    gPorts[1] = jack_port_register(gClient, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(gClient, Process, nullptr);
    std::signal(SIGINT, [](int) { gStop = 1; });
    std::signal(SIGTERM, [](int) { gStop = 1; });
    if (jack_activate(gClient) != 0) {
        std::fprintf(stderr, "cannot activate\n");
        return 1;
    }
    std::printf("ready: playback latency %u frames\n", gLatencyFrames);
    std::fflush(stdout);
    while (!gStop) {
        pause();
    }
    jack_deactivate(gClient);
    const std::size_t blocks = gBlocks.load(std::memory_order_acquire);
    const std::string prefix = argv[1];
    std::FILE* raw = std::fopen((prefix + ".raw").c_str(), "wb");
    std::FILE* times = std::fopen((prefix + ".times").c_str(), "w");
    std::size_t start = 0;
    for (std::size_t block = 0; block < blocks; ++block) {
        for (auto& samples : gSamples) {
            std::fwrite(samples.data() + start, sizeof(float), gFrames[block], raw);
        }
        std::fprintf(times, "%u %lld\n", gFrames[block], gHeardNs[block]);
        start += gFrames[block];
    }
    std::fclose(raw);
    std::fclose(times);
    jack_client_close(gClient);
    return 0;
}
