// Frame time of the display handler on a private Xvfb display (Mesa's software renderer), for a
// quiet picture (1 string, no fingertips) and a busy one (30 sounding strings, 10 fingertips),
// each with and without a camera's picture (a new 640x480 image every other frame) and two hands on
// it. Set QUORVEL_BENCH_SCREENSHOT=<file.ppm> to also save the busy frame for pixel comparisons.
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/Heap.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/window/Render.h"
#include "src/AudioServer.h"
#include "tracking/camera/CameraView.h"

extern char** environ;

namespace {

constexpr int kWindowWidth = 800;
constexpr int kWindowHeight = 600;
constexpr unsigned int kBlockFrames = 256;
// About one 16 ms frame of audio at 44100 Hz, so every tap hands the frame ~120 pairs.
constexpr int kBlocksPerFrame = 3;
constexpr int kBurstLength = 512;

pid_t sXvfb = -1;

// Starts Xvfb on a free display number and points DISPLAY at it.
bool StartXvfb()
{
    int displayPipe[2];
    if (pipe(displayPipe) != 0) {
        return false;
    }
    const std::string fd = std::to_string(displayPipe[1]);
    const char* argv[] = {"Xvfb",        "-displayfd", fd.c_str(), "-screen", "0",
                          "1024x768x24", "-nolisten",  "tcp",      nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, displayPipe[0]);
    const int spawned =
        posix_spawnp(&sXvfb, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(displayPipe[1]);
    if (spawned != 0) {
        close(displayPipe[0]);
        return false;
    }
    std::string number;
    char character = 0;
    while (read(displayPipe[0], &character, 1) == 1 && character != '\n') {
        number += character;
    }
    close(displayPipe[0]);
    if (number.empty()) {
        return false;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

void StopXvfb()
{
    if (sXvfb > 0) {
        kill(sXvfb, SIGTERM);
        waitpid(sXvfb, nullptr, 0);
        sXvfb = -1;
    }
}

void SetStringCount(int count)
{
    Harp* harp = Harp::GetInstance();
    while (harp->GetNumStrings() < count) {
        harp->AddString();
    }
    while (harp->GetNumStrings() > count) {
        harp->RemoveString();
    }
}

void PluckAllStrings()
{
    // Each pluck prints its note; keep the benchmark's report readable.
    std::ostringstream noteLines;
    std::streambuf* console = std::cout.rdbuf(noteLines.rdbuf());
    Harp* harp = Harp::GetInstance();
    for (int string = 0; string < harp->GetNumStrings(); ++string) {
        float burst[kBurstLength];
        for (int k = 0; k < kBurstLength; ++k) {
            burst[k] = 1.0f - std::fabs(2.0f * k / kBurstLength - 1.0f);
        }
        harp->ExciteString(string, 44 + string, 127, burst, kBurstLength);
    }
    std::cout.rdbuf(console);
}

// Renders one frame's worth of audio, as the audio thread would between two redraws.
void FeedAudio()
{
    static float input[kBlockFrames];
    static float output[2 * kBlockFrames];
    for (int block = 0; block < kBlocksPerFrame; ++block) {
        AudioServer::GetInstance()->AudioServerCallback(input, output, kBlockFrames);
    }
}

// Fingertips spread across the window, every other one beyond the string plane.
void SetFingertips(int count)
{
    std::lock_guard<std::mutex> guard(GLStuff::gLock);
    GLStuff::gFingers.clear();
    for (int id = 0; id < count; ++id) {
        GLStuff::Finger finger;
        finger.SetX(0.05f + 0.09f * id);
        finger.SetY(0.3f + 0.04f * id);
        finger.fNearness = id % 2 == 0 ? 1.2f : 0.6f;
        finger.fStale = false;
        GLStuff::gFingers.emplace(id, std::move(finger));
    }
}

// A new camera image, as the camera's thread hands one over, with two open hands on it.
void PublishCameraImage(Leap::CameraView& view, int frame)
{
    Leap::CameraView::Picture& picture = view.back();
    picture.width = 640;
    picture.height = 480;
    picture.bgra.resize(640 * 480 * 4);
    for (std::size_t byte = 0; byte < picture.bgra.size(); ++byte)
        picture.bgra[byte] = static_cast<unsigned char>((byte / 7 + frame) & 0xff);
    picture.mirrored = true;
    picture.handCount = 2;
    for (int hand = 0; hand < 2; ++hand)
        for (int point = 0; point < Leap::CameraView::kLandmarks; ++point)
            picture.hands[hand][point] = {0.25f + 0.4f * hand + 0.03f * (point / 4),
                                          0.5f - 0.02f * (point % 4) - 0.05f * (point / 4)};
    view.publish();
}

void SetScene(int strings, int fingertips)
{
    SetStringCount(strings);
    SetFingertips(fingertips);
    PluckAllStrings();
    FeedAudio();
}

void BM_Frame(benchmark::State& state)
{
    SetScene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    auto camera = state.range(2) != 0 ? std::make_shared<Leap::CameraView>() : nullptr;
    GLStuff::ShowCameraFrom(camera);
    int frame = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A 30 fps camera against 60 redraws a second: a new image every other frame.
        if (camera && frame % 2 == 0)
            PublishCameraImage(*camera, frame);
        // Keep the strings sounding: a string rings for well under a second.
        if (++frame % 30 == 0) {
            PluckAllStrings();
        }
        FeedAudio();
        state.ResumeTiming();
        GLStuff::displayFunc();
        glFinish(); // count the software rasteriser's work, not just the queued commands
    }
    GLStuff::ShowCameraFrom(nullptr);
}
BENCHMARK(BM_Frame)
    ->ArgNames({"strings", "fingertips", "camera"})
    ->Args({1, 0, 0})
    ->Args({30, 10, 0})
    ->Args({30, 10, 1})
    ->Args({30, 0, 0})
    ->Args({1, 10, 0})
    ->Args({1, 0, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The busy frame as a binary PPM, read back from the front buffer after the swap. The second
// frame is saved: its strings are drawn after the first frame's spheres, whose last normal lights
// them.
bool SaveBusyFrame(const char* path)
{
    SetScene(30, 10);
    GLStuff::displayFunc();
    FeedAudio();
    GLStuff::displayFunc();
    glFinish();
    std::vector<unsigned char> pixels(kWindowWidth * kWindowHeight * 3);
    glReadBuffer(GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    std::fprintf(file, "P6\n%d %d\n255\n", kWindowWidth, kWindowHeight);
    for (int row = kWindowHeight - 1; row >= 0; --row) {
        std::fwrite(&pixels[row * kWindowWidth * 3], 1, kWindowWidth * 3, file);
    }
    std::fclose(file);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    KeepFreedHeapMapped(); // as the program does
    if (!StartXvfb()) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    int glutArgc = 1;
    glutInit(&glutArgc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(kWindowWidth, kWindowHeight);
    glutInitWindowPosition(100, 100);
    glutCreateWindow("Quorvel");
    glutDisplayFunc([] {});
    glutReshapeFunc([](int, int) {});
    for (int pass = 0; pass < 20; ++pass) {
        glutMainLoopEvent();
        usleep(5000);
    }
    GLStuff::gWidth = kWindowWidth;
    GLStuff::gHeight = kWindowHeight;
    GLStuff::initialize_graphics();
    GLStuff::reshapeFunc(kWindowWidth, kWindowHeight);
    std::printf("GL renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    int status = 0;
    if (const char* screenshot = std::getenv("QUORVEL_BENCH_SCREENSHOT")) {
        status = SaveBusyFrame(screenshot) ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    glutExit();
    StopXvfb();
    return status;
}
