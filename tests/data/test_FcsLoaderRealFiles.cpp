// Expected values (expected/*.json) come from an independent reader.
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

TEST(FcsLoaderRealFiles, EveryReadableFileMatchesTheIndependentReader) {
    const QString fcsDir = realFcsDir();
    const QStringList jsons = QDir(fcsDir + "/expected").entryList({"*.json"}, QDir::Files);
    ASSERT_GE(jsons.size(), 7) << "test data missing under " << fcsDir.toStdString();
    int checked = 0;
    for (const QString& json : jsons) {
        const QString file = json.left(json.size() - 5);
        QFile expected(fcsDir + "/expected/" + json);
        ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
        const QJsonObject exp = QJsonDocument::fromJson(expected.readAll()).object();
        if (!exp.value("ok").toBool() || exp.value("event_count").isNull()) continue;
        SCOPED_TRACE(file.toStdString());
        ++checked;
        FcsLoad l(realFcsFile(file).toStdString());
        ASSERT_EQ(l.code, 0) << MCV_loadMessage(l.code);
        EXPECT_EQ(l.header->fcsVersion(), exp.value("version").toString().toStdString());
        const QJsonArray pnn = exp.value("$PnN").toArray(), pns = exp.value("$PnS").toArray();
        const QJsonArray first = exp.value("first_events").toArray(), sums = exp.value("column_sums").toArray();
        const int events = exp.value("event_count").toInt();
        ASSERT_EQ(l.header->numEvents(), events);
        ASSERT_EQ(l.header->numVariables(), pnn.size());
        ASSERT_EQ(sums.size(), pnn.size());
        for (int v = 0; v < pnn.size(); ++v) {
            // The stain names the variable unless it is blank.
            const QString stain = pns[v].toString().trimmed();
            EXPECT_EQ(l.header->variable(v)->label, pnn[v].toString().toStdString()) << v;
            EXPECT_EQ(l.header->variable(v)->name, (stain.isEmpty() ? pnn[v] : pns[v]).toString().toStdString()) << v;
            for (int e = 0; e < first.size(); ++e)
                EXPECT_FLOAT_EQ(l.at(size_t(e), size_t(v)), float(first[e].toArray()[v].toDouble())) << e << "," << v;
            double sum = 0.0;
            for (size_t e = 0; e < size_t(events); ++e) sum += l.at(e, size_t(v));
            EXPECT_NEAR(sum, sums[v].toDouble(), 1e-9 * std::fabs(sums[v].toDouble()) + 1e-9) << "column " << v;
        }
    }
    EXPECT_GE(checked, 5);
}

TEST(FcsLoaderRealFiles, EveryValueOfEveryFileIsReadAsBefore) {
    // FNV-1a of the matrix bytes, from this reader before it checked that DATA
    // fit the TEXT: stricter checks must not change what real files give.
    struct Case {
        const char* file;
        int code;
        int events, variables;
        uint64_t hash;
    };
    const Case cases[] = {
        {"0877408774.B08", 0, 10000, 8, 0x6d947f212a511aeaull},
        {"SG_2014-09-26_Duplicate_Names.fcs", 0, 8129, 9, 0xa501c9ad9c71ef60ull},
        {"cyflow_cube_8.fcs", 0, 725, 10, 0xe54158b4344810bbull},
        {"fake_large_fcs.fcs", 0, 11585, 11, 0xa5770e4b3edb6588ull},
        {"variable_int_example.fcs", 0, 2, 26, 0x482dde83bc81a45bull},
        {"sample_header.fcs", MCV_LoadCode::Truncated, 0, 0, 0},
        {"corrupted.fcs", MCV_LoadCode::NoVersion, 0, 0, 0},
    };
    for (const Case& c : cases) {
        ASSERT_REAL_FCS_FILE(c.file);
        FcsLoad l(realFcsFile(c.file).toStdString());
        ASSERT_EQ(l.code, c.code) << c.file << ": " << MCV_loadMessage(l.code) << " " << l.loader.refusal();
        if (c.code != 0) continue;
        ASSERT_EQ(l.header->numEvents(), c.events) << c.file;
        ASSERT_EQ(l.header->numVariables(), c.variables) << c.file;
        const auto* bytes = reinterpret_cast<const unsigned char*>(l.matrix.get());
        uint64_t hash = 0xcbf29ce484222325ull;
        for (size_t i = 0, n = size_t(c.events) * size_t(c.variables) * sizeof(float); i < n; ++i)
            hash = (hash ^ bytes[i]) * 0x100000001b3ull;
        EXPECT_EQ(hash, c.hash) << c.file;
    }
}
