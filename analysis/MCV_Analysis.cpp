#include "analysis/MCV_Analysis.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstddef>

namespace {

// Variable count of the current combined header; 0 without data.
size_t currentVariableCount() {
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    if (!header) return 0;
    const int n = header->numVariables();
    return n > 0 ? static_cast<size_t>(n) : 0;
}

std::uint64_t nextSerial() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

}  // namespace

MCV_Analysis::MCV_Analysis() : m_serial(nextSerial()) {}

MCV_Analysis::~MCV_Analysis() = default;

void MCV_Analysis::init(MCV_UiInterface* ui, std::string name) {
    m_ui = ui;
    m_name = std::move(name);
    const size_t n = currentVariableCount();
    m_markerStates.assign(n, true);
    m_selectedMarkers.resize(n);
    for (size_t i = 0; i < n; ++i) m_selectedMarkers[i] = static_cast<unsigned>(i);
    m_markersChanged = true;
}

void MCV_Analysis::setActiveDataSelection(MCV_DerivedDataPoints* points) { m_dataSelection = points; }

MCV_DerivedDataPoints* MCV_Analysis::dataSelection() const { return m_dataSelection; }

void MCV_Analysis::keepOwnPoints(const std::vector<std::pair<int, int>>& points) {
    auto own = std::make_shared<MCV_DerivedDataPoints>();
    own->init(m_name + " - own points", &points);
    m_ownPoints = std::move(own);
}

void MCV_Analysis::refreshMarkerData() { m_markerStates.resize(currentVariableCount(), false); }

void MCV_Analysis::widenPointRows() {}

void MCV_Analysis::widenRows(std::vector<float>& rows, const std::vector<std::pair<int, int>>& refs) {
    const size_t n = refs.size();
    const size_t width = currentVariableCount();
    if (n == 0 || rows.empty() || rows.size() % n != 0) return;
    const size_t old = rows.size() / n;
    // Variables are only appended: a row wider than the header is not one of
    // these rows.
    if (old >= width) return;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    std::vector<float> wide(n * width, 0.f);
    for (size_t i = 0; i < n; ++i) {
        std::copy_n(rows.begin() + static_cast<std::ptrdiff_t>(i * old), old,
                    wide.begin() + static_cast<std::ptrdiff_t>(i * width));
        const auto [file, event] = refs[i];
        const float* matrix = data->rawData(file);
        const MCV_FcsHeader* header = data->header(file);
        const size_t fileWidth = header ? static_cast<size_t>(std::max(0, header->numVariables())) : 0;
        if (!matrix || !header || event < 0 || event >= header->numEvents() || fileWidth <= old) continue;
        const float* row = matrix + static_cast<size_t>(event) * fileWidth;
        std::copy(row + old, row + std::min(width, fileWidth),
                  wide.begin() + static_cast<std::ptrdiff_t>(i * width + old));
    }
    rows.swap(wide);
}

void MCV_Analysis::setMarkerState(int marker, bool enabled) {
    assert(marker >= 0 && static_cast<size_t>(marker) < m_markerStates.size());
    if (marker < 0 || static_cast<size_t>(marker) >= m_markerStates.size()) return;
    const size_t m = static_cast<size_t>(marker);
    if (m_markerStates[m] == enabled) return;
    m_markerStates[m] = enabled;
    m_selectedMarkers.clear();
    for (size_t i = 0; i < m_markerStates.size(); ++i)
        if (m_markerStates[i]) m_selectedMarkers.push_back(static_cast<unsigned>(i));
    m_markersChanged = true;
}

std::vector<unsigned>* MCV_Analysis::selectedMarkers() { return &m_selectedMarkers; }

const std::vector<bool>& MCV_Analysis::markerStates() const { return m_markerStates; }

bool MCV_Analysis::markersChanged() const { return m_markersChanged; }

void MCV_Analysis::setMarkersChanged(bool changed) { m_markersChanged = changed; }

int MCV_Analysis::type() const { return m_type; }

std::string MCV_Analysis::name() const { return m_name; }

MCV_UiInterface* MCV_Analysis::uiInterface() const { return m_ui; }

bool MCV_Analysis::isRunning() const { return false; }
