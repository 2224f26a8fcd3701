// Keyboard, mouse, menu and timer handlers: thin GLUT callbacks over Keys.h. Window thread.
#include "app/window/Controls.h"

#include <GL/glut.h>

#include <iostream>

#include "app/instrument/GLStuff.h"
#include "app/instrument/SettingsRelay.h"
#include "app/window/Keys.h"
#include "app/window/Render.h"
#include "app/window/WindowHooks.h"
#include "tracking/PointerSource.h"

namespace GLStuff {
namespace {

void Quit()
{
    if (gHooks.quit)
        gHooks.quit();
}

enum MenuEntry {
    kMenuQuit = 0,
    kMenuClear = 1,
    kMenuTeapot = 2,
    kMenuCube = 3,
    kMenuTorus = 4,
};

} // namespace

void keyboardFunc(unsigned char key, int /*x*/, int /*y*/)
{
    switch (ApplyKey(key, std::cout)) {
    case WindowRequest::kQuit:
        Quit();
        break;
    case WindowRequest::kEnterFullScreen:
        glutFullScreen();
        break;
    case WindowRequest::kLeaveFullScreen:
        glutReshapeWindow(gLastWidth, gLastHeight);
        break;
    case WindowRequest::kNothing:
        break;
    }
    reshapeFunc(gWidth, gHeight);
    glutPostRedisplay();
}

namespace {

// The left button held: the pointer's fingertip is past the string plane. The right button
// opens the menu and never reaches mouseFunc.
bool sLeftHeld = false;

void MovePointer(int x, int y)
{
    Leap::PointerSource::move(static_cast<double>(x) / gWidth,
                              1.0 - static_cast<double>(y) / gHeight, sLeftHeld);
}

} // namespace

void mouseFunc(int button, int state, int x, int y)
{
    if (button == GLUT_LEFT_BUTTON) {
        sLeftHeld = state == GLUT_DOWN;
        MovePointer(x, y);
    }
    glutPostRedisplay();
}

void motionFunc(int x, int y)
{
    MovePointer(x, y);
}

void timerCallback(int /*value*/)
{
    // A tick can still fire in the pass that closed the window, on the way out of the main loop.
    if (glutGetWindow() == 0) {
        return;
    }
    SettingsRelay::ApplyWaiting(); // settings a replay has met
    if (gHooks.tick)
        gHooks.tick();
    glutPostRedisplay();
    glutTimerFunc(static_cast<unsigned int>(TimerPeriodMs(gRefreshRate)), timerCallback, 0);
}

void createMenu()
{
    const int drawMenu = glutCreateMenu(menu);
    glutAddMenuEntry("Teapot", kMenuTeapot);
    glutAddMenuEntry("Cube", kMenuCube);
    glutAddMenuEntry("Torus", kMenuTorus);

    glutCreateMenu(menu);
    glutAddMenuEntry("Clear", kMenuClear);
    glutAddSubMenu("Draw", drawMenu);
    glutAddMenuEntry("Quit", kMenuQuit);
    glutAttachMenu(GLUT_RIGHT_BUTTON);
}

void menu(int value)
{
    if (value == kMenuQuit) {
        Quit();
    }
    glutPostRedisplay();
}

} // namespace GLStuff
