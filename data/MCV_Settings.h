#pragma once

#include <map>
#include <string>
#include <vector>

// Process-wide in-memory defaults for the current data: chosen markers, shown
// samples and sample colours (red, green, blue). Nothing here is written to disk.
class MCV_Settings {
public:
    static MCV_Settings* Instance();

    void setDefaultMarkers(std::vector<bool> markers);
    void setDefaultSamples(std::map<std::string, bool> samples);
    void setDefaultSampleColors(std::map<std::string, std::vector<float>> colors);

    std::vector<bool> defaultMarkers;
    std::map<std::string, bool> defaultSamples;
    std::map<std::string, std::vector<float>> defaultSampleColors;

private:
    MCV_Settings() = default;
};
