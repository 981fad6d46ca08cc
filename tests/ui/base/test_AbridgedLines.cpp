// The failure lines of an export shortened for a box: up to five lines are
// shown whole, and only lines left out are counted ("... and 7 more."); in one
// text, blank lines are no lines.
#include "ui/base/abridgedLines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

QString fileLine(int i) { return QStringLiteral("/data/f%1.fcs: writing failed (No space left on device)").arg(i); }

TEST(AbridgedLines, FiveLinesAreShownWholeAndOnlyLinesLeftOutAreCounted) {
    const struct {
        int lines;
        int shown;
        const char* end;  // after the lines shown
    } cases[] = {
        {0, 0, ""}, {1, 1, ""}, {5, 5, ""}, {6, 5, "\n... and 1 more."}, {12, 5, "\n... and 7 more."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        QStringList lines;
        std::string text = "\n";  // blank lines before, between and after
        for (int i = 1; i <= c.lines; ++i) {
            lines << fileLine(i);
            text += fileLine(i).toStdString() + (i % 2 ? "\n\n" : "\n");
        }
        text += "\n";
        const QString expected = QStringList(lines.mid(0, c.shown)).join('\n') + c.end;
        EXPECT_EQ(abridgedLines(lines), expected);
        EXPECT_EQ(abridgedLines(text), expected);
    }
}

}  // namespace
