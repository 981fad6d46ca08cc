#pragma once

#include <QSurfaceFormat>

// The OpenGL format of every window and hidden context of the program: an
// OpenGL 4.1 core profile with a 24-bit depth and 8-bit stencil buffer.
QSurfaceFormat applicationSurfaceFormat();

// Makes it the default format. Call before the first window or context exists
// (main() does it right after the application object is made).
void setApplicationSurfaceFormat();
