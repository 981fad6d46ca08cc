#pragma once

// Builds small FCS files for the reader's tests, and loads them back.

#include "data/MCV_FcsHeader.h"
#include "data/MCV_FcsLoader.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
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
    std::string data, afterData;
    // Where the DATA offsets are written; with both off the file has none.
    bool dataOffsetsInHeader = true, dataOffsetsInText = true;
    // Replaces HEADER field i (0 TEXT start ... 5 ANALYSIS end) when not empty;
    // right-aligned in its 8 characters.
    std::string headerField[6];
    // Added to the true DATA begin and end offsets written in the HEADER / TEXT.
    int64_t headerShift[2] = {0, 0}, textShift[2] = {0, 0};

    void set(const std::string& key, const std::string& value) {
        for (auto& kv : keywords)
            if (kv.first == key) return void(kv.second = value);
        keywords.emplace_back(key, value);
    }
    void remove(const std::string& key) {
        keywords.erase(
            std::remove_if(keywords.begin(), keywords.end(), [&](const auto& kv) { return kv.first == key; }),
            keywords.end());
    }

    std::string bytes() const {
        // The TEXT's offsets are zero-padded to 12 digits, so its length does
        // not depend on them.
        const auto text = [&](int64_t start, int64_t end) {
            std::string t(1, delimiter);
            for (const auto& kv : keywords) t += pair(kv.first, kv.second);
            if (dataOffsetsInText)
                t += pair("$BEGINDATA", number(start + textShift[0], "%012lld")) +
                     pair("$ENDDATA", number(end + textShift[1], "%012lld"));
            return t;
        };
        const int64_t start = 64 + static_cast<int64_t>(text(0, 0).size());
        const int64_t end = start + static_cast<int64_t>(data.size()) - 1;
        const bool inHeader = dataOffsetsInHeader;
        const int64_t fields[6] = {64, start - 1, inHeader ? start + headerShift[0] : 0,
                                   inHeader ? end + headerShift[1] : 0};
        std::string head = version;
        head.resize(10, ' ');
        for (int i = 0; i < 6; ++i) {
            const std::string f = headerField[i].empty() ? number(fields[i], "%lld") : headerField[i];
            head += std::string(8 - std::min<size_t>(8, f.size()), ' ') + f;
        }
        head.resize(64, ' ');
        return head + text(start, end) + data + afterData;
    }

    std::string write(const QTemporaryDir& dir, const std::string& name) const {
        const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
        return writeBytes(path, bytes()), path;
    }
    static void writeBytes(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
    }

    // A list-mode file of `events` rows with the given per-parameter widths in
    // bits; the caller fills `data`.
    static FcsTestFile listMode(const std::string& dataType, int events, const std::vector<int>& bits,
                                const std::string& byteOrder = "1,2,3,4") {
        FcsTestFile f;
        f.keywords = {{"$BYTEORD", byteOrder}, {"$DATATYPE", dataType}, {"$MODE", "L"}, {"$NEXTDATA", "0"}};
        f.set("$PAR", std::to_string(bits.size()));
        f.set("$TOT", std::to_string(events));
        for (size_t i = 0; i < bits.size(); ++i) {
            const std::string values[] = {"Ch" + std::to_string(i + 1), std::to_string(bits[i]), "0,0", "262144"};
            for (int k = 0; k < 4; ++k) f.keywords.emplace_back("$P" + std::to_string(i + 1) + "NBER"[k], values[k]);
        }
        return f;
    }
    // Float data, row-major, in the given byte order.
    static FcsTestFile floats(const std::vector<std::vector<float>>& rows, bool bigEndian = false) {
        FcsTestFile f =
            listMode("F", static_cast<int>(rows.size()), std::vector<int>(rows.empty() ? 1 : rows[0].size(), 32),
                     bigEndian ? "4,3,2,1" : "1,2,3,4");
        for (const auto& row : rows)
            for (float v : row) f.data += stored(v, bigEndian);
        return f;
    }
    // The first `bytes` bytes of `value` (the host is little-endian), in the
    // given byte order.
    template <class T>
    static std::string stored(T value, bool bigEndian, size_t bytes = sizeof(T)) {
        std::string s(reinterpret_cast<const char*>(&value), bytes);
        if (bigEndian) std::reverse(s.begin(), s.end());
        return s;
    }

private:
    std::string pair(const std::string& k, const std::string& v) const {
        std::string out;
        for (const std::string* s : {&k, &v}) {
            for (char c : *s) out.append(c == delimiter ? 2 : 1, c);
            out += delimiter;
        }
        return out;
    }
    static std::string number(int64_t v, const char* format) {
        char buf[32];
        std::snprintf(buf, sizeof buf, format, static_cast<long long>(v));
        return buf;
    }
};

// One load, with everything it produced.
struct FcsLoad {
    int code = -100;
    std::unique_ptr<MCV_FcsHeader> header;
    std::unique_ptr<float[]> matrix;
    MCV_FcsLoader loader;

    explicit FcsLoad(const std::string& path) : header(new MCV_FcsHeader(nullptr)) {
        static float untouched;
        float* data = &untouched;
        header->setFileName(path);
        loader.init();
        code = loader.loadFromFile(&data, header.get());
        if (data != &untouched) matrix.reset(data);
    }
    float at(size_t event, size_t variable) const {
        return matrix[event * static_cast<size_t>(header->numVariables()) + variable];
    }
};
