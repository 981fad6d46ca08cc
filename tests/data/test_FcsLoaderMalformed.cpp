// Files the reader must refuse: each gets its code, none hands back a matrix,
// and no damage to the bytes makes the reader crash.

#include "FcsTestFile.h"

#include "data/MCV_Messages.h"

#include <gtest/gtest.h>

#include <random>

namespace Code = MCV_LoadCode;

namespace {

FcsTestFile valid() { return FcsTestFile::floats({{1.0f, 2.0f}, {3.0f, 4.0f}}); }

// Loads `f` and checks that the refusal left *data alone.
int codeOf(const QTemporaryDir& dir, const FcsTestFile& f) {
    FcsLoad l(f.write(dir, "m.fcs"));
    EXPECT_FALSE(l.code == 0 && !l.matrix);
    if (l.code != 0) {
        EXPECT_FALSE(l.matrix) << "a refused load handed back a matrix";
    }
    return l.code;
}

int codeOfBytes(const QTemporaryDir& dir, const std::string& bytes) {
    const std::string path = dir.filePath("raw.fcs").toStdString();
    FcsTestFile::writeBytes(path, bytes);
    FcsLoad l(path);
    if (l.code != 0) {
        EXPECT_FALSE(l.matrix);
    }
    return l.code;
}

}  // namespace

TEST(FcsLoaderMalformed, UnopenablePathsHaveTheirOwnCode) {
    QTemporaryDir dir;
    MCV_FcsHeader header(nullptr);
    header.setFileName(dir.filePath("missing.fcs").toStdString());
    header.setNumEvents(77);
    float sentinel = 0;
    float* data = &sentinel;
    MCV_FcsLoader loader;
    EXPECT_EQ(loader.loadFromFile(&data, &header), Code::CannotOpen);
    EXPECT_EQ(data, &sentinel);
    EXPECT_EQ(header.numEvents(), 77);  // nothing read, nothing changed
    EXPECT_EQ(header.fcsVersion(), "");

    FcsLoad directory(dir.path().toStdString());
    EXPECT_EQ(directory.code, Code::CannotOpen);
    EXPECT_EQ(MCV_loadMessage(Code::CannotOpen), "Error code 9: The file cannot be opened.");
}

TEST(FcsLoaderMalformed, VersionAndDelimiter) {
    QTemporaryDir dir;
    FcsTestFile f = valid();
    f.version = "FCS1.0";
    EXPECT_EQ(codeOf(dir, f), Code::Fcs10NotSupported);
    f.version = "FCS3.2";
    EXPECT_EQ(codeOf(dir, f), Code::NoVersion);
    f.version = "FCS3.0x";
    EXPECT_EQ(codeOf(dir, f), Code::NoVersion);
    EXPECT_EQ(codeOfBytes(dir, ""), Code::NoVersion);
    EXPECT_EQ(codeOfBytes(dir, "FCS"), Code::NoVersion);
    EXPECT_EQ(codeOfBytes(dir, "hello world, not a cytometry file at all"), Code::NoVersion);
    // A good token in a file too short for a HEADER.
    EXPECT_EQ(codeOfBytes(dir, "FCS3.0    "), Code::MalformedText);

    for (char d : {' ', 'A', '\0', ','}) {
        SCOPED_TRACE(int(d));
        FcsTestFile g = valid();
        g.delimiter = d;
        EXPECT_EQ(codeOf(dir, g), Code::UnknownSeparator);
    }
}

TEST(FcsLoaderMalformed, HeaderOffsetsOutsideTheFile) {
    QTemporaryDir dir;
    FcsTestFile f = valid();
    f.headerField[0] = "99999999";  // TEXT start beyond the end
    EXPECT_EQ(codeOf(dir, f), Code::MalformedText);
    f.headerField[0] = "     100";
    f.headerField[1] = "      90";  // end below start
    EXPECT_EQ(codeOf(dir, f), Code::MalformedText);
    f.headerField[0] = "      10";  // inside the HEADER
    f.headerField[1] = "     100";
    EXPECT_EQ(codeOf(dir, f), Code::MalformedText);
    f.headerField[0] = "      64";
    f.headerField[1] = "99999999";
    EXPECT_EQ(codeOf(dir, f), Code::MalformedText);
    f.headerField[1] = "  abc   ";
    EXPECT_EQ(codeOf(dir, f), Code::MalformedText);
    f.headerField[1] = "        ";
    EXPECT_EQ(codeOf(dir, f), Code::MalformedText);
    f.headerField[0] = "-64     ";
    EXPECT_EQ(codeOf(dir, f), Code::MalformedText);
}

TEST(FcsLoaderMalformed, EventAndParameterCounts) {
    QTemporaryDir dir;
    const char* badTot[] = {"", "-1", "abc", "12x", "2147483648", "99999999999999999999999"};
    for (const char* tot : badTot) {
        SCOPED_TRACE(tot);
        FcsTestFile f = valid();
        f.set("$TOT", tot);
        EXPECT_EQ(codeOf(dir, f), Code::MalformedText);
    }
    FcsTestFile noTot = valid();
    noTot.remove("$TOT");
    EXPECT_EQ(codeOf(dir, noTot), Code::MalformedText);

    const char* badPar[] = {"0", "-2", "", "1e3", "2000000000"};
    for (const char* par : badPar) {
        SCOPED_TRACE(par);
        FcsTestFile f = valid();
        f.set("$PAR", par);
        EXPECT_EQ(codeOf(dir, f), Code::MalformedText);
    }
    FcsTestFile noPar = valid();
    noPar.remove("$PAR");
    EXPECT_EQ(codeOf(dir, noPar), Code::MalformedText);

    // More events than the DATA segment holds, or a $TOT so large that its
    // byte count cannot be in any file.
    FcsTestFile more = valid();
    more.set("$TOT", "3");
    EXPECT_EQ(codeOf(dir, more), Code::MalformedText);
    more.dataOffsetsInText = false;
    more.headerField[3] = "       0";
    EXPECT_EQ(codeOf(dir, more), Code::Truncated);
    more.set("$TOT", "2147483647");
    EXPECT_EQ(codeOf(dir, more), Code::Truncated);
}

TEST(FcsLoaderMalformed, MissingOrTruncatedData) {
    QTemporaryDir dir;
    FcsTestFile f = valid();
    f.dataOffsetsInHeader = f.dataOffsetsInText = false;
    EXPECT_EQ(codeOf(dir, f), Code::NoDataStart);
    f.dataOffsetsInText = true;
    f.textDataShift = -1000000;  // a negative start is no start
    EXPECT_EQ(codeOf(dir, f), Code::NoDataStart);

    FcsTestFile cut = valid();
    std::string bytes = cut.bytes();
    for (size_t drop : {1u, 4u, 15u}) {
        SCOPED_TRACE(drop);
        EXPECT_EQ(codeOfBytes(dir, bytes.substr(0, bytes.size() - drop)), Code::Truncated);
    }
    FcsTestFile beyond = valid();
    beyond.headerDataShift = beyond.textDataShift = 1;
    EXPECT_EQ(codeOf(dir, beyond), Code::Truncated);
}

TEST(FcsLoaderMalformed, UnsupportedLayoutsAreRefusedWithTheirCodes) {
    QTemporaryDir dir;
    struct Case {
        const char* key;
        const char* value;
        int code;
    };
    const Case cases[] = {
        {"$DATATYPE", "A", Code::UnsupportedDataType},
        {"$DATATYPE", "Q", Code::UnsupportedDataType},
        {"$DATATYPE", "", Code::UnsupportedDataType},
        {"$MODE", "C", Code::UnsupportedMode},
        {"$MODE", "U", Code::UnsupportedMode},
        {"$BYTEORD", "3,4,1,2", Code::UnsupportedByteOrder},
        {"$BYTEORD", "1,2,4,3", Code::UnsupportedByteOrder},
        {"$BYTEORD", "big", Code::UnsupportedByteOrder},
        {"$P2B", "64", Code::UnsupportedBitWidth},
        {"$P1B", "16", Code::UnsupportedBitWidth},
        {"$P1B", "*", Code::UnsupportedBitWidth},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        FcsTestFile f = valid();
        f.set(c.key, c.value);
        EXPECT_EQ(codeOf(dir, f), c.code);
    }
    FcsTestFile noType = valid();
    noType.remove("$DATATYPE");
    EXPECT_EQ(codeOf(dir, noType), Code::UnsupportedDataType);
    FcsTestFile noOrder = valid();
    noOrder.remove("$BYTEORD");
    EXPECT_EQ(codeOf(dir, noOrder), Code::UnsupportedByteOrder);
    FcsTestFile noWidth = valid();
    noWidth.remove("$P2B");
    EXPECT_EQ(codeOf(dir, noWidth), Code::MalformedText);
    // Without $MODE the file is list mode.
    FcsTestFile noMode = valid();
    noMode.remove("$MODE");
    EXPECT_EQ(codeOf(dir, noMode), 0);

    for (const char* bits : {"12", "10", "0", "72", "-16"}) {
        SCOPED_TRACE(bits);
        FcsTestFile f = FcsTestFile::listMode("I", 1, {16});
        f.set("$P1B", bits);
        f.data = "\x01\x02";
        EXPECT_EQ(codeOf(dir, f), Code::UnsupportedBitWidth);
    }
    FcsTestFile d = FcsTestFile::listMode("D", 1, {32});
    d.data = "\x01\x02\x03\x04";
    EXPECT_EQ(codeOf(dir, d), Code::UnsupportedBitWidth);
}

TEST(FcsLoaderMalformed, DamagedFilesNeverCrashAndAlwaysGetACode) {
    // Every prefix of a valid file, and many copies with random bytes
    // overwritten: the reader answers each with a code from the table and
    // hands back a matrix only on success.
    QTemporaryDir dir;
    FcsTestFile base = FcsTestFile::listMode("I", 3, {8, 16, 32});
    for (int e = 0; e < 3; ++e)
        base.data += FcsTestFile::storedInt(uint64_t(e), 1, false) + FcsTestFile::storedInt(uint64_t(e), 2, false) +
                     FcsTestFile::storedInt(uint64_t(e), 4, false);
    const std::string good = base.bytes();
    auto check = [&](const std::string& bytes) {
        const std::string path = dir.filePath("fz.fcs").toStdString();
        FcsTestFile::writeBytes(path, bytes);
        FcsLoad l(path);
        EXPECT_TRUE(l.code >= 0 && l.code <= Code::OutOfMemory) << l.code;
        EXPECT_EQ(l.code == 0, bool(l.matrix));
        if (l.code == 0) {
            EXPECT_GE(l.header->numVariables(), 1);
        }
    };
    for (size_t n = 0; n < good.size(); ++n) check(good.substr(0, n));

    std::mt19937 rng(1234);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes = good;
        const int edits = 1 + int(rng() % 4);
        for (int i = 0; i < edits; ++i) {
            const size_t at = rng() % bytes.size();
            switch (rng() % 3) {
                case 0:
                    bytes[at] = char(rng());
                    break;
                case 1:
                    bytes[at] = "0123456789/ -"[rng() % 13];
                    break;
                default:
                    bytes.erase(at, 1 + rng() % 8);
                    break;
            }
        }
        check(bytes);
    }
}

TEST(FcsLoaderMalformed, ALoaderCanBeReusedAfterARefusal) {
    QTemporaryDir dir;
    FcsTestFile bad = valid();
    bad.set("$MODE", "C");
    const std::string badPath = bad.write(dir, "bad.fcs");
    const std::string goodPath = valid().write(dir, "good.fcs");

    MCV_FcsLoader loader;
    MCV_FcsHeader h1(nullptr);
    h1.setFileName(badPath);
    float* data = nullptr;
    EXPECT_EQ(loader.loadFromFile(&data, &h1), Code::UnsupportedMode);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(h1.markerList(0)->size(), 0u);  // filled only on success

    MCV_FcsHeader h2(nullptr);
    h2.setFileName(goodPath);
    ASSERT_EQ(loader.loadFromFile(&data, &h2), 0);
    std::unique_ptr<float[]> owned(data);
    EXPECT_EQ(owned[3], 4.0f);
    EXPECT_EQ(loader.fetchValueForKey("$MODE"), "L");
}
