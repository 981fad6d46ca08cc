#pragma once

// A fresh data model with two sample files (names with '#' and a space, as
// file systems allow) of 20 and 12 events over three markers, and the
// registered "All Points" set.

#include "data/FcsTestFile.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/base/UI_ModalDialogs.h"

#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace viewtest {

class DataFixture : public ::testing::Test {
protected:
    void SetUp() override {
        delete MCV_CytometryData::Instance();
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        data->init(nullptr);
        ASSERT_TRUE(dir.isValid());
        const std::vector<std::string> files = {"run #1 a.fcs", "run?2.fcs"};
        const std::vector<int> events = {20, 12};
        for (size_t f = 0; f < files.size(); ++f) {
            std::vector<std::vector<float>> rows;
            for (int e = 0; e < events[f]; ++e)
                rows.push_back({static_cast<float>(e), static_cast<float>(f), static_cast<float>(e % 3)});
            FcsTestFile fcs = FcsTestFile::floats(rows);
            fcs.set("$P1S", "CD3");
            fcs.set("$P2S", "CD4");
            fcs.set("$P3S", "CD8");
            ASSERT_EQ(data->loadFromFile(fcs.write(dir, files[f])), 0);
        }
        data->initAllDerviedDataPointer();
        all = data->derivedDataPoints("All Points", true);
        ASSERT_NE(all, nullptr);
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
    }
    void TearDown() override {
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
        delete MCV_CytometryData::Instance();
    }

    // Answers the next file dialog with `path`.
    static void answerWith(const QString& path) {
        UI_ModalDialogs::answerDialog([path](QDialog* d) {
            static_cast<QFileDialog*>(d)->selectFile(path);
            d->done(QDialog::Accepted);
            return static_cast<int>(QDialog::Accepted);
        });
    }
    static QByteArray bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
    MCV_DerivedDataPoints* all = nullptr;
};

}  // namespace viewtest
