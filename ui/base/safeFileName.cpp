#include "safeFileName.h"

QString safeFileName(const QString& name) {
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        const bool control = c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control;
        out.append(control || forbidden.contains(c) ? QChar('_') : c);
    }
    if (out.isEmpty() || out == QLatin1String(".") || out == QLatin1String("..")) return QStringLiteral("_");
    return out;
}
