// Scene rendering: every GL call of the picture lives here. Window thread, GL context current.
#include "app/window/Render.h"

#include <GL/glut.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/instrument/Pluck.h"
#include "app/window/CameraPicture.h"
#include "app/window/Scene.h"
#include "app/window/ShownWaveforms.h"
#include "app/window/WindowHooks.h"
#include "src/nodes/SampleAccumulator.h"
#include "tracking/camera/CameraView.h"
#include "tracking/camera/HandSpace.h"

namespace GLStuff {
namespace {

// Set once before the window opens; read on the window thread.
std::shared_ptr<Leap::CameraView> gCamera;

// What each string drew last; window thread.
ShownWaveforms gShown;

// The camera's newest picture as a texture; window thread.
GLuint gPictureTexture = 0;
int gTextureWidth = 0;
int gTextureHeight = 0;

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

// One string's line: the display pairs collected since the last frame (or, when none came, those
// it drew last, at rest once the sound has stopped), swinging around its rest position and
// stretched over the window's height.
void DrawStringWaveform(int stringIndex, int numStrings, float spacing, SampleAccumulator* tap)
{
    const ShownWaveforms::Pairs& pairs =
        gShown.Show(stringIndex, numStrings, tap->Get(), ShownWaveforms::Clock::now());
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

void Vertex(const WindowPoint& point)
{
    glVertex2d(point.x, point.y);
}

// Uploads the newest picture once, when the camera's thread has published one since the last.
void TakeNewestPicture()
{
    if (!gCamera->takeNewest())
        return;
    const Leap::CameraView::Picture& picture = gCamera->front();
    if (picture.width <= 0 || picture.height <= 0)
        return;
    if (gPictureTexture == 0)
        glGenTextures(1, &gPictureTexture);
    glBindTexture(GL_TEXTURE_2D, gPictureTexture);
    if (picture.width != gTextureWidth || picture.height != gTextureHeight) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, picture.width, picture.height, 0, GL_BGRA,
                     GL_UNSIGNED_INT_8_8_8_8_REV, picture.bgra.data());
        gTextureWidth = picture.width;
        gTextureHeight = picture.height;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, picture.width, picture.height, GL_BGRA,
                        GL_UNSIGNED_INT_8_8_8_8_REV, picture.bgra.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

// The picture, dimmed, with each hand's bones and landmarks over it. Leaves the state the strings
// and spheres are drawn with (lighting, current normal and colour, no texture) as it found it.
void DrawCameraPicture()
{
    TakeNewestPicture();
    if (gTextureWidth == 0)
        return;
    const Leap::CameraView::Picture& picture = gCamera->front();
    const bool mirrored = picture.mirrored;
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT | GL_LINE_BIT | GL_POINT_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, gPictureTexture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(kPictureBrightness, kPictureBrightness, kPictureBrightness, 1.0f);
    glBegin(GL_QUADS);
    for (const Leap::CameraView::Point corner :
         {Leap::CameraView::Point{0.0f, 1.0f}, Leap::CameraView::Point{1.0f, 1.0f},
          Leap::CameraView::Point{1.0f, 0.0f}, Leap::CameraView::Point{0.0f, 0.0f}}) {
        glTexCoord2f(corner.across, corner.down);
        Vertex(ImageToWindow(corner, mirrored));
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);

    glEnable(GL_POINT_SMOOTH);
    glLineWidth(kBoneWidth);
    for (int hand = 0; hand < picture.handCount; ++hand) {
        const Leap::CameraView::Landmarks& points = picture.hands[hand];
        SetColor(kHandColor);
        glBegin(GL_LINES);
        for (const auto& bone : kHandBones) {
            Vertex(ImageToWindow(points[bone.first], mirrored));
            Vertex(ImageToWindow(points[bone.second], mirrored));
        }
        glEnd();
        glPointSize(kLandmarkSize);
        glBegin(GL_POINTS);
        for (const Leap::CameraView::Point& point : points)
            Vertex(ImageToWindow(point, mirrored));
        glEnd();
        SetColor(kPluckingTipColor);
        // Round in pixels, as the spheres are.
        const double radiusX = kPluckingTipRing * kFingertipRadius;
        const double radiusY = radiusX * gWidth / std::max(gHeight, 1);
        for (const int tip : Leap::HandSpace::kTips) {
            const WindowPoint centre = ImageToWindow(points[tip], mirrored);
            glBegin(GL_LINE_LOOP);
            for (int segment = 0; segment < kRingSegments; ++segment) {
                const double angle = 2.0 * M_PI * segment / kRingSegments;
                glVertex2d(centre.x + radiusX * std::cos(angle),
                           centre.y + radiusY * std::sin(angle));
            }
            glEnd();
        }
    }
    glPopAttrib();
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
    if (gCamera && gShowCamera)
        DrawCameraPicture();
    glLineWidth(2.0f);

    Harp* harp = Harp::GetInstance();
    const int numStrings = harp->GetNumStrings();
    const float spacing = StringSpacing(numStrings);
    std::vector<SampleAccumulator*>& taps = harp->GetBuffers();
    for (int stringIndex = 0; stringIndex < numStrings; ++stringIndex) {
        SetColor(StringColor(stringIndex, gScaleIntervals));
        DrawStringWaveform(stringIndex, numStrings, spacing, taps[stringIndex]);
    }

    {
        std::lock_guard<std::mutex> guard(gLock);
        for (auto& entry : gFingers) {
            entry.second.Display();
        }
    }

    if (gShowHUD) {
        glLineWidth(2.0f);
        std::string banner =
            BannerLine(CurrentScale().key, Touch(), gCamera != nullptr,
                       Harp::GetInstance()->GetVoice() == Harp::VoiceKind::kConcert);
        const PixelPoint origin = BannerOrigin(gWidth, gHeight);
        DrawString(origin.x, origin.y, banner, GLUT_BITMAP_TIMES_ROMAN_10, kBannerScale);
        if (gCamera)
            DrawStrokeText(origin.x, origin.y - kNoticeLeading, CameraSentence(gCamera->status()),
                           kNoticeScale, kHandColor);
        if (gHooks.lastError) {
            int baseline = origin.y - 2 * kNoticeLeading;
            for (const std::string& line : WrapNotice(gHooks.lastError(), gWidth)) {
                DrawStrokeText(kNoticeMargin, baseline, line, kNoticeScale, kNoticeColor);
                baseline -= kNoticeLeading;
            }
        }
    }

    glFlush();
    glutSwapBuffers();
}

void ShowCameraFrom(std::shared_ptr<Leap::CameraView> camera)
{
    gCamera = std::move(camera);
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

void Finger::Display()
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
