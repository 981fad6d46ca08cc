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
    std::vector<float> values;                    // little-endian float data only: $TOT x $PAR, row-major

    std::string get(const std::string& k) const {
        auto it = keywords.find(k);
        return it == keywords.end() ? std::string() : it->second;
    }
    StrictFcs& fail(const std::string& why) { return error = why, *this; }
    int64_t number(const std::string& k) const { return std::atoll(get(k).c_str()); }

    static StrictFcs parse(const std::string& bytes) {
        StrictFcs r;
        if (bytes.size() < 58) return r.fail("shorter than a HEADER");
        const int64_t textStart = std::atoll(bytes.substr(10, 8).c_str()),
                      textEnd = std::atoll(bytes.substr(18, 8).c_str());
        if (textStart < 58 || textEnd < textStart || static_cast<size_t>(textEnd) >= bytes.size())
            return r.fail("bad TEXT offsets");
        const std::string text = bytes.substr(size_t(textStart), size_t(textEnd - textStart + 1));
        const char d = text[0];
        size_t i = 1;
        const auto token = [&](std::string* out) {
            for (out->clear(); i < text.size(); *out += text[i++])
                if (text[i] == d) {
                    if (i + 1 == text.size() || text[i + 1] != d) return ++i, true;
                    ++i;
                }
            return false;
        };
        // Padding after the last delimiter is allowed.
        while (text.find_first_not_of(' ', i) != std::string::npos) {
            std::string k, v;
            if (!token(&k) || k.empty() || !token(&v) || v.empty()) return r.fail("empty or unterminated pair at " + k);
            if (!r.keywords.emplace(k, v).second) return r.fail("repeated keyword " + k);
        }
        std::vector<std::string> required = {"$BEGINANALYSIS", "$BEGINDATA",   "$BEGINSTEXT", "$BYTEORD",
                                             "$DATATYPE",      "$ENDANALYSIS", "$ENDDATA",    "$ENDSTEXT",
                                             "$MODE",          "$NEXTDATA",    "$PAR",        "$TOT"};
        int64_t rowBytes = 0;
        for (int64_t p = 1; p <= r.number("$PAR"); ++p) {
            for (const char* s : {"B", "E", "N", "R"}) required.push_back("$P" + std::to_string(p) + s);
            rowBytes += r.number("$P" + std::to_string(p) + "B") / 8;
        }
        for (const std::string& k : required)
            if (!r.keywords.count(k)) return r.fail("missing " + k);
        const int64_t begin = r.number("$BEGINDATA"), end = r.number("$ENDDATA"), size = r.number("$TOT") * rowBytes;
        if (size > 0 && (end - begin + 1 != size || end >= static_cast<int64_t>(bytes.size())))
            return r.fail("DATA offsets do not match $TOT, $PAR and $PnB");
        if (r.get("$DATATYPE") == "F" && r.get("$BYTEORD") == "1,2,3,4" && rowBytes == 4 * r.number("$PAR")) {
            r.values.resize(size_t(size) / 4);
            if (size > 0) std::memcpy(r.values.data(), bytes.data() + begin, size_t(size));
        }
        r.ok = true;
        return r;
    }
};
