#pragma once

#include <QString>

// `name` made usable as one file name component: path separators, the
// characters that common file systems refuse in names (\ / : * ? " < > |)
// and control characters each become '_'. Every other character, including
// spaces and non-ASCII letters, is kept, so distinct names stay distinct in
// all but those characters. An empty name, "." and ".." (which would name a
// folder rather than a file) become "_".
QString safeFileName(const QString& name);
