#pragma once

#include <map>
#include <mutex>
#include <string>

// The window and tracking layer of the instrument: shared state, fingertip tracks, scales, the
// pluck detector and the window handlers. Positions are in normalised window units: x 0 at the
// left edge to 1 at the right, y 0 at the bottom to 1 at the top.
namespace GLStuff {

// A drawable item placed in normalised window units. Never deleted through a GLDisplay pointer.
class GLDisplay {
public:
    GLDisplay(float x, float y, float scaleX, float scaleY);
    GLDisplay(GLDisplay&&) = default;
    GLDisplay& operator=(GLDisplay&&) = default;

    virtual void Draw() = 0;

    void SetX(float x) { fX = x; }
    void SetY(float y) { fY = y; }

    // Places the item (translate, scale, colour) and calls Draw. Window thread, GL context current.
    void Display();

    float fX;
    float fY;
    float fScaleX;
    float fScaleY;
    float fZ;
    float fColor[4]; // red, green, blue, alpha
};

// One fingertip's track. Fields written on the tracking thread and read on the window thread,
// both under gLock.
class Finger : public GLDisplay {
public:
    Finger();
    Finger(Finger&&) = default;
    Finger& operator=(Finger&&) = default;

    void Draw() override;

    bool fStale;     // not yet seen in the frame being processed
    float fNearness; // 1 - z/300 for tracker depth z in mm: 0 at z = 300, 1 on the string plane
};

// Fingertip tracks keyed by the tracker's finger id; guarded by gLock.
extern std::map<int, Finger> gFingers;
extern std::mutex gLock;

// Scale tables: semitone offsets above the first note of an octave.
extern const int gPentatonicMajor[5];
extern const int gPentatonicMinor[5];
extern const int gDiatonic[7];
extern const int gWholeTone[6];

// The current scale. Written only through SetScale (window thread); the window thread may read
// them directly, any other thread reads the pair through CurrentScale.
extern const int* gScale;
extern int gScaleIntervals;

struct ScaleChoice {
    const int* table;
    int count;
};

// Publishes a scale table and its note count together, so no reader sees one without the other.
void SetScale(const int* table, int count);
// The current table and its count, read as one unit. Any thread.
ScaleChoice CurrentScale();

// Pluck detector. Tracking thread, gLock not held. x, y: the fingertip's new position and
// lastX, lastY its previous one (normalised window units); z: tracker depth in mm, negative
// beyond the string plane.
void airMotion(float x, float y, float z, float lastX, float lastY);

// Window-layer globals; window thread only.
extern int gWidth;     // window width in pixels
extern int gHeight;    // window height in pixels
extern int gLastWidth; // size to return to when leaving full screen
extern int gLastHeight;
extern float g_light0_pos[4];
extern bool gFullscreen;
extern float gFrameRate;   // redraws per second
extern float gRefreshRate; // milliseconds between redraws, 1000 / gFrameRate
extern bool gShowHUD;

// Start-up: opens the window and runs the main loop; returns only when the loop does.
void GLStartup(int argc, const char** argv);

// Window handlers (window thread).
void initialize_graphics();
void reshapeFunc(int width, int height);
void displayFunc();
void go2d();
void go3d();
void DrawString(int x, int y, std::string& text, void* font, float scale);
void keyboardFunc(unsigned char key, int x, int y);
void mouseFunc(int button, int state, int x, int y);
void motionFunc(int x, int y);
void timerCallback(int value);
void createMenu();
void menu(int value);

} // namespace GLStuff
