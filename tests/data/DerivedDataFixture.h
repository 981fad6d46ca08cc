#pragma once

// A fresh data set per test, filled from small FCS files, with a callback
// interface that records every notification in order.

#include "CallbackLog.h"
#include "FcsTestFile.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using Rows = std::vector<std::vector<float>>;
using Points = std::vector<std::pair<int, int>>;

class DerivedDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        fresh();
    }
    void TearDown() override { delete MCV_CytometryData::Instance(); }
    // Replaces the data set by an empty one.
    void fresh() {
        delete MCV_CytometryData::Instance();
        data = MCV_CytometryData::Instance();
        data->init(&ui);
    }

    // A float FCS file; `names` go to $PnS (labels are Ch1, Ch2, ...).
    std::string writeFcs(const std::string& file, const Rows& rows, const std::vector<std::string>& names) {
        FcsTestFile f = FcsTestFile::floats(rows);
        for (size_t v = 0; v < names.size(); ++v) f.set("$P" + std::to_string(v + 1) + "S", names[v]);
        return f.write(dir, file);
    }
    // Loads one file s<i>.fcs per entry of `files`, all with the variables `names`.
    void load(const std::vector<Rows>& files, const std::vector<std::string>& names = {"A", "B"}) {
        for (size_t i = 0; i < files.size(); ++i)
            ASSERT_EQ(data->loadFromFile(writeFcs("s" + std::to_string(i + 1) + ".fcs", files[i], names)), 0);
    }
    // Variable v of event e of file f, writable (the reader replaces NaN, so
    // tests put NaN in afterwards).
    float& at(int f, int e, int v) {
        return data->rawData(f)[static_cast<size_t>(e) * static_cast<size_t>(data->combinedHeader()->numVariables()) +
                                static_cast<size_t>(v)];
    }
    // Every event of every file, file by file.
    Points all() const {
        Points p;
        for (int f = 0; f < data->numFiles(); ++f)
            for (int e = 0; e < data->header(f)->numEvents(); ++e) p.emplace_back(f, e);
        return p;
    }
    std::string path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
    static std::string readAll(const std::string& p) {
        QFile f(QString::fromStdString(p));
        if (!f.open(QIODevice::ReadOnly)) return std::string("<missing>");
        const QByteArray b = f.readAll();
        return std::string(b.constData(), static_cast<size_t>(b.size()));
    }
    static bool exists(const std::string& p) { return QFile::exists(QString::fromStdString(p)); }

    QTemporaryDir dir;
    CallbackLog ui;
    MCV_CytometryData* data = nullptr;
};
