#include "data/MCV_Settings.h"

MCV_Settings* MCV_Settings::Instance() {
    static MCV_Settings* instance = new MCV_Settings();
    return instance;
}

void MCV_Settings::setDefaultMarkers(std::vector<bool> markers) { defaultMarkers = std::move(markers); }

void MCV_Settings::setDefaultSamples(std::map<std::string, bool> samples) { defaultSamples = std::move(samples); }

void MCV_Settings::setDefaultSampleColors(std::map<std::string, std::vector<float>> colors) {
    defaultSampleColors = std::move(colors);
}
