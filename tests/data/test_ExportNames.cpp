// How file names are taken apart: only the last '/' separates the folder and
// only a '.' of the file's own name starts its extension.
#include "data/MCV_ExportNames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ExportNames, SplitAPathAtItsLastSlashAndItsNameAtItsLastDot) {
    const struct {
        const char* path;
        const char* folder;
        const char* fileName;
        const char* base;
        bool fcs;
    } cases[] = {
        {"/x/run7/sample", "/x/run7/", "sample", "/x/run7/sample", false},
        {"/x/run.7/sample", "/x/run.7/", "sample", "/x/run.7/sample", false},
        {"my.sample.v2.fcs", "", "my.sample.v2.fcs", "my.sample.v2", true},
        {"sample", "", "sample", "sample", false},
        {"/x/s1.FcS", "/x/", "s1.FcS", "/x/s1", true},
        {"/x/s1.fcs.bak", "/x/", "s1.fcs.bak", "/x/s1.fcs", false},
        {"/x/a.fcsx", "/x/", "a.fcsx", "/x/a", false},
        {"/x/a.fc", "/x/", "a.fc", "/x/a", false},
        {"/x/fcs", "/x/", "fcs", "/x/fcs", false},
        {"/x.fcs/", "/x.fcs/", "", "/x.fcs/", false},
        {"/x/.fcs", "/x/", ".fcs", "/x/", true},
        {"/", "/", "", "/", false},
        {"", "", "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(MCV_ExportNames::folder(c.path), c.folder);
        EXPECT_EQ(MCV_ExportNames::fileName(c.path), c.fileName);
        EXPECT_EQ(MCV_ExportNames::folder(c.path) + MCV_ExportNames::fileName(c.path), c.path);
        EXPECT_EQ(MCV_ExportNames::base(c.path), c.base);
        EXPECT_EQ(MCV_ExportNames::isFcs(c.path), c.fcs);
    }
}

}  // namespace
