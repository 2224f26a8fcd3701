// Start-up of the window layer: the window globals, the tracking controller, the window, its
// handlers and the main loop. Window thread.
#include <GL/freeglut.h>

#include <cstdlib>
#include <iostream>
#include <memory>

#include "GLStuff.h"
#include "HarpListener.h"
#include "Keys.h"
#include "Leap.h"
#include "MidiOut.h"
#include "PerformanceSettings.h"
#include "SettingsRelay.h"
#include "Shutdown.h"

namespace GLStuff {

int gWidth = 800;
int gHeight = 600;
int gLastWidth = 800;
int gLastHeight = 600;
float g_light0_pos[4] = {0.3f, 0.24f, -1.0f, 2.0f};
bool gFullscreen = false;
float gFrameRate = 60.0f;
float gRefreshRate = 1000.0f / 60.0f;
bool gShowHUD = true;

void GLStartup(int argc, const char** argv)
{
    // Before the first pluck can come; reports on standard error only.
    MidiOut::GetInstance()->Start(std::getenv("QUORVEL_MIDI"), std::cerr);

    // Frames may reach the listener from here on, before the window exists.
    auto controller = std::make_unique<Leap::Controller>(&listener);
    RegisterTracking(&controller);
    PerformanceSettings::RecordTo(controller.get());

    std::cout << "Hit q to quit.\n" << std::flush;

    gWidth = 800;
    gHeight = 600;
    gLastWidth = gWidth;
    gLastHeight = gHeight;
    g_light0_pos[0] = 0.3f;
    g_light0_pos[1] = 0.24f;
    g_light0_pos[2] = -1.0f;
    g_light0_pos[3] = 2.0f;
    gFullscreen = false;
    gFrameRate = 60.0f;
    gRefreshRate = 1000.0f / gFrameRate;
    gShowHUD = true;

    glutInit(&argc, const_cast<char**>(argv));
    // Closing the window returns from the main loop, so the threads stop in order below instead
    // of freeglut's exit under them.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(gWidth, gHeight);
    glutInitWindowPosition(100, 100);
    glutCreateWindow("Quorvel");

    glutDisplayFunc(displayFunc);
    glutReshapeFunc(reshapeFunc);
    glutKeyboardFunc(keyboardFunc);
    glutMouseFunc(mouseFunc);
    glutPassiveMotionFunc(motionFunc);
    glutMotionFunc(motionFunc);
    glutTimerFunc(static_cast<unsigned int>(TimerPeriodMs(gRefreshRate)), timerCallback, 0);
    createMenu();
    if (gFullscreen) {
        glutFullScreen();
    }
    initialize_graphics();
    glutMainLoop();

    RegisterTracking(nullptr);
    PerformanceSettings::RecordTo(nullptr);
    SettingsRelay::Close();
    controller.reset();
}

} // namespace GLStuff
