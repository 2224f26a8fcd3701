#pragma once

// Keyboard, mouse, menu and timer handlers. Window thread.
namespace GLStuff {

void keyboardFunc(unsigned char key, int x, int y);
void mouseFunc(int button, int state, int x, int y);
void motionFunc(int x, int y);
void timerCallback(int value);
void createMenu();
void menu(int value);

} // namespace GLStuff
