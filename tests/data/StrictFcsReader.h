#pragma once

// A small FCS 3.1 reader that applies the standard's rules strictly, as other
// FCS software does: HEADER offsets, a TEXT of keyword/value pairs where a
// doubled delimiter stands for one literal delimiter and no keyword or value
// may be empty, required keywords, and DATA offsets that match $TOT, $PAR and
// $PnB. Independent of the application's own reader.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

struct StrictFcs {
    bool ok = false;
    std::string error;
    std::map<std::string, std::string> keywords;  // in file case
    std::vector<float> values;                    // $TOT x $PAR, row-major

    std::string get(const std::string& k) const {
        auto it = keywords.find(k);
        return it == keywords.end() ? std::string() : it->second;
    }

    static StrictFcs parse(const std::string& bytes) {
        StrictFcs r;
        if (bytes.size() < 58) return r.fail("shorter than a HEADER");
        auto field = [&](size_t at) { return std::atoll(bytes.substr(at, 8).c_str()); };
        const int64_t textStart = field(10), textEnd = field(18);
        if (textStart < 58 || textEnd < textStart || static_cast<size_t>(textEnd) >= bytes.size())
            return r.fail("bad TEXT offsets");
        const std::string text =
            bytes.substr(static_cast<size_t>(textStart), static_cast<size_t>(textEnd - textStart + 1));
        const char d = text[0];
        size_t i = 1;
        auto token = [&](std::string* out) {
            out->clear();
            while (i < text.size()) {
                if (text[i] == d) {
                    if (i + 1 < text.size() && text[i + 1] == d) {
                        *out += d;
                        i += 2;
                        continue;
                    }
                    ++i;
                    return true;
                }
                *out += text[i++];
            }
            return false;
        };
        while (i < text.size()) {
            // Padding after the last delimiter is allowed.
            if (text.find_first_not_of(' ', i) == std::string::npos) break;
            std::string k, v;
            if (!token(&k) || k.empty()) return r.fail("empty or unterminated keyword at " + std::to_string(i));
            if (!token(&v) || v.empty()) return r.fail("empty or unterminated value of " + k);
            if (r.keywords.count(k)) return r.fail("repeated keyword " + k);
            r.keywords[k] = v;
        }
        for (const char* k : {"$BEGINANALYSIS", "$BEGINDATA", "$BEGINSTEXT", "$BYTEORD", "$DATATYPE", "$ENDANALYSIS",
                              "$ENDDATA", "$ENDSTEXT", "$MODE", "$NEXTDATA", "$PAR", "$TOT"})
            if (!r.keywords.count(k)) return r.fail(std::string("missing ") + k);
        const int64_t par = std::atoll(r.get("$PAR").c_str()), tot = std::atoll(r.get("$TOT").c_str());
        for (int64_t p = 1; p <= par; ++p)
            for (const char* s : {"B", "E", "N", "R"})
                if (!r.keywords.count("$P" + std::to_string(p) + s))
                    return r.fail("missing $P" + std::to_string(p) + s);
        int64_t rowBytes = 0;
        for (int64_t p = 1; p <= par; ++p) rowBytes += std::atoll(r.get("$P" + std::to_string(p) + "B").c_str()) / 8;
        const int64_t begin = std::atoll(r.get("$BEGINDATA").c_str()), end = std::atoll(r.get("$ENDDATA").c_str());
        const int64_t size = tot * rowBytes;
        if (size > 0 && (end - begin + 1 != size || end >= static_cast<int64_t>(bytes.size())))
            return r.fail("DATA offsets do not match $TOT, $PAR and $PnB");
        if (r.get("$DATATYPE") == "F" && r.get("$BYTEORD") == "1,2,3,4" && rowBytes == 4 * par && size > 0) {
            r.values.resize(static_cast<size_t>(tot * par));
            std::memcpy(r.values.data(), bytes.data() + begin, static_cast<size_t>(size));
        }
        r.ok = true;
        return r;
    }

private:
    StrictFcs& fail(const std::string& why) {
        error = why;
        return *this;
    }
};
