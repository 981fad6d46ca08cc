#pragma once

// Builds small FCS files for the reader's tests, and loads them back.

#include "data/MCV_FcsHeader.h"
#include "data/MCV_FcsLoader.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class FcsTestFile {
public:
    std::string version = "FCS3.1";
    char delimiter = '/';
    // Written in order; a delimiter inside a keyword or value is doubled.
    std::vector<std::pair<std::string, std::string>> keywords;
    std::string data;
    // Where the DATA offsets are written; with both off the file has none.
    bool dataOffsetsInHeader = true;
    bool dataOffsetsInText = true;
    // Replaces HEADER field i (0 TEXT start ... 5 ANALYSIS end) when not empty;
    // padded or cut to 8 characters.
    std::string headerField[6];
    // Added to the DATA offsets written in the HEADER / the TEXT (both ends),
    // and then to the end offset alone.
    int64_t headerDataShift = 0;
    int64_t textDataShift = 0;
    int64_t headerDataEndShift = 0;
    int64_t textDataEndShift = 0;
    std::string afterData;

    void set(const std::string& key, const std::string& value) {
        for (auto& kv : keywords)
            if (kv.first == key) {
                kv.second = value;
                return;
            }
        keywords.emplace_back(key, value);
    }
    void remove(const std::string& key) {
        for (size_t i = 0; i < keywords.size(); ++i)
            if (keywords[i].first == key) {
                keywords.erase(keywords.begin() + static_cast<long>(i));
                return;
            }
    }

    std::string bytes() const {
        const int64_t textStart = 64;
        // Offsets in the TEXT are zero-padded to a fixed width, so the TEXT
        // length does not depend on them.
        std::string text = pairsText();
        if (dataOffsetsInText) text += pair("$BEGINDATA", pad12(0)) + pair("$ENDDATA", pad12(0));
        const int64_t textEnd = textStart + static_cast<int64_t>(text.size()) - 1;
        const int64_t dataStart = textEnd + 1;
        const int64_t dataEnd = dataStart + static_cast<int64_t>(data.size()) - 1;
        if (dataOffsetsInText) {
            text = pairsText() + pair("$BEGINDATA", pad12(dataStart + textDataShift)) +
                   pair("$ENDDATA", pad12(dataEnd + textDataShift + textDataEndShift));
        }

        std::string head = version;
        head.resize(10, ' ');
        const int64_t fields[6] = {textStart,
                                   textEnd,
                                   dataOffsetsInHeader ? dataStart + headerDataShift : 0,
                                   dataOffsetsInHeader ? dataEnd + headerDataShift + headerDataEndShift : 0,
                                   0,
                                   0};
        for (int i = 0; i < 6; ++i) {
            std::string f = headerField[i];
            if (f.empty()) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%8lld", static_cast<long long>(fields[i]));
                f = buf;
            }
            f.resize(8, ' ');
            head += f;
        }
        head.resize(static_cast<size_t>(textStart), ' ');
        return head + text + data + afterData;
    }

    std::string write(const QTemporaryDir& dir, const std::string& name) const {
        const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
        writeBytes(path, bytes());
        return path;
    }

    static void writeBytes(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    // A list-mode file of `events` rows with the given per-parameter widths in
    // bits; the caller fills `data`.
    static FcsTestFile listMode(const std::string& dataType, int events, const std::vector<int>& bits,
                                const std::string& byteOrder = "1,2,3,4") {
        FcsTestFile f;
        f.set("$BYTEORD", byteOrder);
        f.set("$DATATYPE", dataType);
        f.set("$MODE", "L");
        f.set("$NEXTDATA", "0");
        f.set("$PAR", std::to_string(bits.size()));
        f.set("$TOT", std::to_string(events));
        for (size_t i = 0; i < bits.size(); ++i) {
            const std::string p = "$P" + std::to_string(i + 1);
            f.set(p + "N", "Ch" + std::to_string(i + 1));
            f.set(p + "B", std::to_string(bits[i]));
            f.set(p + "E", "0,0");
            f.set(p + "R", "262144");
        }
        return f;
    }

    // Float data, row-major, in the given byte order.
    static FcsTestFile floats(const std::vector<std::vector<float>>& rows, bool bigEndian = false) {
        const size_t pars = rows.empty() ? 1 : rows[0].size();
        FcsTestFile f =
            listMode("F", static_cast<int>(rows.size()), std::vector<int>(pars, 32), bigEndian ? "4,3,2,1" : "1,2,3,4");
        for (const auto& row : rows)
            for (float v : row) f.data += stored(&v, 4, bigEndian);
        return f;
    }

    // The bytes of a value of `n` bytes, in the given byte order (the host is
    // little-endian).
    static std::string stored(const void* value, size_t n, bool bigEndian) {
        std::string s(static_cast<const char*>(value), n);
        if (bigEndian) std::reverse(s.begin(), s.end());
        return s;
    }
    static std::string storedInt(uint64_t value, int bytes, bool bigEndian) {
        return stored(&value, static_cast<size_t>(bytes), bigEndian);
    }

private:
    std::string escaped(const std::string& s) const {
        std::string out;
        for (char c : s) {
            out += c;
            if (c == delimiter) out += c;
        }
        return out;
    }
    std::string pair(const std::string& k, const std::string& v) const {
        return escaped(k) + delimiter + escaped(v) + delimiter;
    }
    std::string pairsText() const {
        std::string t(1, delimiter);
        for (const auto& kv : keywords) t += pair(kv.first, kv.second);
        return t;
    }
    static std::string pad12(int64_t v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%012lld", static_cast<long long>(v));
        return buf;
    }
};

// One load, with everything it produced.
struct FcsLoad {
    int code = -100;
    std::unique_ptr<MCV_FcsHeader> header;
    std::unique_ptr<float[]> matrix;
    MCV_FcsLoader loader;
    float* untouched = nullptr;  // what *data held before the load

    explicit FcsLoad(const std::string& path) : header(new MCV_FcsHeader(nullptr)) {
        static float sentinel;
        untouched = &sentinel;
        float* data = untouched;
        header->setFileName(path);
        loader.init();
        code = loader.loadFromFile(&data, header.get());
        if (data != untouched) matrix.reset(data);
    }
    float at(size_t event, size_t variable) const {
        return matrix[event * static_cast<size_t>(header->numVariables()) + variable];
    }
};
