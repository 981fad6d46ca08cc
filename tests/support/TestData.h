// The real files written by instruments and other software that the tests
// read live in the repository (tests/data/fcs, see SOURCES.md there). A test
// that reads one checks first that it is there, so a missing file fails the
// test with its path instead of crashing it.
#pragma once

#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

inline QString realFcsDir() { return QStringLiteral(QLMRN_TEST_DATA_DIR "/fcs"); }
inline QString realFcsFile(const QString& name) { return realFcsDir() + "/" + name; }

#define ASSERT_REAL_FCS_FILE(name) \
    ASSERT_TRUE(QFileInfo::exists(realFcsFile(name))) << "test data missing: " << realFcsFile(name).toStdString()
