// Scene rendering: every GL call of the picture lives here. Window thread, GL context current.
#include "Render.h"

#include <GL/glut.h>

#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "ErrorLines.h"
#include "GLStuff.h"
#include "Harp.h"
#include "Pluck.h"
#include "SampleAccumulator.h"
#include "Scene.h"

namespace GLStuff {
namespace {

// Set once before the window opens; read on the window thread.
const ErrorLines* gErrors = nullptr;

void SetColor(const Color& color)
{
    glColor4f(color.red, color.green, color.blue, color.alpha);
}

void DrawStrokeText(int x, int y, const std::string& text, float scale, const Color& color)
{
    go2d();
    glTranslatef(static_cast<float>(x), static_cast<float>(y), 0.0f);
    glScalef(scale, scale, 1.0f);
    SetColor(color);
    for (const char character : text) {
        glutStrokeCharacter(GLUT_STROKE_ROMAN, character);
    }
    go3d();
}

// One string's line: the display pairs collected since the last frame, swinging around its rest
// position and stretched over the window's height.
void DrawStringWaveform(int stringIndex, float spacing, SampleAccumulator* tap)
{
    const std::deque<std::pair<float, float>> pairs = tap->Get();
    const float restX = StringRestX(stringIndex, spacing);
    const double swing = WaveformSwing(spacing);
    const int vertexCount = static_cast<int>(pairs.size());
    glBegin(GL_LINE_LOOP);
    for (int vertex = 0; vertex < vertexCount; ++vertex) {
        glVertex2f(WaveformX(restX, PairPeak(pairs[vertex]), swing),
                   WaveformY(vertex, vertexCount));
    }
    glEnd();
}

} // namespace

void initialize_graphics()
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glFrontFace(GL_CCW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glLineWidth(4.0f);
    glEnable(GL_LIGHTING);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHT0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, g_light0_pos);
}

void reshapeFunc(int width, int height)
{
    gWidth = width;
    gHeight = height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 1.0, 0.0, 1.0, 1.0, -1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void displayFunc()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLineWidth(2.0f);

    Harp* harp = Harp::GetInstance();
    const int numStrings = harp->GetNumStrings();
    const float spacing = StringSpacing(numStrings);
    std::vector<SampleAccumulator*>& taps = harp->GetBuffers();
    for (int stringIndex = 0; stringIndex < numStrings; ++stringIndex) {
        SetColor(StringColor(stringIndex, gScaleIntervals));
        DrawStringWaveform(stringIndex, spacing, taps[stringIndex]);
    }

    {
        std::lock_guard<std::mutex> guard(gLock);
        for (auto& entry : gFingers) {
            entry.second.Display();
        }
    }

    if (gShowHUD) {
        glLineWidth(2.0f);
        std::string banner = BannerLine(CurrentScale().key, Touch());
        const PixelPoint origin = BannerOrigin(gWidth, gHeight);
        DrawString(origin.x, origin.y, banner, GLUT_BITMAP_TIMES_ROMAN_10, kBannerScale);
        if (gErrors) {
            int baseline = origin.y - 2 * kNoticeLeading;
            for (const std::string& line : WrapNotice(gErrors->LastLine(), gWidth)) {
                DrawStrokeText(kNoticeMargin, baseline, line, kNoticeScale, kNoticeColor);
                baseline -= kNoticeLeading;
            }
        }
    }

    glFlush();
    glutSwapBuffers();
}

void ShowErrorsFrom(const ErrorLines* errors)
{
    gErrors = errors;
}

void go2d()
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0.0, gWidth, 0.0, gHeight);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
}

void go3d()
{
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    reshapeFunc(gWidth, gHeight);
}

void DrawString(int x, int y, std::string& text, void* /*font*/, float scale)
{
    DrawStrokeText(x, y, text, scale, Color{1.0f, 0.0f, 1.0f, 1.0f});
}

void GLDisplay::Display()
{
    glPushMatrix();
    glTranslatef(fX, fY, fZ);
    glScalef(fScaleX, fScaleY, 1.0f);
    glColor4fv(fColor);
    Draw();
    glPopMatrix();
}

void Finger::Draw()
{
    const FingertipLook look = FingertipAppearance(fNearness, gWidth, gHeight);
    glScalef(look.aspectScaleX, look.aspectScaleY, 1.0f);
    SetColor(look.outer);
    glutSolidSphere(kFingertipRadius, kFingertipSlices, kFingertipStacks);
    SetColor(look.inner);
    glScalef(look.innerScale, look.innerScale, 1.0f);
    glutSolidSphere(kFingertipRadius, kFingertipSlices, kFingertipStacks);
}

} // namespace GLStuff
