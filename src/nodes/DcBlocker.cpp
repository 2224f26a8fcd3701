#include "src/nodes/DcBlocker.h"

#include <cmath>

DcBlocker::DcBlocker(AudioClient* input, float sampleRate)
    : fInput(input), fPole(std::exp(-6.283185307179586 * kCornerHz / sampleRate)), fLastIn(0.0),
      fLastOut(0.0)
{
}

void DcBlocker::SetInput(AudioClient* input)
{
    fInput = input;
}

void DcBlocker::Render(float* buffer, int frames)
{
    if (fInput == nullptr)
        return;
    fInput->Process(buffer, frames);
    // In double precision: with r this close to 1 a float state would hold an offset of its own.
    double lastIn = fLastIn, lastOut = fLastOut;
    for (int j = 0; j < frames; ++j) {
        const double in = buffer[j];
        lastOut = in - lastIn + fPole * lastOut;
        lastIn = in;
        buffer[j] = static_cast<float>(lastOut);
    }
    fLastIn = lastIn;
    fLastOut = lastOut;
}
