#include "readMarkerFlags.h"

#include <QFile>
#include <QFileInfo>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

QString plural(size_t n, const char* one, const char* many) {
    return QString::number(static_cast<qulonglong>(n)) + " " + (n == 1 ? one : many);
}

}  // namespace

MarkerFlagsRead readMarkerFlags(const std::string& path, size_t markerCount, std::vector<bool>* out,
                                size_t* flagCount) {
    const QString name = QString::fromStdString(path);
    // Opening a named pipe for reading would wait for a writer forever.
    if (!QFileInfo(name).isFile()) return MarkerFlagsRead::Unreadable;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return MarkerFlagsRead::Unreadable;

    // The markers' flags and the tag's are kept; the rest are only counted.
    std::vector<bool> flags;
    flags.reserve(markerCount + 1);
    size_t count = 0;
    bool afterFlag = false;  // the last character was a flag: a blank must follow
    char buffer[4096];
    for (;;) {
        const qint64 got = file.read(buffer, sizeof buffer);
        if (got < 0) return MarkerFlagsRead::Unreadable;
        if (got == 0) break;
        for (qint64 i = 0; i < got; ++i) {
            const char c = buffer[i];
            if (isBlank(c)) {
                afterFlag = false;
                continue;
            }
            if (afterFlag || (c != '0' && c != '1')) return MarkerFlagsRead::NotFlags;
            afterFlag = true;
            if (count <= markerCount) flags.push_back(c == '1');
            ++count;
        }
    }
    if (flagCount) *flagCount = count;
    if (count < markerCount) return MarkerFlagsRead::TooFew;
    if (out) *out = std::move(flags);
    return MarkerFlagsRead::Read;
}

QString markerFlagsRefusal(MarkerFlagsRead result, const QString& path, size_t flagCount, size_t markerCount) {
    switch (result) {
        case MarkerFlagsRead::Read:
            return QString();
        case MarkerFlagsRead::Unreadable:
            return path + " could not be read.";
        case MarkerFlagsRead::NotFlags:
            return path +
                   " is not a marker file: a marker file holds one flag per marker, 0 or 1, separated by white "
                   "space.";
        case MarkerFlagsRead::TooFew:
            return path + " holds " + plural(flagCount, "flag", "flags") + " for " +
                   plural(markerCount, "marker", "markers") + ".";
    }
    return QString();
}
