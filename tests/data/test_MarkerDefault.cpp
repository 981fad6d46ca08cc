// The default marker selection as it is kept beside the data: the files'
// markers' flags and the sample tag's, taken from a marker list's states and
// given back as states of the data as they are when the file is read again.
#include "FcsTestFile.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_MarkerDefault.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

// A data set of one file; `names` are its variables as the file brings them.
std::unique_ptr<MCV_CytometryData> dataOf(const QTemporaryDir& dir, const std::vector<std::string>& names) {
    std::unique_ptr<MCV_CytometryData> data = MCV_CytometryData::createDetached();
    data->init(nullptr);
    FcsTestFile f =
        FcsTestFile::floats({std::vector<float>(names.size(), 1.0f), std::vector<float>(names.size(), 2.0f)});
    for (size_t i = 0; i < names.size(); ++i) f.set("$P" + std::to_string(i + 1) + "N", names[i]);
    EXPECT_EQ(data->loadFromFile(f.write(dir, "cells.fcs")), 0);
    return data;
}

TEST(MarkerDefault, TheFileKeepsTheFilesMarkersAndTheTagWhereverTheProgramPutThem) {
    const struct {
        const char* name;
        std::vector<std::string> fileNames;
        std::function<void(MCV_CytometryData&)> added;  // what the program added, in order
        std::vector<bool> states;                       // one per variable
        std::vector<bool> file;                         // as written
        std::vector<bool> back;                         // states after the same steps, read again
    } cases[] = {
        {"nothing added",
         {"A", "B", "C"},
         [](MCV_CytometryData&) {},
         {true, false, true},
         {true, false, true},
         {true, false, true}},
        {"the tag, then outputs",
         {"A", "B", "C"},
         [](MCV_CytometryData& d) {
             d.addDimensions({"QLMRN_ST"}, -1.0f);
             d.addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.0f);
         },
         {false, true, true, true, true, false},
         {false, true, true, true},
         {false, true, true, true, false, false}},
        {"colours before the tag",
         {"A", "B"},
         [](MCV_CytometryData& d) {
             d.addDimensions({"Red", "Green", "Blue"}, 0.5f);
             d.addDimensions({"QLMRN_ST"}, -1.0f);
         },
         {true, false, true, true, true, false},
         {true, false, false},
         {true, false, false, false, false, false}},
        {"outputs without the tag",
         {"A", "B"},
         [](MCV_CytometryData& d) {
             d.addDimensions({"QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.0f);
         },
         {false, true, true, true},
         {false, true},
         {false, true, false, false}},
        // Files exported with their tag bring a variable of that name; the
        // program's own tag comes after it.
        {"a tag the files bring",
         {"A", "QLMRN_ST"},
         [](MCV_CytometryData& d) { d.addDimensions({"QLMRN_ST"}, -1.0f); },
         {true, true, false},
         {true, true, false},
         {true, true, false}},
        {"states shorter than the variables",
         {"A", "B", "C"},
         [](MCV_CytometryData& d) { d.addDimensions({"QLMRN_ST"}, -1.0f); },
         {true},
         {true, false, false, false},
         {true, false, false, false}},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<MCV_CytometryData> before = dataOf(dir, c.fileNames);
        c.added(*before);
        EXPECT_EQ(before->fileVariableCount(), int(c.fileNames.size()));
        const MCV_MarkerDefault kept = MCV_MarkerDefault::fromStates(c.states, *before);
        EXPECT_EQ(kept.fileFlags(), c.file);

        std::unique_ptr<MCV_CytometryData> again = dataOf(dir, c.fileNames);
        const MCV_MarkerDefault read = MCV_MarkerDefault::fromFileFlags(kept.fileFlags(), c.fileNames.size());
        EXPECT_EQ(read.markers, kept.markers);
        EXPECT_EQ(read.statesFor(*again), std::vector<bool>(kept.markers)) << "no tag yet: the markers only";
        c.added(*again);
        EXPECT_EQ(read.statesFor(*again), c.back);
        EXPECT_EQ(MCV_MarkerDefault::filePath(*again), dir.path().toStdString() + "/QLMRN_DefaultMarkers.txt");
    }
    std::unique_ptr<MCV_CytometryData> none = MCV_CytometryData::createDetached();
    EXPECT_EQ(MCV_MarkerDefault::filePath(*none), "") << "no files, no folder";
    EXPECT_EQ(none->fileVariableCount(), 0);
}

// Earlier versions wrote a flag for every variable in order: the files'
// markers, then the tag the import added first, then the output variables.
TEST(MarkerDefault, AnEarlierVersionsLongerFileGivesTheMarkersAndTheTag) {
    const struct {
        std::vector<bool> flags;
        size_t markers;
        std::vector<bool> applied;
        bool hasTag, tag;
    } cases[] = {
        {{true, false, true, true, false, false, true}, 3, {true, false, true}, true, true},
        {{false, true, false, false}, 3, {false, true, false}, true, false},
        {{false, true, false}, 3, {false, true, false}, false, false},
        {{}, 0, {}, false, false},
    };
    for (const auto& c : cases) {
        const MCV_MarkerDefault d = MCV_MarkerDefault::fromFileFlags(c.flags, c.markers);
        EXPECT_EQ(d.markers, c.applied);
        EXPECT_EQ(d.hasTag, c.hasTag);
        EXPECT_EQ(d.tag, c.tag);
    }
}

}  // namespace
