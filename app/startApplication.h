#pragma once

class QMainWindow;

// What every program that opens the main window does first, after the
// QApplication exists and before any window: the application's identity (which
// names its settings), the OpenGL surface format and the window icon; and
// SIGXFSZ is ignored, so that a write past the file-size limit is a failed
// write, not the end of the process.
void startApplication();

// Shows `window` centred on the primary screen at three quarters of its width
// and 85% of its height.
void showCentred(QMainWindow& window);
