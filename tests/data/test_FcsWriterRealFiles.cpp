// Round trips of files written by other software: every real file that loads,
// exported whole as FCS, reads back with the same names and bit-identical
// values, through our reader and a strict standard reader; also after adding
// variables and after merging files whose marker names differ.
#include "DerivedDataFixture.h"
#include "StrictFcsReader.h"
#include "support/CapturedOutput.h"
#include "support/TestData.h"

#include "data/MCV_DerivedDataPoints.h"

#include <QDir>

#include <cmath>
#include <cstring>

namespace {

const QString kFcsDir = realFcsDir();

class FcsWriterRealFiles : public DerivedDataTest {
protected:
    // Exports "All Points" to `file` and checks that it reads back as the
    // data set holds it: the combined header's names and labels, every
    // event of every file in order, bit for bit.
    void exportAndCompare(const std::string& file) {
        data->initAllDerviedDataPointer();
        quietly([&] { ASSERT_EQ(data->writeToFile("All Points", file, 0, nullptr), 0); });

        MCV_FcsHeader* h = data->combinedHeader();
        const size_t V = static_cast<size_t>(h->numVariables());
        size_t events = 0;
        for (int f = 0; f < data->numFiles(); ++f) events += static_cast<size_t>(data->header(f)->numEvents());

        FcsLoad l(file);
        ASSERT_EQ(l.code, 0);
        ASSERT_TRUE(l.matrix);
        ASSERT_EQ(static_cast<size_t>(l.header->numEvents()), events);
        ASSERT_EQ(static_cast<size_t>(l.header->numVariables()), V);
        EXPECT_EQ(*l.header->markerList(0), *h->markerList(0));
        EXPECT_EQ(*l.header->markerList(1), *h->markerList(1));
        size_t row = 0;
        for (int f = 0; f < data->numFiles(); ++f) {
            const size_t n = static_cast<size_t>(data->header(f)->numEvents());
            EXPECT_EQ(std::memcmp(l.matrix.get() + row * V, data->rawData(f), n * V * sizeof(float)), 0)
                << "values of file " << f << " differ";
            row += n;
        }

        const StrictFcs s = StrictFcs::parse(readAll(file));
        ASSERT_TRUE(s.ok) << s.error;
        for (size_t v = 0; v < V; ++v) {
            float largest = -INFINITY;
            for (size_t e = 0; e < events; ++e) largest = std::max(largest, l.at(e, v));
            EXPECT_GE(std::stod(s.get("$P" + std::to_string(v + 1) + "R")), static_cast<double>(largest))
                << "readers that clip to $PnR would flatten variable " << v;
        }
    }
};

}  // namespace

TEST_F(FcsWriterRealFiles, EveryLoadableFileSurvivesAnExport) {
    ASSERT_TRUE(QDir(kFcsDir).exists()) << "test data missing: " << kFcsDir.toStdString();
    const QStringList files = QDir(kFcsDir).entryList(QDir::Files);
    int checked = 0;
    for (const QString& name : files) {
        if (name.endsWith(".md")) continue;
        SCOPED_TRACE(name.toStdString());
        fresh();
        if (data->loadFromFile((kFcsDir + "/" + name).toStdString()) != 0) continue;
        ++checked;
        exportAndCompare(path("whole-" + name.toStdString() + ".fcs"));

        // The embedding's variables and the sample tag, as analyses add them.
        const int n = data->header(0)->numEvents();
        std::vector<float> x(static_cast<size_t>(n)), y(static_cast<size_t>(n));
        for (int e = 0; e < n; ++e) {
            x[static_cast<size_t>(e)] = 1e6f * std::sin(static_cast<float>(e));
            y[static_cast<size_t>(e)] = -0.001f * static_cast<float>(e);
        }
        data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, {x, y});
        data->addDimensions({"QLMRN_ST"}, -1.0f);
        exportAndCompare(path("added-" + name.toStdString() + ".fcs"));
    }
    EXPECT_GE(checked, 5) << "test data missing under " << kFcsDir.toStdString();
}

TEST_F(FcsWriterRealFiles, MergedFilesWithDifferingNamesSurviveAnExport) {
    ASSERT_REAL_FCS_FILE("cyflow_cube_8.fcs");
    const std::string real = realFcsFile("cyflow_cube_8.fcs").toStdString();
    ASSERT_EQ(data->loadFromFile(real), 0);
    ASSERT_EQ(data->loadFromFile(real), 0);
    const int V = data->combinedHeader()->numVariables();
    Rows rows(5, std::vector<float>(static_cast<size_t>(V), 2.5f));
    std::vector<std::string> names;
    for (int v = 0; v < V; ++v)
        names.push_back(v % 2 ? data->combinedHeader()->variableName(v) : "M" + std::to_string(v));
    ASSERT_EQ(data->loadFromFile(writeFcs("renamed.fcs", rows, names)), -1);
    EXPECT_EQ(data->combinedHeader()->variable(0)->bits, 0);
    exportAndCompare(path("merged.fcs"));
}

TEST_F(FcsWriterRealFiles, NamesWithQuotesBackslashesDelimitersAndNonAsciiSurvive) {
    const std::string odd = "CD\"4\\x/y \xc3\xbc\xe2\x82\xac";
    load({{{1, 2}, {3, 4}}}, {odd, "ends\\"});
    exportAndCompare(path("odd.fcs"));
    FcsLoad l(path("odd.fcs"));
    EXPECT_EQ(l.header->variable(0)->name, odd);
}
