#pragma once

// The real main window of the window benchmarks: shown at a fixed size, with
// data opened through "Open File(s) ..." (the import dialog accepted as it
// comes) and analyses created through their menu actions, every question
// answered by the scripted dialogs.

#include "app/MainWindow.h"
#include "ui/base/UI_ModalDialogs.h"

#include <QAction>
#include <QDialog>
#include <QStringList>
#include <QTest>

// Shows `w` at 1400 x 1000 and waits until it is on the screen.
inline bool showBenchWindow(MainWindow& w) {
    UI_ModalDialogs::setScripted(true);
    w.resize(1400, 1000);
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}

// Opens `files` as the data set; the question whether to close the open
// analyses (asked only when there are some) is answered Yes.
inline void openBenchFiles(MainWindow& w, const QStringList& files) {
    if (!w.analyses().empty()) UI_ModalDialogs::answerQuestion(true);
    UI_ModalDialogs::answerFiles(files);
    UI_ModalDialogs::answerDialog([](QDialog* d) {
        d->done(0);
        return 0;
    });
    w.findChild<QAction*>("actionOpenFile")->trigger();
}

// Triggers the menu action `action`, whose name prompt takes `name`.
inline void createBenchAnalysis(MainWindow& w, const char* action, const QString& name) {
    UI_ModalDialogs::answerText(name);
    w.findChild<QAction*>(action)->trigger();
}
