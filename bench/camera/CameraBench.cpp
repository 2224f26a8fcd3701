// The camera pipeline as the instrument runs it: a video through CameraSource and a Controller,
// at the file's own rate. Reports the process's CPU share (decode, detection, landmarks,
// mapping; nothing else runs) and the latency from capture to onFrame, median and 99th
// percentile. With QUORVEL_BENCH_DUMP=1 also prints every frame's fingertips.
//
//     camera_bench VIDEO.avi
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <time.h>

#include "tracking/Leap.h"
#include "tracking/camera/CameraSource.h"

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

std::int64_t nowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class Measure : public Leap::Listener {
public:
    void onFrame(const Leap::Controller& controller) override
    {
        const Leap::Frame frame = controller.frame();
        std::lock_guard<std::mutex> guard(lock);
        latencies.push_back((nowMicros() - frame.timestamp()) * 1e-3);
        // The controller's thread tracks the image in next() before calling back: its CPU time
        // between two callbacks is one image's tracking, without decoding.
        timespec thread{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &thread);
        const double threadMs = thread.tv_sec * 1e3 + thread.tv_nsec * 1e-6;
        if (lastThreadMs > 0.0)
            trackingMs.push_back(threadMs - lastThreadMs);
        lastThreadMs = threadMs;
        hands += frame.hands().size();
        if (!dump)
            return;
        std::printf("%lld", static_cast<long long>(frame.timestamp()));
        for (const Leap::Hand& hand : frame.hands())
            for (const Leap::Finger& finger : hand.fingers())
                std::printf(" %d:%.0f,%.0f,%.0f", finger.id(), finger.tip().position.x,
                            finger.tip().position.y, finger.tip().position.z);
        std::printf("\n");
    }
    void onDisconnect(const Leap::Controller&) override
    {
        std::lock_guard<std::mutex> guard(lock);
        ended = true;
    }

    std::mutex lock;
    std::vector<double> latencies;  // ms
    std::vector<double> trackingMs; // CPU per tracked image, after the first
    double lastThreadMs = 0.0;
    std::size_t hands = 0;
    bool ended = false;
    bool dump = false;
};

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * (values.size() - 1))];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: camera_bench VIDEO\n");
        return 2;
    }
    Measure measure;
    measure.dump = std::getenv("QUORVEL_BENCH_DUMP") != nullptr;
    // The program's own settings, as its environment gives them.
    Leap::CameraSettings settings;
    settings.modelDir = Leap::cameraModelDir(std::getenv("QUORVEL_MODEL_DIR"),
                                             std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
    if (const char* runtime = std::getenv("QUORVEL_CAMERA_RUNTIME"))
        settings.runtime = std::string(runtime) == "opencv" ? Leap::InferenceRuntime::kOpenCv
                                                            : Leap::InferenceRuntime::kOnnxRuntime;
    auto source = std::make_unique<Leap::CameraSource>(Leap::CameraSource::Kind::kVideo, argv[1],
                                                       false, settings);
    Leap::CameraSource* camera = source.get();
    const double cpuStart = cpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    double cpu = 0.0, wall = 0.0;
    {
        Leap::Controller controller(&measure, std::move(source));
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::lock_guard<std::mutex> guard(measure.lock);
            if (measure.ended)
                break;
        }
        cpu = cpuSeconds() - cpuStart;
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        std::printf("frames %zu, hands per frame %.2f, images dropped %lld\n",
                    measure.latencies.size(),
                    static_cast<double>(measure.hands) / measure.latencies.size(),
                    static_cast<long long>(camera->droppedImages()));
    }
    if (measure.latencies.empty())
        return 1;
    std::printf("CPU %.2f cores over %.1f s (models loaded once, included)\n", cpu / wall, wall);
    // On a loaded machine images are dropped: the cost per tracked image says what all would need.
    const double perFrame = cpu / measure.latencies.size();
    std::printf("CPU %.1f ms per tracked image: %.2f cores at 30 images a second\n", 1e3 * perFrame,
                30.0 * perFrame);
    if (!measure.trackingMs.empty())
        std::printf("tracking CPU per image (controller thread): median %.1f ms, p99 %.1f ms\n",
                    percentile(measure.trackingMs, 0.5), percentile(measure.trackingMs, 0.99));
    std::printf("capture to onFrame: median %.1f ms, p99 %.1f ms\n",
                percentile(measure.latencies, 0.5), percentile(measure.latencies, 0.99));
    return 0;
}
