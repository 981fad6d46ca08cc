#pragma once

// A fresh data set per test, loaded from FCS files of float rows written into
// a temporary folder.

#include "data/FcsTestFile.h"
#include "support/CapturedOutput.h"

#include "data/MCV_CytometryData.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using Rows = std::vector<std::vector<float>>;

class ClusteringDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        fresh();
    }
    void TearDown() override { delete MCV_CytometryData::Instance(); }

    // An empty data set in place of the previous one.
    void fresh(MCV_UiInterface* ui = nullptr) {
        delete MCV_CytometryData::Instance();
        data = MCV_CytometryData::Instance();
        data->init(ui);
    }
    // Writes an FCS file of float rows (of `width` variables when there is no
    // row) into the folder; variables named `names`, the rest `stem`1..`stem`n.
    std::string write(const std::string& name, const Rows& rows, size_t width = 0, std::vector<std::string> names = {},
                      const std::string& stem = "M") {
        if (!rows.empty()) width = rows[0].size();
        FcsTestFile f =
            rows.empty() ? FcsTestFile::listMode("F", 0, std::vector<int>(width, 32)) : FcsTestFile::floats(rows);
        for (size_t v = names.size(); v < width; ++v) names.push_back(stem + std::to_string(v + 1));
        for (size_t v = 0; v < width; ++v) f.set("$P" + std::to_string(v + 1) + "S", names[v]);
        return f.write(dir, name);
    }
    // Loads the files (in this order) into the data set.
    void load(const std::vector<std::string>& paths) {
        for (const std::string& p : paths) {
            int code = -1;
            quietly([&] { code = data->loadFromFile(p); });
            ASSERT_EQ(code, 0) << p;
        }
        data->initAllDerviedDataPointer();
    }

    QTemporaryDir dir;
    MCV_CytometryData* data = nullptr;
};
