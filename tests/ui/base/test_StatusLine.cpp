// A status line of fixed room: a message appears without moving what lies
// below it, fits whole at any width the window gives (shortened in its middle
// when the room is too small, whole again when the window widens) and keeps
// the whole message in its tool tip.
#include "ui/base/UI_StatusLine.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

const QChar kEllipsis(0x2026);

TEST(StatusLine, MessagesFitTheFixedRoomAtEveryWidthAndMoveNothing) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* line = new UI_StatusLine(2, &window);
    line->reserveRoom(true);
    layout->addWidget(line);
    auto* below = new QPushButton("Below", &window);
    layout->addWidget(below);
    window.resize(400, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect belowAt = below->geometry();
    const int height = line->height();

    const QString word = QString(300, 'w');
    const QString many = QString("many words of a message ").repeated(12) + "(the reason).";
    const struct {
        const char* what;
        QString message;
        int width;       // the window's
        bool shortened;  // at that width
    } cases[] = {
        {"a short message", "Saved.", 400, false},
        {"many words, wide window", many, 1800, false},
        {"many words, narrow window", many, 400, true},
        {"one word wider than the window", word, 1800, true},
        {"many words, very narrow window", many, 60, true},
        {"many words, wide again", many, 1800, false},
        {"nothing", "", 400, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        line->setMessage(c.message);
        window.resize(c.width, 200);
        QApplication::processEvents();
        EXPECT_EQ(line->isHidden(), c.message.isEmpty());
        EXPECT_EQ(line->height(), height) << "the room is fixed";
        EXPECT_EQ(line->toolTip(), c.message);
        EXPECT_EQ(line->message(), c.message);
        EXPECT_TRUE(line->fits(line->text())) << line->text().toStdString();
        EXPECT_EQ(line->text().contains(kEllipsis), c.shortened) << line->text().toStdString();
        if (c.shortened) {
            EXPECT_FALSE(line->fits(c.message));
            EXPECT_TRUE(line->text().startsWith(c.message.left(3))) << "the start is kept";
            EXPECT_TRUE(line->text().endsWith(c.message.right(3))) << "the end is kept";
        } else {
            EXPECT_EQ(line->text(), c.message);
        }
        if (c.width == 400) {
            EXPECT_EQ(below->geometry(), belowAt) << "nothing below moved";
        }
    }
}

}  // namespace
