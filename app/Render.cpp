// Scene rendering: every GL call of the frame lives here. Window thread, GL context current.
#include <GL/glut.h>

#include <algorithm>

#include "GLStuff.h"

namespace GLStuff {

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
    // Spheres stay circular on screen whatever the window's aspect.
    if (gWidth > gHeight) {
        glScalef(1.0f, static_cast<float>(gWidth) / static_cast<float>(gHeight), 1.0f);
    } else {
        glScalef(static_cast<float>(gHeight) / static_cast<float>(gWidth), 1.0f, 1.0f);
    }
    const float nearness = static_cast<float>(std::min<double>(fNearness, 1.0));
    if (nearness == 1.0f) {
        glColor4f(1.0f, 0.0f, 0.0f, 0.8f);
    } else {
        glColor4f(1.0f, 1.0f, 1.0f, 0.25f);
    }
    glutSolidSphere(0.025, 50, 50);
    glColor4f(0.7f, 0.7f, 0.7f, nearness);
    const float innerScale = std::min(0.85f, nearness);
    glScalef(innerScale, innerScale, 1.0f);
    glutSolidSphere(0.025, 50, 50);
}

} // namespace GLStuff
