#include "abridgedLines.h"

QString abridgedLines(const QStringList& lines, int shown) {
    if (lines.size() <= shown) return lines.join(QLatin1Char('\n'));
    return QStringList(lines.mid(0, shown)).join(QLatin1Char('\n')) +
           QStringLiteral("\n... and %1 more.").arg(lines.size() - shown);
}

QString abridgedLines(const std::string& lines, int shown) {
    return abridgedLines(QString::fromStdString(lines).split(QLatin1Char('\n'), Qt::SkipEmptyParts), shown);
}
