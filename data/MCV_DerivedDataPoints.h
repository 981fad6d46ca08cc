#pragma once

#include "data/MCV_DerivedData.h"

#include <string>
#include <utility>
#include <vector>

// A named subset of the loaded events (kind 1), each point a (file index,
// event index) pair, kept in the order given (neither sorted nor de-duplicated).
// It serves the per-file tables and the per-variable median, mean and standard
// deviation over all variables of the combined header, each cached behind its
// own stale mark: a value is computed on first demand after its mark was set
// and then served from the cache until setPoints, invalidateStatistics,
// refreshed or downsample set the mark again. Editing the list through data()
// without calling refreshed() leaves stale values in place.
class MCV_DerivedDataPoints : public MCV_DerivedData {
public:
    MCV_DerivedDataPoints();
    ~MCV_DerivedDataPoints() override;

    // This kind has no JSON: both texts stay empty.
    std::string& jsonObject() override;
    std::string& jsonString() override;
    void createJson() override;

    void init() {}
    // Names the set and copies the list; marks nothing and notifies nobody
    // (meant for a fresh set, whose marks are all set).
    void init(std::string name, const std::vector<std::pair<int, int>>* points);

    // Replaces the list and marks everything stale; with `notify`, announces
    // the set through dataRefreshed (when a callback interface is set).
    void setPoints(std::vector<std::pair<int, int>> points, bool notify);
    // A caller that edits the list calls refreshed() afterwards.
    std::vector<std::pair<int, int>>& data() { return m_points; }

    // One label per point (its length need not match the list); always
    // announced through dataRefreshed.
    void setMeta(std::vector<int> labels);
    const std::vector<int>& meta() const { return m_meta; }
    void setNumDiscreteMetaValues(int n) { m_numDiscreteMetaValues = n; }
    int numDiscreteMetaValues() const { return m_numDiscreteMetaValues; }

    // Per file of the data set: the number of points / their event indices in
    // list order.
    std::vector<int>& pointsPerFile();
    std::vector<std::vector<int>>& pointsFromFile();

    // One value per variable of the combined header. The deviation brings the
    // mean up to date first; it is the centre.
    std::vector<float>& medianExpression();
    std::vector<float>& meanExpression();
    std::vector<float>& standardDeviation();

    void invalidateStatistics();
    // Marks everything stale, then the base refresh (record the source,
    // announce, pass on to dependents).
    void refreshed(void* source);

    // Fills this set with a random subset of `source`: targets[f] points of
    // file f, each clamped to the points the source has there (a missing
    // target counts as 0). The result is ordered by file and, within a file,
    // keeps the source's order. The generator is seeded from the time elapsed
    // since this set was created; every file's draws start from that seed.
    void downsample(MCV_DerivedDataPoints* source, std::vector<int> targets);

private:
    void updatePerFileTables();
    void markAllStale();

    std::vector<std::pair<int, int>> m_points;
    std::vector<int> m_meta;
    int m_numDiscreteMetaValues = 0;
    std::vector<std::vector<int>> m_pointsFromFile;
    std::vector<int> m_pointsPerFile;
    std::vector<float> m_median;
    std::vector<float> m_mean;
    std::vector<float> m_stdDev;
    bool m_perFileStale = true;
    bool m_medianStale = true;
    bool m_meanStale = true;
    bool m_stdDevStale = true;
};
