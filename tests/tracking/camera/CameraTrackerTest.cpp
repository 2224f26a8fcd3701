// The camera pipeline on videos of a real hand photo moved along known paths (made by
// makevideos.py; $QUORVEL_CAMERA_VIDEOS names their directory), with the real models.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/videoio.hpp>

#include "tracking/camera/CameraSource.h"
#include "tracking/camera/CameraTracker.h"
#include "tracking/camera/LightMeter.h"

namespace {

struct Truth {
    double seconds, x, y, scale;
};

// Where scripts/models.sh put the hand models, as the program finds them.
std::string modelDir()
{
    return Leap::cameraModelDir(std::getenv("QUORVEL_MODEL_DIR"), std::getenv("XDG_CACHE_HOME"),
                                std::getenv("HOME"));
}

// The camera's settings the program would pass.
Leap::CameraSettings cameraSettings()
{
    Leap::CameraSettings settings;
    settings.modelDir = modelDir();
    return settings;
}

std::string videoPath(const std::string& name)
{
    const char* dir = std::getenv("QUORVEL_CAMERA_VIDEOS");
    return std::string(dir ? dir : ".") + "/" + name;
}

std::vector<Truth> readTruth(const std::string& name)
{
    std::vector<Truth> truth;
    std::ifstream file(videoPath(name));
    std::string line;
    while (std::getline(file, line)) {
        Truth t{};
        char comma;
        std::istringstream(line) >> t.seconds >> comma >> t.x >> comma >> t.y >> comma >> t.scale;
        truth.push_back(t);
    }
    return truth;
}

// Millimetres back to image pixels, through the mirror.
cv::Point2d toPixels(const Leap::Vector& tip, cv::Size size)
{
    using Space = Leap::HandSpace;
    const double across = Space::kLeft + (tip.x + 200.0) / 400.0 * (Space::kRight - Space::kLeft);
    const double down = Space::kTop + (350.0 - tip.y) / 200.0 * (Space::kBottom - Space::kTop);
    return {(1.0 - across) * size.width, down * size.height};
}

// The next event but the camera's status events; false at once when the models are missing,
// as then no event ever comes.
bool nextEvent(Leap::CameraSource& source, Leap::SourceEvent& event)
{
    while (source.next(event)) {
        if (event.kind != Leap::SourceEvent::kStatus)
            return true;
        if (source.cameraView()->status().state == Leap::CameraView::State::kNoModels) {
            ADD_FAILURE() << "no hand models in " << modelDir();
            return false;
        }
    }
    return false;
}

class CameraTracker : public testing::TestWithParam<Leap::InferenceRuntime> {};

// Both runtimes, through the whole tracker: ONNX Runtime runs its own copies of the models
// through a function table declared by hand, so a wrong entry or model shows here.
INSTANTIATE_TEST_SUITE_P(Runtimes, CameraTracker,
                         testing::Values(Leap::InferenceRuntime::kOnnxRuntime,
                                         Leap::InferenceRuntime::kOpenCv),
                         [](const auto& info) {
                             return info.param == Leap::InferenceRuntime::kOpenCv ? "OpenCv"
                                                                                  : "OnnxRuntime";
                         });

TEST_P(CameraTracker, FollowsTheIndexFingertipAndAGrowingHandCrossesThePlane)
{
    const std::vector<Truth> truth = readTruth("follow.csv");
    cv::VideoCapture video(videoPath("follow.avi"));
    ASSERT_TRUE(video.isOpened()) << videoPath("follow.avi");
    ASSERT_GT(truth.size(), 200u);
    Leap::CameraTracker tracker(modelDir(), "lite", true, GetParam());

    double errorSum = 0.0, restingZ = 0.0, leaningZ = 0.0;
    int tracked = 0, resting = 0, leaning = 0;
    cv::Mat image, last;
    for (const Truth& t : truth) {
        ASSERT_TRUE(video.read(image));
        image.copyTo(last);
        const Leap::Frame frame =
            tracker.process(image, static_cast<std::int64_t>(t.seconds * 1e6));
        if (frame.hands().size() != 1)
            continue;
        const Leap::Hand& hand = frame.hands()[0];
        ASSERT_EQ(hand.fingers().size(), 5u);
        const Leap::Finger& index = hand.fingers()[1];
        EXPECT_EQ(index.id(), hand.id() * 10 + 1);
        const cv::Point2d seen = toPixels(index.tip().position, image.size());
        errorSum += std::hypot(seen.x - t.x, seen.y - t.y);
        ++tracked;
        if (t.seconds > 1.3 && t.seconds < 1.5) {
            restingZ += index.tip().position.z;
            ++resting;
        }
        if (t.seconds > truth.back().seconds - 0.4) {
            leaningZ += index.tip().position.z;
            ++leaning;
        }
    }
    std::printf("index fingertip: mean error %.2f px in %d of %zu images\n", errorSum / tracked,
                tracked, truth.size());
    EXPECT_GE(tracked, static_cast<int>(truth.size()) - 3);
    EXPECT_LE(errorSum / tracked, 6.0);
    EXPECT_TRUE(tracker.space().isCalibrated());
    ASSERT_GT(resting, 0);
    ASSERT_GT(leaning, 0);
    // Resting: behind the plane by the calibration's 100 mm; half as large again: well past it.
    EXPECT_NEAR(restingZ / resting, Leap::HandSpace::kPlaneOffsetMm, 20.0);
    EXPECT_LT(leaningZ / leaning, -30.0);

    // Calibrated again on the leaning hand held still, it rests behind the plane once more.
    tracker.recalibrate();
    double seconds = truth.back().seconds;
    std::vector<double> heights;
    for (int step = 0; step < 45; ++step) {
        seconds += 1.0 / 30.0;
        const Leap::Frame frame = tracker.process(last, static_cast<std::int64_t>(seconds * 1e6));
        ASSERT_EQ(frame.hands().size(), 1u);
        heights.push_back(frame.hands()[0].fingers()[1].tip().position.z);
    }
    EXPECT_GT(heights.front(), 50.0); // at once hovering behind the plane, uncalibrated
    EXPECT_TRUE(tracker.space().isCalibrated());
    EXPECT_NEAR(heights.back(), Leap::HandSpace::kPlaneOffsetMm, 20.0);
}

// A real hand image is light enough as it is and darkened to where the models still find the
// hand; darker than where they stopped finding it, too dark, until it is as light again as where
// they found it, and a black or grey image is measured without harm.
TEST(LightMeter, SaysTooDarkWhereTheModelsStopFindingAHand)
{
    cv::VideoCapture video(videoPath("follow.avi"));
    cv::Mat image;
    ASSERT_TRUE(video.read(image));
    auto darkened = [&](double factor) {
        cv::Mat dark;
        image.convertTo(dark, -1, factor, 0.0);
        return dark;
    };
    Leap::LightMeter meter;
    EXPECT_FALSE(meter.tooDark(image));
    EXPECT_FALSE(meter.tooDark(darkened(0.18)));
    EXPECT_TRUE(meter.tooDark(darkened(0.12)));
    EXPECT_TRUE(meter.tooDark(darkened(0.165))); // not yet as light as where hands were found
    EXPECT_FALSE(meter.tooDark(darkened(0.19)));
    EXPECT_TRUE(meter.tooDark(cv::Mat::zeros(480, 640, CV_8UC3)));
    EXPECT_FALSE(Leap::LightMeter().tooDark(cv::Mat(480, 640, CV_8UC1, cv::Scalar(128))));
    EXPECT_EQ(Leap::LightMeter::playingAreaLuma(cv::Mat()), 0.0);
}

TEST(CameraSource, PlaysAVideoThroughTheTrackerThenDisconnects)
{
    Leap::CameraSource source(Leap::CameraSource::Kind::kVideo, videoPath("follow.avi"), false,
                              cameraSettings());
    Leap::SourceEvent event;
    ASSERT_TRUE(nextEvent(source, event));
    EXPECT_EQ(event.kind, Leap::SourceEvent::kConnect);
    int frames = 0, withHands = 0;
    std::int64_t last = 0;
    while (nextEvent(source, event) && event.kind == Leap::SourceEvent::kFrame) {
        ++frames;
        EXPECT_GT(event.frame.timestamp(), last); // capture times
        last = event.frame.timestamp();
        withHands += event.frame.hands().empty() ? 0 : 1;
    }
    EXPECT_EQ(event.kind, Leap::SourceEvent::kDisconnect);
    // Stale images are dropped (how many depends on the machine's load); the rest are tracked.
    EXPECT_GT(frames, 0);
    EXPECT_GT(withHands, frames / 2);
}

// A camera that goes away (here a stream that ends and whose file is gone for a while) is said
// lost, tried again every second in silence, and found again soon after it returns.
TEST(CameraSource, ALostCameraIsRetriedEverySecondUntilItReturns)
{
    const std::filesystem::path stream =
        std::filesystem::temp_directory_path() / ("quorvel-stream-" + std::to_string(getpid()));
    const std::filesystem::path away = stream.string() + ".away";
    std::filesystem::copy_file(videoPath("follow.avi"), stream,
                               std::filesystem::copy_options::overwrite_existing);
    Leap::CameraSource source(Leap::CameraSource::Kind::kCamera, stream.string(), false,
                              cameraSettings());
    Leap::SourceEvent event;
    ASSERT_TRUE(nextEvent(source, event));
    EXPECT_EQ(event.kind, Leap::SourceEvent::kConnect);
    int frames = 0;
    while (nextEvent(source, event) && event.kind == Leap::SourceEvent::kFrame)
        ++frames;
    ASSERT_EQ(event.kind, Leap::SourceEvent::kDisconnect);
    EXPECT_GT(frames, 0);

    std::filesystem::rename(stream, away);
    const auto lost = std::chrono::steady_clock::now();
    std::thread plugIn([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        std::filesystem::rename(away, stream);
    });
    ASSERT_TRUE(nextEvent(source, event));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - lost).count();
    plugIn.join();
    EXPECT_EQ(event.kind, Leap::SourceEvent::kConnect);
    EXPECT_GE(seconds, 2.5);
    EXPECT_LT(seconds, 4.5);
    ASSERT_TRUE(nextEvent(source, event));
    EXPECT_EQ(event.kind, Leap::SourceEvent::kFrame);
    source.stop();
    std::filesystem::remove(stream);
}

// A short stream written whole into a named pipe, its writer gone before the camera looks, is
// played rather than waited past (a stop ends the wait after 20 s).
TEST(CameraSource, PlaysAShortStreamWhoseWriterHasGone)
{
    const std::string pipe = testing::TempDir() + "/quorvel-short-" + std::to_string(getpid());
    cv::VideoWriter video(pipe + ".avi", cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30, {64, 48});
    for (int image = 0; image < 10; ++image)
        video.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(image * 20, 80, 120)));
    video.release();
    std::ifstream file(pipe + ".avi", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::thread cat([&] { // once the camera waits on the pipe
        int writer = -1;
        for (int tries = 0; writer < 0 && tries < 2000; ++tries, usleep(10000))
            writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        EXPECT_EQ(::write(writer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(writer);
    });
    Leap::CameraSource source(Leap::CameraSource::Kind::kVideo, pipe, false, cameraSettings());
    std::promise<void> finished;
    std::thread watchdog([&source, done = finished.get_future()] {
        if (done.wait_for(std::chrono::seconds(20)) == std::future_status::timeout)
            source.stop();
    });
    Leap::SourceEvent event;
    int frames = nextEvent(source, event) && event.kind == Leap::SourceEvent::kConnect ? 0 : -1;
    while (frames >= 0 && nextEvent(source, event) && event.kind == Leap::SourceEvent::kFrame)
        ++frames;
    finished.set_value();
    watchdog.join();
    cat.join();
    std::filesystem::remove(pipe);
    std::filesystem::remove(pipe + ".avi");
    EXPECT_GT(frames, 0);
    EXPECT_EQ(event.kind, Leap::SourceEvent::kDisconnect);
}

} // namespace
