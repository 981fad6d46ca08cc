#include "data/MCV_DerivedDataPoints.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_PointStatistics.h"
#include "data/MCV_UiInterface.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <random>

MCV_DerivedDataPoints::MCV_DerivedDataPoints() { m_type = KindPoints; }

MCV_DerivedDataPoints::~MCV_DerivedDataPoints() = default;

std::string& MCV_DerivedDataPoints::jsonObject() {
    createJson();
    return m_json;
}

std::string& MCV_DerivedDataPoints::jsonString() {
    createJson();
    return m_jsonEscaped;
}

void MCV_DerivedDataPoints::createJson() {}

void MCV_DerivedDataPoints::init(std::string name, const std::vector<std::pair<int, int>>* points) {
    m_name = std::move(name);
    if (points) m_points = *points;
}

void MCV_DerivedDataPoints::markAllStale() {
    m_perFileStale = true;
    m_medianStale = true;
    m_meanStale = true;
    m_stdDevStale = true;
}

void MCV_DerivedDataPoints::setPoints(std::vector<std::pair<int, int>> points, bool notify) {
    m_points = std::move(points);
    markAllStale();
    if (notify && m_ui) m_ui->dataRefreshed(this);
}

void MCV_DerivedDataPoints::setMeta(std::vector<int> labels) {
    m_meta = std::move(labels);
    if (m_ui) m_ui->dataRefreshed(this);
}

void MCV_DerivedDataPoints::updatePerFileTables() {
    if (!m_perFileStale) return;
    const int files = MCV_CytometryData::Instance()->numFiles();
    m_pointsFromFile.assign(static_cast<size_t>(files), std::vector<int>());
    // A point that names no loaded file belongs to no table.
    for (const auto& p : m_points)
        if (p.first >= 0 && p.first < files) m_pointsFromFile[static_cast<size_t>(p.first)].push_back(p.second);
    m_pointsPerFile.resize(static_cast<size_t>(files));
    for (size_t f = 0; f < m_pointsFromFile.size(); ++f)
        m_pointsPerFile[f] = static_cast<int>(m_pointsFromFile[f].size());
    m_perFileStale = false;
}

std::vector<int>& MCV_DerivedDataPoints::pointsPerFile() {
    updatePerFileTables();
    return m_pointsPerFile;
}

std::vector<std::vector<int>>& MCV_DerivedDataPoints::pointsFromFile() {
    updatePerFileTables();
    return m_pointsFromFile;
}

std::vector<float>& MCV_DerivedDataPoints::medianExpression() {
    if (m_medianStale) {
        MCV_PointStatistics::median(MCV_PointStatistics::rows(m_points), MCV_PointStatistics::numVariables(), &m_median,
                                    true);
        m_medianStale = false;
    }
    return m_median;
}

std::vector<float>& MCV_DerivedDataPoints::meanExpression() {
    if (m_meanStale) {
        MCV_PointStatistics::mean(MCV_PointStatistics::rows(m_points), MCV_PointStatistics::numVariables(), &m_mean,
                                  true);
        m_meanStale = false;
    }
    return m_mean;
}

std::vector<float>& MCV_DerivedDataPoints::standardDeviation() {
    if (m_stdDevStale) {
        const std::vector<float>& centre = meanExpression();
        MCV_PointStatistics::deviation(MCV_PointStatistics::rows(m_points), MCV_PointStatistics::numVariables(), centre,
                                       &m_stdDev, true);
        m_stdDevStale = false;
    }
    return m_stdDev;
}

void MCV_DerivedDataPoints::invalidateStatistics() { markAllStale(); }

void MCV_DerivedDataPoints::refreshed(void* source) {
    markAllStale();
    MCV_DerivedData::refreshed(source);
}

void MCV_DerivedDataPoints::downsample(MCV_DerivedDataPoints* source, std::vector<int> targets) {
    m_type = KindPoints;
    if (!source) return;
    // Copies: the source may be this set.
    const std::vector<int> available = source->pointsPerFile();
    const std::vector<std::vector<int>> events = source->pointsFromFile();
    const size_t files = available.size();

    // A target above what a file has would leave entries unfilled; a negative
    // or missing one means nothing from that file.
    std::vector<int> take(files, 0);
    int64_t total = 0;
    for (size_t f = 0; f < files; ++f) {
        const int t = f < targets.size() ? targets[f] : 0;
        take[f] = std::max(0, std::min(t, available[f]));
        total += take[f];
    }
    std::cout << "\nDownsampling to " << total << " points total.\n";

    m_points.resize(static_cast<size_t>(total), std::make_pair(0, 0));
    m_pointsPerFile = take;
    m_pointsFromFile.assign(files, std::vector<int>());

    const auto elapsed =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - m_created).count();
    uint64_t seed = (static_cast<uint64_t>(elapsed) % (uint64_t(1) << 32)) % 2147483647u;
    if (seed == 0) seed = 1;

    size_t k = 0;
    for (size_t f = 0; f < files; ++f) {
        const int n = available[f];
        const int t = take[f];
        std::cout << "\nFile " << f << " target is " << t << " from " << n << ".\n";
        // Draw whichever side is smaller: the points to drop or those to keep.
        const bool inverted = 2 * static_cast<int64_t>(t) >= n;
        if (inverted) std::cout << "Inversing sampling.\n";
        const int draws = inverted ? n - t : t;

        std::vector<bool> marked(static_cast<size_t>(n), false);
        if (draws > 0) {
            std::minstd_rand engine(static_cast<std::minstd_rand::result_type>(seed));
            std::uniform_int_distribution<int> uniform(0, n - 1);
            for (int d = 0; d < draws; ++d) {
                int r = uniform(engine);
                while (marked[static_cast<size_t>(r)]) r = uniform(engine);
                marked[static_cast<size_t>(r)] = true;
            }
        }

        std::vector<int>& list = m_pointsFromFile[f];
        list.resize(static_cast<size_t>(t));
        size_t c = 0;
        for (int j = 0; j < n; ++j) {
            if (marked[static_cast<size_t>(j)] == inverted) continue;
            const int e = events[f][static_cast<size_t>(j)];
            list[c++] = e;
            m_points[k++] = std::make_pair(static_cast<int>(f), e);
        }
    }

    markAllStale();
    if (m_ui) m_ui->dataRefreshed(this);
}
