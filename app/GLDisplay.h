#pragma once

namespace GLStuff {

// A drawable item placed in normalised window units. Never deleted through a GLDisplay pointer.
// Display and every Draw live in Render.cpp, beside the other GL calls.
class GLDisplay {
public:
    GLDisplay(float x, float y, float scaleX, float scaleY)
        : fX(x), fY(y), fScaleX(scaleX), fScaleY(scaleY), fZ(0.0f), fColor{1.0f, 0.0f, 0.0f, 1.1f}
    {
    }
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

} // namespace GLStuff
