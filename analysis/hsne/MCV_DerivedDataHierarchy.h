#pragma once

#include "analysis/hsne/MCV_CacheFileDigest.h"
#include "data/MCV_DerivedData.h"

#include "vel/data/MapMemEff.h"
#include "vel/dr/HierarchicalSNE.h"

#include <QJsonObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct HierarchyNode;

namespace vel {
namespace utils {
class CoutLog;
}
}  // namespace vel

// The holder of one HSNE hierarchy (derived-data kind 3): the input matrix of
// the selected points and markers, the library's hierarchy built over it, and
// for every scale and landmark the list of (file index, event index) pairs of
// the data points the landmark stands for. It answers the selection queries of
// the drill-down and keeps the three cache files beside the data.
//
// It is not entered in the data model's registry: the analyses share it
// through std::shared_ptr and the last owner frees it.
//
// Index spaces: a landmark index is a position in the landmark list of one
// scale; a data-point index is a row of the input matrix and a position in
// pointReferences(). Scale 0 is the data; the top scale is numScales() - 1.
//
// Invariants after a build or a successful load: the library hierarchy has
// numScales() scales, scale 0 has numDataPoints() landmarks, and the point
// lists hold one list per landmark of every scale, each in data-point order;
// every data point is in exactly one list of scale 0 and in at most one list of
// each coarser scale. A refused load leaves all of this as it was.
//
// GUI thread only; the landmark assignment runs an OpenMP loop inside.
class MCV_DerivedDataHierarchy : public MCV_DerivedData {
public:
    using SparseMatrix = std::vector<vel::data::MapMemEff<unsigned, float>>;
    using Hsne = vel::dr::HierarchicalSNE<float, SparseMatrix>;
    using PointRef = std::pair<int, int>;
    using PointList = std::vector<PointRef>;

    static constexpr const char* HierarchyCacheName = "hsne-hierarchy-cache.hsne";
    static constexpr const char* PointBasedCacheName = "hsne-point-based-hierarchy-cache.hsne";
    static constexpr const char* ParametersCacheName = "hsne-parameters-cache.hsne";

    // What the parameter cache records of a build, in the order it is checked.
    // The checks and their console lines are shared by every analysis that
    // caches a hierarchy.
    struct CachedSetting {
        enum class Kind { Integer, Boolean, Real, Text };
        std::string key;
        Kind kind = Kind::Integer;
        double number = 0;  // Integer, Boolean (0 or 1) and Real
        std::string text;   // Text
    };
    struct ParameterCache {
        std::string version;             // "## VERSION ##"
        std::vector<std::string> files;  // "Files": paths relative to the data folder
        std::vector<unsigned> markers;   // "Selected Dimensions"
        std::vector<CachedSetting> settings;
        // The two hierarchy files as written, which the parameter cache vouches
        // for: not compared with the current build, but with the files read.
        MCV_CacheFileDigest hierarchyFile;
        MCV_CacheFileDigest pointListsFile;
    };

    MCV_DerivedDataHierarchy();
    ~MCV_DerivedDataHierarchy() override;

    // ---- Construction and build ----
    // Name, sizes, the library parameters and a copy of the point references;
    // sizes the input matrix (N x D zeros). Called once per object.
    void init(std::string name, int numDataPoints, int numDimensions, int numScales, Hsne::Parameters params,
              std::vector<std::pair<int, int>>* pointReferences);
    // The input matrix, point-major, for the owner to fill after init().
    std::vector<float>* data();
    // Whether a hierarchy named `name` can be built over `points` (file, event)
    // and `markers` of the loaded data: enough points, markers the data have,
    // events that are loaded. Prints the reason when not.
    static bool selectionBuildable(const std::string& name, const std::vector<std::pair<int, int>>& points,
                                   const std::vector<unsigned>& markers);
    // A new hierarchy over a buildable selection, initialised and with its input
    // matrix filled from the loaded data (the selected markers of each point).
    static std::shared_ptr<MCV_DerivedDataHierarchy> forSelection(const std::string& name,
                                                                  std::vector<std::pair<int, int>>* points,
                                                                  const std::vector<unsigned>& markers, int numScales,
                                                                  const Hsne::Parameters& params);
    // A 64-bit FNV-1a hash of N, D and the input matrix in point order, as 16
    // lower-case hex digits: a cache whose fingerprint differs was built from
    // other data (another cofactor, order or file content).
    std::string dataFingerprint() const;

    // Where the build reports its progress (the library's phases, then the
    // share of points assigned after every block of the landmark assignment,
    // on the building thread) and learns of a stop request; not owned, null
    // for none.
    void setBuildProgress(vel::dr::BuildProgress* progress, std::function<void(double)> assigned);
    // Builds the hierarchy (numScales() scales) and the point lists. The
    // library's exceptions and vel::dr::BuildProgress::Stopped propagate; the
    // object is then without a hierarchy.
    void initHsne();
    // The landmark assignment: every data point goes to its most influential
    // landmark on every scale above 0.
    void initPointBasedHierarchy();

    // ---- Caches (directory ends with the path separator) ----
    // Writes the hierarchy file and the point-based file, each to a temporary
    // name that replaces the file only when it was written completely, and
    // keeps their lengths and checksums for the parameter cache. Returns
    // whether both were written; prints a line for every failure. Nothing
    // without a hierarchy.
    bool cacheHsne(std::string directory);
    bool cacheHsneHierarchy(std::string path);
    bool cacheHsnePointBasedHierarchy(std::string path);
    // Loads both files that the last loadHsneParametersCache() vouched for
    // into new objects and takes them only when each has the length and
    // checksum recorded, is whole and fits the input (scale 0 of
    // numDataPoints() points, numScales() scales, point lists consistent with
    // the hierarchy and the loaded data). Returns false, with the object
    // unchanged and cacheProblem() saying why, when there is no such record or
    // either file is missing, unreadable, not a regular file or refused.
    bool loadCache(std::string directory);
    // Each file alone, taken only when it has the `expected` length and
    // checksum; reading costs time linear in the file's length.
    bool loadHsneHierarchyCache(std::string path, const MCV_CacheFileDigest& expected);
    bool loadHsnePointBasedHierarchyCache(std::string path, const MCV_CacheFileDigest& expected);
    // The parameter cache with the lengths and checksums of the files the last
    // cacheHsne() wrote, written last of the three (as cacheHsne() writes).
    // Returns whether it was written; prints a line for a failure; false
    // without a successful cacheHsne().
    bool cacheHsneParameters(std::string path, const ParameterCache& parameters);
    // Whether the parameter cache at `path` records exactly `current` and the
    // lengths and checksums of both hierarchy files, which loadCache() then
    // checks; prints the line of the first difference. Only a regular file of
    // at most 1 MB is read.
    bool loadHsneParametersCache(std::string path, const ParameterCache& current);
    static QJsonObject parameterCacheObject(const ParameterCache& parameters);
    // `why`, when given, receives the difference in a few words for the user.
    static bool parameterCacheMatches(const QJsonObject& stored, const ParameterCache& current,
                                      std::string* why = nullptr);
    // Why the last cache read found a cache it could not use (other data or
    // settings, a damaged or missing file), or why the last cache write
    // failed, in a few words for the user; empty after a success and when
    // there was no cache to read.
    const std::string& cacheProblem() const { return m_cacheProblem; }

    // ---- Queries ----
    int numDataPoints() const { return m_numDataPoints; }
    int numDimensions() const { return m_numDimensions; }
    int numScales() const { return m_numScales; }
    // -1 for a scale outside 0 .. numScales() - 1.
    int numLandmarksInScale(int scale) const;
    // The library hierarchy; null until a build or a load.
    const Hsne* hsne() const { return m_hsne.get(); }
    const std::vector<std::pair<int, int>>* pointReferences() const { return &m_pointReferences; }

    // Null for a scale outside the hierarchy.
    SparseMatrix* transitionMatrix(int scale);
    // The sub-matrix of the scale's transition matrix over the landmarks.
    void transitionMatrixForSelection(SparseMatrix* out, int scale, std::vector<unsigned>* landmarkIdxs);
    // The same for a focus-and-context node, into its own matrix: one row per
    // entry of its landmark list, columns are positions in that list (a
    // landmark listed twice has a row at each place; columns name the first).
    // Nothing for a scale outside the hierarchy.
    void transitionMatrixForSelection(std::shared_ptr<HierarchyNode> node);
    // Landmarks of scale - 1 with a summed influence above 0.5 from the
    // selection at `scale`, ascending; out is untouched unless 0 < scale < S.
    void nextLevelIdxs(std::vector<unsigned>* out, int scale, std::vector<unsigned>* selection, bool verbose);
    // The same, and for each result its position in the selection when its
    // data point is that of a selected landmark (all bits set otherwise).
    void nextLevelIdxs(std::vector<unsigned>* out, std::vector<unsigned>* positions, int scale,
                       std::vector<unsigned>* selection, bool verbose);
    // Landmarks of scale + 1 with a share above 0.5 of their influence on the
    // selection at `scale`; out is untouched unless 0 <= scale < S - 1.
    void prevLevelIdxs(std::vector<unsigned>* out, int scale, std::vector<unsigned>* selection, bool verbose);
    // nextLevelIdxs into outIdxs, and the sub-matrix of scale - 1 over them.
    void nextLevelTransitionMatrixForSelection(SparseMatrix* outMatrix, std::vector<unsigned>* outIdxs, int scale,
                                               std::vector<unsigned>* selection, std::vector<unsigned>* positions);
    // Weights of all landmarks of the scale (null list) or of the listed ones;
    // std::out_of_range for a landmark beyond the scale.
    void landmarkWeights(int scale, std::vector<float>* out, std::vector<unsigned>* landmarkIdxs);
    void landmarkWeights(std::vector<float>* out, std::vector<std::pair<int, unsigned>>* landmarks);
    // Data-point index of all landmarks of the scale (null list) or of the
    // listed ones; std::out_of_range for an index beyond the scale.
    void gloablIdxsFromLandmarkIdxs(std::vector<unsigned>* out, int scale, std::vector<unsigned>* landmarkIdxs);
    void gloablIdxsFromLandmarkIdxs(std::vector<unsigned>* out, std::vector<std::pair<int, unsigned>>* landmarks);
    bool landmarkIdxFromGlobalIdx(unsigned globalIdx, int scale, unsigned& landmarkIdx);
    // Null for a scale or landmark outside the stored lists.
    std::vector<PointList>* pointBasedHierarchyForScale(int scale);
    PointList* pointBasedHierarchyForLandmark(std::pair<int, unsigned> landmark);

    // Hierarchies carry no JSON: both return the (empty) texts of the base.
    std::string& jsonObject() override;
    std::string& jsonString() override;
    void createJson() override;

private:
    const Hsne::Scale* scaleAt(int scale) const;

    int m_numDataPoints = 0;
    int m_numDimensions = 0;
    int m_numScales = 0;
    std::unique_ptr<vel::utils::CoutLog> m_logger;
    std::vector<float> m_inputData;
    std::unique_ptr<Hsne> m_hsne;
    Hsne::Parameters m_hsneParams;
    std::vector<std::pair<int, int>> m_pointReferences;
    std::vector<std::vector<PointList>> m_pointBasedHierarchy;
    vel::dr::BuildProgress* m_progress = nullptr;
    std::function<void(double)> m_assigned;
    std::string m_cacheProblem;
    // The two cache files as this object last wrote them or as the parameter
    // cache it read vouches for them; valid while m_cacheFilesKnown.
    MCV_CacheFileDigest m_hierarchyFile;
    MCV_CacheFileDigest m_pointListsFile;
    bool m_cacheFilesKnown = false;
};
