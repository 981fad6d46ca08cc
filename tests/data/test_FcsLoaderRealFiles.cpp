// The reader against files written by instruments and other software, with the
// values an independent reader found in them (expected/*.json).

#include "FcsTestFile.h"
#include "support/TestData.h"

#include "data/MCV_Messages.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>

namespace {

const QString kFcsDir = realFcsDir();

QJsonObject expectedFor(const QString& file) {
    QFile f(kFcsDir + "/expected/" + file + ".json");
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

std::string pathOf(const QString& file) { return realFcsFile(file).toStdString(); }

}  // namespace

TEST(FcsLoaderRealFiles, EveryReadableFileMatchesTheIndependentReader) {
    const QStringList jsons = QDir(kFcsDir + "/expected").entryList({"*.json"}, QDir::Files);
    ASSERT_GE(jsons.size(), 7) << "test data missing under " << kFcsDir.toStdString();
    int checked = 0;
    for (const QString& json : jsons) {
        const QString file = json.left(json.size() - 5);
        const QJsonObject exp = expectedFor(file);
        if (!exp.value("ok").toBool() || exp.value("event_count").isNull()) continue;
        SCOPED_TRACE(file.toStdString());
        ++checked;

        FcsLoad l(pathOf(file));
        ASSERT_EQ(l.code, 0) << MCV_loadMessage(l.code);
        EXPECT_EQ(l.header->fcsVersion(), exp.value("version").toString().toStdString());

        const QJsonArray pnn = exp.value("$PnN").toArray();
        const QJsonArray pns = exp.value("$PnS").toArray();
        const int events = exp.value("event_count").toInt();
        ASSERT_EQ(l.header->numEvents(), events);
        ASSERT_EQ(l.header->numVariables(), pnn.size());
        const size_t vars = static_cast<size_t>(pnn.size());

        for (int i = 0; i < pnn.size(); ++i) {
            const QString label = pnn[i].toString();
            const QString stain = pns[i].isString() ? pns[i].toString() : QString();
            const QString name = stain.trimmed().isEmpty() ? label : stain;
            EXPECT_EQ(l.header->variable(i)->label, label.toStdString()) << "variable " << i;
            EXPECT_EQ(l.header->variable(i)->name, name.toStdString()) << "variable " << i;
        }

        const QJsonArray first = exp.value("first_events").toArray();
        for (int e = 0; e < first.size(); ++e) {
            const QJsonArray row = first[e].toArray();
            for (int v = 0; v < row.size(); ++v)
                EXPECT_FLOAT_EQ(l.at(static_cast<size_t>(e), static_cast<size_t>(v)),
                                static_cast<float>(row[v].toDouble()))
                    << "event " << e << " variable " << v;
        }

        const QJsonArray sums = exp.value("column_sums").toArray();
        ASSERT_EQ(static_cast<size_t>(sums.size()), vars);
        for (size_t v = 0; v < vars; ++v) {
            double sum = 0.0;
            for (size_t e = 0; e < static_cast<size_t>(events); ++e) sum += l.at(e, v);
            const double want = sums[static_cast<int>(v)].toDouble();
            EXPECT_NEAR(sum, want, 1e-9 * std::fabs(want) + 1e-9) << "column " << v;
        }
    }
    EXPECT_GE(checked, 5);
}

TEST(FcsLoaderRealFiles, RefusesTheFilesThatCannotBeRead) {
    ASSERT_REAL_FCS_FILE("sample_header.fcs");
    ASSERT_REAL_FCS_FILE("corrupted.fcs");
    FcsLoad truncated(pathOf("sample_header.fcs"));
    EXPECT_EQ(truncated.code, MCV_LoadCode::Truncated);
    // What was read before the DATA check is still there for the caller to show.
    EXPECT_EQ(truncated.header->numEvents(), 20000);
    EXPECT_EQ(truncated.header->cytometry(), "Aurora");
    // Its TEXT lacks the closing delimiter: the last value still reads.
    EXPECT_EQ(truncated.loader.fetchValueForKey("GROUPNAME"), "20200722");

    EXPECT_EQ(FcsLoad(pathOf("corrupted.fcs")).code, MCV_LoadCode::NoVersion);
}

TEST(FcsLoaderRealFiles, ASupplementalSegmentThatIsNoTextLeavesThePrimaryKeywords) {
    ASSERT_REAL_FCS_FILE("cyflow_cube_8.fcs");
    // Its supplemental segment is a zip archive.
    FcsLoad cube(pathOf("cyflow_cube_8.fcs"));
    ASSERT_EQ(cube.code, 0);
    EXPECT_EQ(cube.loader.fetchValueForKey("P$CFGTYPE"), "ZIP");
    EXPECT_EQ(cube.header->cytometry(), "Cube_15");
    EXPECT_EQ(cube.header->variable(9)->bits, 8);
}
