#pragma once

#include <string>

class ErrorLines;

// The picture's window handlers. Window thread, GL context current.
namespace GLStuff {

void initialize_graphics();
void reshapeFunc(int width, int height);
void displayFunc();
void go2d();
void go3d();
void DrawString(int x, int y, std::string& text, void* font, float scale);

// Shows the last line of standard error under the banner; null shows none. Before the window opens.
void ShowErrorsFrom(const ErrorLines* errors);

} // namespace GLStuff
