#pragma once

#include <QString>
#include <QStringList>

#include <string>

// Lines made short enough for a message box: the first `shown`, then how
// many more there were ("... and 12 more."). For the failures of an export
// (one line per file not written, as the data set's exportFailure() gives
// them): onto a full disk or into a read-only folder every file fails for the
// same reason, so the first lines say why.
QString abridgedLines(const QStringList& lines, int shown = 5);
// The same for lines in one text, separated by '\n'.
QString abridgedLines(const std::string& lines, int shown = 5);
