// The density cache across sessions whose data sets have other columns: what
// counts is the selected markers (label and name, in order) and their values,
// not the unselected columns either side has or where the markers stand.
#include "SpadeAnalysisTest.h"

#include <functional>

namespace {

// Marker columns "M1".."M5" hold the same blobs in every session; "CD3" holds
// M3's values under another name; "X" and "Y" are other columns.
class SpadeCacheSelection : public SpadeAnalysisTest {
protected:
    struct Session {
        std::vector<std::string> columns;        // of the file, in order
        std::vector<std::string> appended;       // added after loading, as other analyses and the sample tag do
        std::vector<std::string> selected;       // besides the marker columns, which are always selected
        std::function<void()> change = nullptr;  // to the data, after loading
    };

    // Loads `s` into a fresh data set and runs a SPADE analysis over it.
    std::string open(const Session& s) {
        fresh();
        const Rows blobs = blobRows(3, 100, 5, 3);
        Rows rows(blobs.size());
        for (size_t e = 0; e < blobs.size(); ++e)
            for (const std::string& c : s.columns)
                rows[e].push_back(c == "X"     ? 7.0f * static_cast<float>(e)
                                  : c == "Y"   ? -1.0f
                                  : c == "CD3" ? blobs[e][2]
                                               : blobs[e][static_cast<size_t>(std::stoi(c.substr(1)) - 1)]);
        FcsTestFile f = FcsTestFile::floats(rows);
        for (size_t v = 0; v < s.columns.size(); ++v) {
            f.set("$P" + std::to_string(v + 1) + "S", s.columns[v]);
            f.set("$P" + std::to_string(v + 1) + "N", "Ch-" + s.columns[v]);
        }
        load({f.write(dir, "c.fcs")});
        if (!s.appended.empty()) data->addDimensions(s.appended, -1.0f);
        if (s.change) s.change();
        makeSpade();
        const MCV_FcsHeader* header = data->header(0);
        for (int v = 0; v < data->combinedHeader()->numVariables(); ++v) {
            const std::string name = data->combinedHeader()->variableName(v);
            const bool marker = name[0] == 'M' || name == "CD3";
            if (!marker && std::find(s.selected.begin(), s.selected.end(), name) == s.selected.end())
                spade->setMarkerState(v, false);
        }
        EXPECT_EQ(header->numVariables(), static_cast<int>(s.columns.size() + s.appended.size()));
        return run();
    }
    int column(const std::string& name) { return data->combinedHeader()->variableIdx(name); }

    static std::string stateDiffers(int index) {
        return "\n\t\tMarker state " + std::to_string(index) +
               " in cache differs from current setting, cache file is invalid. Recomputing.\n";
    }
    static constexpr const char* kOtherData =
        "\n\t\tData in cache differs from current data, cache file is invalid. Recomputing.\n";
    static constexpr const char* kLoaded = "\tTrying to load cached densities .. succes.\n";
};

const std::vector<std::string> kMarkers = {"M1", "M2", "M3", "M4", "M5"};
const std::vector<std::string> kWithExtras = {"M1", "M2", "X", "M3", "M4", "M5", "Y"};
const std::vector<std::string> kOutputs = {"QLMRN_ST", "QLMRN_TsneX", "QLMRN_TsneY"};

TEST_F(SpadeCacheSelection, FitsWhateverUnselectedColumnsEitherSideHasAndNothingElse) {
    const struct {
        const char* name;
        Session written;
        Session read;
        std::string message;  // after "\tTrying to load cached densities ..", empty: loaded
    } cases[] = {
        {"extra columns in the file, gone", {kWithExtras, {}, {}}, {kMarkers, {}, {}}, ""},
        {"no extra columns, then some in the file", {kMarkers, {}, {}}, {kWithExtras, {}, {}}, ""},
        {"sample tag and outputs appended, gone", {kMarkers, kOutputs, {}}, {kMarkers, {}, {}}, ""},
        {"outputs appended to other extra columns", {kWithExtras, {}, {}}, {kMarkers, {"QLMRN_TsneX", "X"}, {}}, ""},
        {"an unselected column changed",
         {kWithExtras, {}, {}},
         {kWithExtras, {}, {}, [this] { at(0, 4, static_cast<unsigned>(column("X"))) += 1.0f; }},
         ""},
        {"a column of the file selected", {kWithExtras, {}, {}}, {kWithExtras, {}, {"X"}}, stateDiffers(2)},
        {"a new column selected", {kMarkers, {}, {}}, {kWithExtras, {}, {"Y"}}, stateDiffers(6)},
        {"an appended column selected", {kMarkers, {}, {}}, {kMarkers, kOutputs, {"QLMRN_TsneY"}}, stateDiffers(7)},
        {"a selected column no longer selected", {kWithExtras, {}, {"X"}}, {kWithExtras, {}, {}}, stateDiffers(2)},
        {"a selected column gone",
         {kWithExtras, {}, {"Y"}},
         {kMarkers, {}, {}},
         "\n\t\tMarker Y (Ch-Y) in cache is not in the current data, cache file is invalid. Recomputing.\n"},
        {"a marker renamed",
         {kMarkers, {}, {}},
         {{"M1", "M2", "CD3", "M4", "M5"}, {}, {}},
         "\n\t\tMarker M3 (Ch-M3) in cache is not in the current data, cache file is invalid. Recomputing.\n"},
        {"markers in another order", {kMarkers, {}, {}}, {{"M2", "M1", "M3", "M4", "M5"}, {}, {}}, stateDiffers(0)},
        {"a selected value changed",
         {kWithExtras, {}, {}},
         {kMarkers, {}, {}, [this] { at(0, 17, 3) += 0.5f; }},
         kOtherData},
        {"the selected values transformed",
         {kMarkers, kOutputs, {}},
         {kMarkers, {}, {}, [this] { data->applyArcSinTransform(5, std::vector<bool>(5, true)); }},
         kOtherData},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        removeCaches();
        ASSERT_TRUE(contains(open(c.written), "\nProcessing File: "));
        const std::vector<int> cached = spade->localDensities()[0];

        const std::string out = open(c.read);
        if (c.message.empty()) {
            EXPECT_TRUE(contains(out, kLoaded)) << out;
            EXPECT_FALSE(contains(out, "Processing File")) << out;
            EXPECT_EQ(spade->localDensities()[0], cached);
            continue;
        }
        EXPECT_TRUE(contains(out, std::string("\tTrying to load cached densities ..") + c.message)) << out;
        EXPECT_TRUE(contains(out, "\nProcessing File: ")) << out;
        EXPECT_EQ(spade->localDensities()[0], bruteDensities(0, spade->densityRadii()[0]));
        // The cache now holds this session's selection.
        EXPECT_TRUE(contains(open(c.read), kLoaded));
    }
}

// A cache written before markers were named (the selected columns by their
// positions) is still taken for the same columns, and recomputed, with the
// reason it always gave, for others.
TEST_F(SpadeCacheSelection, OfTheEarlierFormFitsOnlyColumnsInTheSamePlaces) {
    const Session written{kMarkers, kOutputs, {}};
    const std::string checksumFile = path("c_checksum.txt");
    const auto toEarlierForm = [&] {
        const QByteArray now = bytes(checksumFile);
        const QList<QByteArray> lines = now.split('\n');
        ASSERT_GE(lines.size(), 4);
        QFile f(QString::fromStdString(checksumFile));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(lines[0] + "\ncolumns 0 1 2 3 4\n" + lines[1] + "\n" + lines[2] + "\n");
    };
    const struct {
        const char* name;
        Session read;
        std::string message;  // empty: loaded
    } cases[] = {
        {"the same columns", written, ""},
        {"another column appended", {kMarkers, {"QLMRN_ST", "QLMRN_TsneX", "QLMRN_TsneY", "Z"}, {}}, ""},
        {"fewer columns", {kMarkers, {}, {}}, stateDiffers(5)},
        {"a value changed", {kMarkers, kOutputs, {}, [this] { at(0, 3, 1) += 0.5f; }}, kOtherData},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        removeCaches();
        open(written);
        const std::vector<int> cached = spade->localDensities()[0];
        toEarlierForm();
        const std::string out = open(c.read);
        if (c.message.empty()) {
            EXPECT_TRUE(contains(out, kLoaded)) << out;
            EXPECT_EQ(spade->localDensities()[0], cached);
            continue;
        }
        EXPECT_TRUE(contains(out, std::string("\tTrying to load cached densities ..") + c.message)) << out;
        EXPECT_TRUE(contains(out, "\nProcessing File: ")) << out;
        // Rewritten in the current form, which the next session takes.
        EXPECT_TRUE(bytes(checksumFile).contains("\nmarkers 5\n"));
        EXPECT_TRUE(contains(open(c.read), kLoaded));
    }
}

}  // namespace
