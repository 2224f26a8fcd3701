#pragma once

namespace GLStuff {

// Where a drawable item is placed, in normalised window units, and its colour. No virtual
// function: the items live in the instrument's state, which links no GL; their Display and Draw
// live in Render.cpp, beside the other GL calls.
class GLDisplay {
public:
    GLDisplay(float x, float y, float scaleX, float scaleY)
        : fX(x), fY(y), fScaleX(scaleX), fScaleY(scaleY), fZ(0.0f), fColor{1.0f, 0.0f, 0.0f, 1.1f}
    {
    }
    GLDisplay(GLDisplay&&) = default;
    GLDisplay& operator=(GLDisplay&&) = default;

    void SetX(float x) { fX = x; }
    void SetY(float y) { fY = y; }

    float fX;
    float fY;
    float fScaleX;
    float fScaleY;
    float fZ;
    float fColor[4]; // red, green, blue, alpha
};

} // namespace GLStuff
