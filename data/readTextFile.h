#pragma once

#include <QString>

// The whole text of a file or resource (read in text mode), or the empty text
// when it cannot be opened.
QString readTextFile(QString path);
