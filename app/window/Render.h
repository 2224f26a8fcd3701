#pragma once

#include <memory>
#include <string>

namespace Leap {
class CameraView;
}

// The picture's window handlers. Window thread, GL context current.
namespace GLStuff {

void initialize_graphics();
void reshapeFunc(int width, int height);
void displayFunc();
void go2d();
void go3d();
void DrawString(int x, int y, std::string& text, void* font, float scale);

// Draws what the camera sees behind the strings, and says under the banner what its tracker waits
// for; null (every other source) draws nothing of it. Before the window opens.
void ShowCameraFrom(std::shared_ptr<Leap::CameraView> camera);

} // namespace GLStuff
