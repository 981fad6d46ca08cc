// The default-marker file as "Load Selection" and the import read it: 0/1
// flags, at least one per marker, and nothing else; the markers' flags and
// the one after them (the sample tag's) are taken. Anything else is refused
// with the reason and leaves the caller's flags alone.
#include "ui/base/readMarkerFlags.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString writeFile(const QTemporaryDir& dir, const QByteArray& bytes) {
    const QString path = dir.filePath("flags.txt");
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    return path;
}

TEST(ReadMarkerFlags, TheMarkersFlagsAndTheTagsAreTakenAndEverythingElseIsRefusedWithItsCount) {
    const struct {
        QByteArray bytes;
        size_t markers;
        MarkerFlagsRead result;
        std::vector<bool> flags;  // when read
        size_t count;             // flags in the file (read, or too few)
    } cases[] = {
        {"1 0 1 ", 3, MarkerFlagsRead::Read, {true, false, true}, 3},
        {"\n0\r\n1\t\t0\n", 3, MarkerFlagsRead::Read, {false, true, false}, 3},
        {"hello world 7 -3", 4, MarkerFlagsRead::NotFlags, {}, 0},
        {"1 0 7", 3, MarkerFlagsRead::NotFlags, {}, 0},
        {"10 1 0", 3, MarkerFlagsRead::NotFlags, {}, 0},
        {"1 0 -1", 3, MarkerFlagsRead::NotFlags, {}, 0},
        {"1,0,1", 3, MarkerFlagsRead::NotFlags, {}, 0},
        {"1 0 1 x", 3, MarkerFlagsRead::NotFlags, {}, 0},
        {"\xef\xbb\xbf"
         "1 0 1",
         3,
         MarkerFlagsRead::NotFlags,
         {},
         0},
        {QByteArray("1 0\0 1", 6), 3, MarkerFlagsRead::NotFlags, {}, 0},
        {"1 0 1 1 ", 3, MarkerFlagsRead::Read, {true, false, true, true}, 4},
        {"1 0 1 0 1 1 ", 3, MarkerFlagsRead::Read, {true, false, true, false}, 6},
        {"1 0", 3, MarkerFlagsRead::TooFew, {}, 2},
        {"", 3, MarkerFlagsRead::TooFew, {}, 0},
        {" \n ", 1, MarkerFlagsRead::TooFew, {}, 0},
        {"", 0, MarkerFlagsRead::Read, {}, 0},
        // A file much larger than the read pieces.
        {QByteArray(200000, '1').replace("1", "1\n"), 3, MarkerFlagsRead::Read, {true, true, true, true}, 200000},
        {QByteArray(200000, '1').replace("1", "1\n").append("2"), 3, MarkerFlagsRead::NotFlags, {}, 0},
        {QByteArray(99999 * 2, ' ').append("1"), 1, MarkerFlagsRead::Read, {true}, 1},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.left(40).toStdString());
        const QString path = writeFile(dir, c.bytes);
        std::vector<bool> out{false, true};
        size_t count = 12345;
        EXPECT_EQ(readMarkerFlags(path.toStdString(), c.markers, &out, &count), c.result);
        if (c.result == MarkerFlagsRead::Read) {
            EXPECT_EQ(out, c.flags);
        } else {
            EXPECT_EQ(out, (std::vector<bool>{false, true})) << "a refused file changes nothing";
        }
        if (c.result == MarkerFlagsRead::Read || c.result == MarkerFlagsRead::TooFew) {
            EXPECT_EQ(count, c.count);
        }
    }
}

TEST(ReadMarkerFlags, TheRefusalSaysWhy) {
    const QString path = "/data/run/QLMRN_DefaultMarkers.txt";
    const struct {
        MarkerFlagsRead result;
        size_t flags, markers;
        QString text;
    } cases[] = {
        {MarkerFlagsRead::Read, 3, 3, ""},
        {MarkerFlagsRead::Unreadable, 0, 3, path + " could not be read."},
        {MarkerFlagsRead::NotFlags, 0, 3,
         path + " is not a marker file: a marker file holds one flag per marker, 0 or 1, separated by white space."},
        {MarkerFlagsRead::TooFew, 3, 4, path + " holds 3 flags for 4 markers."},
        {MarkerFlagsRead::TooFew, 1, 3, path + " holds 1 flag for 3 markers."},
        {MarkerFlagsRead::TooFew, 0, 1, path + " holds 0 flags for 1 marker."},
    };
    for (const auto& c : cases) EXPECT_EQ(markerFlagsRefusal(c.result, path, c.flags, c.markers), c.text);
}

}  // namespace
