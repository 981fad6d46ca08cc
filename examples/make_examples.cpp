// Writes a small example data set for new users: three FCS 3.1 samples of
// about 20,000 events with twelve named markers. Events come from a handful of
// immune cell populations whose markers are log-normally distributed, so the
// data show clear cluster structure after an arcsine transform (cofactor 5).
//
// Usage: qlmrn_make_examples OUTPUT_FOLDER
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kMarkers = 12;
const std::array<const char*, kMarkers> kChannels = {"Y89Di",   "Pr141Di", "Nd142Di", "Nd143Di", "Nd144Di", "Nd145Di",
                                                     "Nd146Di", "Sm147Di", "Nd148Di", "Sm149Di", "Nd150Di", "Eu151Di"};
const std::array<const char*, kMarkers> kMarkerNames = {"CD45", "CD3",  "CD4",  "CD8",    "CD19",  "CD20",
                                                        "CD14", "CD16", "CD56", "HLA-DR", "CD11c", "CD123"};

struct Population {
    const char* name;
    double share;
    std::array<double, kMarkers> level;  // mean of ln(value) per marker
};

// Levels: ~0.5 negative, ~3 dim, ~4.5 positive, ~5.5 bright.
const std::vector<Population> kPopulations = {
    {"CD4 T cells", 0.32, {5.5, 4.5, 4.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}},
    {"CD8 T cells", 0.18, {5.5, 4.5, 0.5, 4.5, 0.5, 0.5, 0.5, 0.5, 3.0, 0.5, 0.5, 0.5}},
    {"B cells", 0.14, {5.0, 0.5, 0.5, 0.5, 4.5, 4.5, 0.5, 0.5, 0.5, 5.0, 0.5, 0.5}},
    {"Classical monocytes", 0.16, {4.5, 0.5, 3.0, 0.5, 0.5, 0.5, 5.5, 0.5, 0.5, 4.5, 4.5, 0.5}},
    {"NK cells", 0.12, {5.0, 0.5, 0.5, 3.0, 0.5, 0.5, 0.5, 5.0, 4.5, 0.5, 0.5, 0.5}},
    {"Myeloid DCs", 0.05, {4.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 5.5, 5.0, 0.5}},
    {"Plasmacytoid DCs", 0.03, {4.5, 0.5, 3.0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 4.5, 0.5, 5.0}},
};

// Builds the TEXT segment; data offsets are part of it, so callers iterate
// until the offsets they put in no longer change its length.
std::string textSegment(int64_t events, int64_t beginData, int64_t endData, const std::string& sample) {
    std::string t = "\\";
    auto kv = [&t](const std::string& k, const std::string& v) { t += k + "\\" + v + "\\"; };
    kv("$BEGINANALYSIS", "0");
    kv("$ENDANALYSIS", "0");
    kv("$BEGINSTEXT", "0");
    kv("$ENDSTEXT", "0");
    kv("$BEGINDATA", std::to_string(beginData));
    kv("$ENDDATA", std::to_string(endData));
    kv("$BYTEORD", "1,2,3,4");
    kv("$DATATYPE", "F");
    kv("$MODE", "L");
    kv("$NEXTDATA", "0");
    kv("$TOT", std::to_string(events));
    kv("$PAR", std::to_string(kMarkers));
    kv("$CYT", "Synthetic example");
    kv("$FIL", sample + ".fcs");
    kv("CREATOR", "Quillmaren example generator");
    for (int p = 0; p < kMarkers; ++p) {
        const std::string n = std::to_string(p + 1);
        kv("$P" + n + "N", kChannels[p]);
        kv("$P" + n + "S", kMarkerNames[p]);
        kv("$P" + n + "B", "32");
        kv("$P" + n + "E", "0,0");
        kv("$P" + n + "R", "65536");
    }
    return t;
}

bool writeSample(const std::filesystem::path& file, const std::string& sample, int events, uint32_t seed,
                 double shift) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);

    // Each sample shifts the population shares a little, as real donors do.
    std::vector<double> shares;
    double total = 0;
    for (size_t i = 0; i < kPopulations.size(); ++i) {
        const double s = kPopulations[i].share * (1.0 + shift * std::sin(1.7 * static_cast<double>(i) + shift * 5));
        shares.push_back(s);
        total += s;
    }

    std::vector<float> values(static_cast<size_t>(events) * kMarkers);
    for (int e = 0; e < events; ++e) {
        double pick = uniform(rng) * total;
        size_t pop = 0;
        while (pop + 1 < shares.size() && pick >= shares[pop]) pick -= shares[pop++];
        for (int m = 0; m < kMarkers; ++m) {
            const double level = kPopulations[pop].level[m];
            const double spread = level < 1.0 ? 0.9 : 0.35;
            double v = std::exp(level + spread * noise(rng)) - 1.5;  // instrument background
            values[static_cast<size_t>(e) * kMarkers + m] = static_cast<float>(std::max(v, -2.0));
        }
    }

    const int64_t textStart = 58;
    const int64_t dataBytes = static_cast<int64_t>(values.size()) * 4;
    std::string text;
    int64_t beginData = 0, endData = 0;
    for (int pass = 0; pass < 4; ++pass) {
        text = textSegment(events, beginData, endData, sample);
        beginData = textStart + static_cast<int64_t>(text.size());
        endData = beginData + dataBytes - 1;
    }
    text = textSegment(events, beginData, endData, sample);
    if (textStart + static_cast<int64_t>(text.size()) != beginData) return false;

    char header[128];
    std::snprintf(header, sizeof header, "FCS3.1    %8lld%8lld%8lld%8lld%8d%8d", (long long)textStart,
                  (long long)(textStart + static_cast<int64_t>(text.size()) - 1), (long long)beginData,
                  (long long)endData, 0, 0);

    std::ofstream out(file, std::ios::binary);
    out.write(header, 58);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.write(reinterpret_cast<const char*>(values.data()), static_cast<std::streamsize>(dataBytes));
    out.write("00000000", 8);  // empty CRC field
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " OUTPUT_FOLDER\n";
        return 2;
    }
    static_assert(sizeof(float) == 4, "FCS float data are 32 bits");
    const uint16_t probe = 1;
    if (*reinterpret_cast<const uint8_t*>(&probe) != 1) {
        std::cerr << "this generator writes little-endian data and must run on a little-endian machine\n";
        return 1;
    }
    const std::filesystem::path folder(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::cerr << "cannot create " << folder << ": " << ec.message() << "\n";
        return 1;
    }
    const int sizes[3] = {20000, 19000, 21000};
    for (int s = 0; s < 3; ++s) {
        const std::string name = "sample_" + std::to_string(s + 1);
        const std::filesystem::path file = folder / (name + ".fcs");
        if (!writeSample(file, name, sizes[s], 1234u + static_cast<uint32_t>(s), 0.25 * s)) {
            std::cerr << "cannot write " << file << "\n";
            return 1;
        }
        std::cout << "wrote " << file.string() << " (" << sizes[s] << " events, " << kMarkers << " markers)\n";
    }
    return 0;
}
