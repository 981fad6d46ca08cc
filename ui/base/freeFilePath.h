#pragma once

#include <QString>

// stem + suffix when no such file exists, else the first of stem + "_1" +
// suffix, stem + "_2" + suffix, ... that does not exist, so that a new file
// never replaces one written before (two prints within one millisecond get
// the same time stamp).
QString freeFilePath(const QString& stem, const QString& suffix);
