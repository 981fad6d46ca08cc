#include "data/MCV_MarkerDefault.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_SampleTag.h"

#include <algorithm>

std::string MCV_MarkerDefault::filePath(const MCV_CytometryData& data) {
    const std::string folder = data.filePath();
    return folder.empty() ? std::string() : folder + fileName;
}

int MCV_MarkerDefault::addedTagIndex(MCV_CytometryData& data) {
    MCV_FcsHeader* header = data.combinedHeader();
    if (!header) return -1;
    const std::vector<std::string>& names = *header->markerList(0);
    for (size_t i = static_cast<size_t>(std::max(0, data.fileVariableCount())); i < names.size(); ++i)
        if (MCV_SampleTag::is(names[i])) return static_cast<int>(i);
    return -1;
}

MCV_MarkerDefault MCV_MarkerDefault::fromStates(const std::vector<bool>& states, MCV_CytometryData& data) {
    MCV_MarkerDefault out;
    const size_t markers = static_cast<size_t>(std::max(0, data.fileVariableCount()));
    out.markers.assign(markers, false);
    std::copy_n(states.begin(), std::min(markers, states.size()), out.markers.begin());
    const int tag = addedTagIndex(data);
    if (tag >= 0) {
        out.hasTag = true;
        out.tag = static_cast<size_t>(tag) < states.size() && states[static_cast<size_t>(tag)];
    }
    return out;
}

MCV_MarkerDefault MCV_MarkerDefault::fromFileFlags(const std::vector<bool>& flags, size_t markers) {
    MCV_MarkerDefault out;
    markers = std::min(markers, flags.size());
    out.markers.assign(flags.begin(), flags.begin() + static_cast<std::ptrdiff_t>(markers));
    if (flags.size() > markers) {
        out.hasTag = true;
        out.tag = flags[markers];
    }
    return out;
}

std::vector<bool> MCV_MarkerDefault::fileFlags() const {
    std::vector<bool> out = markers;
    if (hasTag) out.push_back(tag);
    return out;
}

std::vector<bool> MCV_MarkerDefault::statesFor(MCV_CytometryData& data) const {
    MCV_FcsHeader* header = data.combinedHeader();
    std::vector<bool> out(header ? static_cast<size_t>(header->numVariables()) : 0, false);
    const size_t shared =
        std::min({markers.size(), out.size(), static_cast<size_t>(std::max(0, data.fileVariableCount()))});
    std::copy_n(markers.begin(), shared, out.begin());
    const int t = addedTagIndex(data);
    if (hasTag && t >= 0) out[static_cast<size_t>(t)] = tag;
    return out;
}
