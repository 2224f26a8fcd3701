// Start-up of the window layer: the tracking controller, the window, its handlers and the main
// loop. Window thread.
#include "app/window/Startup.h"

#include <GL/freeglut.h>

#include <iostream>
#include <memory>
#include <utility>

#include "app/instrument/GLStuff.h"
#include "app/instrument/SettingsRelay.h"
#include "app/window/Controls.h"
#include "app/window/Keys.h"
#include "app/window/Render.h"

namespace GLStuff {

WindowHooks gHooks;

void GLStartup(int argc, const char** argv, WindowHooks hooks)
{
    gHooks = std::move(hooks);
    // This thread alone changes the strings: a replay's settings wait for its redraw tick.
    SettingsRelay::Open();
    // Frames may reach the listener from here on, before the window exists. A quit signal's
    // thread may stop the tracking at any moment after: the program hands out what the window
    // needs while it starts the tracking, so this thread never reads the controller itself.
    ShowCameraFrom(gHooks.startTracking ? gHooks.startTracking() : nullptr);

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

    if (gHooks.stopTracking)
        gHooks.stopTracking();
    ShowCameraFrom(nullptr);
}

} // namespace GLStuff
