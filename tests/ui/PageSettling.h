#pragma once
// Waiting for an embedded page to finish what it animates, for tests that
// look at where the animation ends.

#include "ui/PageTestSupport.h"

#include <QString>
#include <QTest>
#include <QWebView>

namespace pagetest {

// True once the page has run an animation frame after this call, no d3
// transition is scheduled or running on any element of the document (d3
// keeps a node's transitions in its `__transition` until the last one ends or
// is interrupted) and the script condition `also` holds. The bound is far
// beyond any run on a loaded machine: reaching it means the page never comes
// to rest.
inline bool waitUntilSettled(QWebView* view, const QString& also = "true", int timeoutMs = 30000) {
    js(view, "window.qlmrnTestFrame = false; requestAnimationFrame(function () { window.qlmrnTestFrame = true; })");
    const QString settled =
        "window.qlmrnTestFrame === true && ![].some.call(document.querySelectorAll('*'), "
        "function (e) { return !!e.__transition; }) && !!(" +
        also + ")";
    return QTest::qWaitFor([&] { return js(view, settled).toBool(); }, timeoutMs);
}

}  // namespace pagetest
