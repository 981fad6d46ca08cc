// FCS TEXT segments made to cost memory or time: a $PAR far beyond what the
// keywords describe, every $PnB for millions of parameters, differing repeats,
// many repeats of a first value half the TEXT long, a value of delimiters,
// and the shapes that cost the most per byte: the shortest distinct keywords
// with empty values, and a TEXT of little but $PnB keywords for a file that
// loads. Each file is loaded once in a fresh process; its peak memory (above
// what the process held before the load) is printed next to its TEXT size,
// its time next to the baseline: the load of a TEXT of the same size made of
// plain keywords, measured in the same run (what reading and splitting so
// many bytes costs).
//
// Goals, for every refused or loaded file (those marked "no goal" describe
// what they claim, and are shown for their figures only):
// peak memory <= 8 x TEXT + 16 MB; time <= 2 x baseline, per byte of TEXT.
//
//   bench_fcs_text [--mb N]    TEXT size in MiB, 1 to 95 (default 95)

#include "FcsLoadInChild.h"
#include "bench/support/BenchArguments.h"
#include "bench/support/Verdict.h"
#include "data/MCV_FcsText.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The keywords every file starts with; $PAR, $TOT and the widths follow.
const std::string kLayout = "/$BYTEORD/1,2,3,4/$DATATYPE/I/$MODE/L/$NEXTDATA/0/";

// A junk keyword of four printable characters: no lower-case letters (keywords
// are matched without regard to case, so they would repeat upper-case ones),
// no delimiter and no '$', so every one is distinct and none is a keyword the
// reader asks for. 66^4 of them.
void appendJunkKey(std::string& out, size_t i) {
    static const std::string symbols = [] {
        std::string s;
        for (char c = '!'; c <= '~'; ++c)
            if (c != '/' && c != '$' && !(c >= 'a' && c <= 'z')) s += c;
        return s;
    }();
    for (int k = 0; k < 4; ++k, i /= symbols.size()) out += symbols[i % symbols.size()];
}

// `text` (starting with its delimiter) after a HEADER whose DATA offsets are
// zeros, then `dataBytes` bytes of DATA.
void writeFile(const std::string& path, const std::string& text, size_t dataBytes = 0) {
    char head[65];
    std::snprintf(head, sizeof head, "FCS3.1    %8d%8zu%8d%8d%8d%8d      ", 64, 64 + text.size() - 1, 0, 0, 0, 0);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(head, 64);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    const std::string zeros(dataBytes, '\0');
    out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
}

std::string pad12(size_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%012zu", v);
    return buf;
}

// DATA offsets in the TEXT for `dataBytes` bytes right after it; the TEXT
// grows by the same number of bytes whatever the offsets are.
std::string withDataOffsets(std::string text, size_t dataBytes) {
    const size_t added = std::string("$BEGINDATA/" + pad12(0) + "/$ENDDATA/" + pad12(0) + "/").size();
    const size_t begin = 64 + text.size() + added;
    return text + "$BEGINDATA/" + pad12(begin) + "/$ENDDATA/" + pad12(begin + dataBytes - 1) + "/";
}

struct Bomb {
    std::string what;
    std::string text;
    size_t dataBytes;
    bool goal;
};

// Plain keywords up to `size` bytes: "/abcd/v" pairs after `start`.
std::string junkTo(std::string start, size_t size, size_t* keys = nullptr) {
    size_t i = 0;
    for (; start.size() + 7 <= size; ++i) {
        appendJunkKey(start, i);
        start += "/v/";
    }
    if (keys) *keys = i;
    return start;
}

std::string millions(size_t n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f M", double(n) / 1e6);
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == kChildArgument) return runChildLoad(argv[2]);
    int mb = 95;
    if (!BenchArguments()("--mb", mb).parse(argc, argv) || mb < 1 || mb > 95) {
        std::fprintf(stderr, "usage: bench_fcs_text [--mb 1..95]\n");
        return 2;
    }
    const size_t size = size_t(mb) << 20;
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    const std::string path = dir.filePath("text.fcs").toStdString();

    std::vector<Bomb> bombs;
    const std::string oneParameter = kLayout + "$TOT/0/$PAR/1/$P1B/32/$P1N/FSC/";
    bombs.push_back({"plain keywords, $PAR 1 (baseline)", junkTo(oneParameter, size), 0, true});
    size_t junkKeys = 0;
    junkTo(kLayout + "$TOT/0/$PAR/00000000/", size, &junkKeys);
    // The $PAR of the figures first measured on a TEXT of 99 MB, scaled to
    // this TEXT size; at most as many as there are keywords, as the reader
    // refuses more at once.
    for (size_t par : {size_t(14200000.0 * double(size) / 99e6), size_t(10000000.0 * double(size) / 99e6)}) {
        par = std::min(par, junkKeys);
        const std::string start =
            kLayout + "$TOT/0/$PAR/" + std::string(8 - std::to_string(par).size(), '0') + std::to_string(par) + "/";
        bombs.push_back({"$PAR " + millions(par) + " over " + millions(junkKeys) + " junk keywords, no $PnB",
                         junkTo(start, size), 0, true});
    }
    {
        // Every $PnB present: the parameters are described, but $TOT rows of
        // them need more DATA than the file holds.
        std::string widths;
        size_t n = 0;
        while (kLayout.size() + 64 + widths.size() < size) widths += "$P" + std::to_string(++n) + "B/8/";
        const std::string head = kLayout + "$PAR/" + std::to_string(n) + "/";
        bombs.push_back({"$PAR " + millions(n) + ", every $PnB, $TOT 1000: DATA beyond the file",
                         withDataOffsets(head + "$TOT/1000/" + widths, 1000 * n), 0, true});
        bombs.push_back({"$PAR " + millions(n) + ", every $PnB, $TOT 0: loads", head + "$TOT/0/" + widths, 0, false});
    }
    {
        // Each junk keyword given twice with different values.
        std::string text = oneParameter;
        for (size_t i = 0; text.size() + 14 <= size; ++i) {
            for (char v : {'1', '2'}) {
                appendJunkKey(text, i);
                text += '/';
                text += v;
                text += '/';
            }
        }
        bombs.push_back({"every junk keyword repeated with another value", text, 0, true});
    }
    {
        // Distinct keywords of three bytes (no delimiter, no lower-case letter,
        // no padding) with empty values, five bytes a pair: the most pairs a
        // TEXT can hold. As many as fill the keyword index to just past a
        // power of two, where it is largest for its pairs.
        std::string alphabet;
        for (int c = 1; c < 256; ++c)
            if (c != '/' && !(c >= 'a' && c <= 'z') && c != ' ' && c != '\t' && c != '\r' && c != '\n')
                alphabet += char(c);
        const size_t distinct = alphabet.size() * alphabet.size() * alphabet.size();
        // The index grows to the next power of two when the keywords (these
        // and the 8 of oneParameter) fill more than three quarters of it.
        const size_t fit = std::min(distinct, (size - oneParameter.size()) / 5);
        size_t pairs = 0;
        for (size_t capacity = 16; capacity / 4 * 3 + 1 - 8 <= fit; capacity *= 2) pairs = capacity / 4 * 3 + 1 - 8;
        std::string text = oneParameter;
        text.reserve(oneParameter.size() + 5 * pairs);
        for (size_t i = 0; i < pairs; ++i) {
            const size_t n = alphabet.size();
            text += alphabet[i % n];
            text += alphabet[i / n % n];
            text += alphabet[i / n / n % n];
            text += "//";
        }
        bombs.push_back({millions(pairs) + " distinct 3-byte keywords with empty values: loads", text, 0, true});
    }
    {
        // Little but $PnB keywords for the parameters of a file that loads:
        // the TEXT of the size first measured (1.46 MB), whatever the TEXT
        // size of the run.
        const size_t n = 131100;
        std::string text = kLayout + "$TOT/0/$PAR/" + std::to_string(n) + "/";
        for (size_t i = 1; i <= n; ++i) text += "$P" + std::to_string(i) + "B/8/";
        bombs.push_back({"$PAR 131,100, every $PnB, $TOT 0: loads", text, 0, false});
    }
    {
        // A keyword whose first value is half the TEXT long, then repeated with
        // short values that say the same until the TEXT is full: each repeat
        // is compared with a reading of the first value taken once. Last, the
        // longest first value that is read again for every repeat.
        struct Repeat {
            const char* key;
            std::string head, tail;  // around the long run of the first value
            char run;
            std::string repeat;
            size_t runLength = 0;  // 0: half the TEXT
        };
        const Repeat repeats[] = {
            {"$TOT", "", "0", '0', "0"},           {"$TOT", "0", "", ' ', "0"},
            {"$P1R", "", "262144", '0', "262144"}, {"$P1E", "", "0,0", '0', "0,0"},
            {"$DATATYPE", "I", "", ' ', "I"},      {"$P1N", "", "FSC", ' ', "FSC"},
            {"$COM", "c", "", ' ', "c"},           {"$P1E", "", "0,0", '0', "0", MCV_FcsText::kReadAnew - 3},
        };
        for (const Repeat& r : repeats) {
            const std::string first = r.head + std::string(r.runLength ? r.runLength : size / 2, r.run) + r.tail;
            std::string text = std::string("/") + r.key + "/" + first + oneParameter;
            const std::string pair = std::string(r.key) + "/" + r.repeat + "/";
            size_t n = 0;
            for (; text.size() + pair.size() <= size; ++n) text += pair;
            const std::string shown = r.runLength
                                          ? std::to_string(first.size()) + " bytes, zeros and \"" + r.tail + "\""
                                      : r.run != ' '   ? "zeros and \"" + r.tail + "\""
                                      : r.head.empty() ? "blanks and \"" + r.tail + "\""
                                                       : "\"" + r.head + "\" and blanks";
            bombs.push_back(
                {std::string(r.key) + " as " + shown + ", then " + millions(n) + " times \"" + r.repeat + "\"", text, 0,
                 true});
        }
    }
    {
        std::string text = oneParameter + "BIG/";
        text.append(size - text.size(), '/');
        bombs.push_back({"a value of delimiters", text, 0, true});
    }

    std::printf("FCS TEXT bombs, TEXT of %d MiB each; goals: peak <= 8 x TEXT + 16 MB, time <= 2 x baseline\n\n", mb);
    const double mib = double(1 << 20);
    double baselinePerByte = 0.0;
    bool allMet = true;
    for (size_t i = 0; i < bombs.size(); ++i) {
        Bomb& b = bombs[i];
        writeFile(path, b.text, b.dataBytes);
        const double textBytes = double(b.text.size());
        std::string().swap(b.text);
        const FcsChildLoad load = loadInChild(path);
        if (i == 0) baselinePerByte = load.seconds / textBytes;
        const double timeRatio = load.seconds / (baselinePerByte * textBytes);
        const double budget = 8.0 * textBytes + 16.0 * mib;
        const bool met = load.peakBytes >= 0 && double(load.peakBytes) <= budget && timeRatio <= 2.0;
        std::printf(
            "%s\n  code %d, TEXT %.0f MiB: peak %.0f MiB = %.2f x TEXT (ratio to the goal %.2f), %.2f s = "
            "%.2f x baseline  %s\n",
            b.what.c_str(), load.code, textBytes / mib, double(load.peakBytes) / mib,
            double(load.peakBytes) / textBytes, double(load.peakBytes) / budget, load.seconds, timeRatio,
            b.goal ? verdict(met) : "(no goal)");
        if (b.goal) allMet = allMet && met;
    }
    std::printf("\nall goals  %s\n", verdict(allMet));
    return 0;
}
