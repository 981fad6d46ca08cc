#pragma once

class QMainWindow;
class QWidget;

// The main window `widget` lives in: its nearest QMainWindow ancestor (a
// floating dock still has the window as parent), else the application's
// active window when that is a main window, else null. Panels use it to add
// their docks to the window whatever window has the focus.
QMainWindow* owningMainWindow(const QWidget* widget);
