#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class MCV_DerivedDataClusters;
class MCV_DerivedDataPoints;
class MCV_UiInterface;

// Analysis type codes, set by each concrete analysis's constructor. Views,
// panels and the shell branch on them.
enum AnalysisType {
    ANALYSIS_NONE = -1,
    ANALYSIS_SPADE = 0,  // SPADE and template classification
    ANALYSIS_TSNE = 1,
    ANALYSIS_HSNE = 2,  // one level of an HSNE hierarchy
    ANALYSIS_HSNE_FC = 3,
    ANALYSIS_HSNE_HIERARCHY = 99,
};

// Base of every analysis. Holds what all of them share: the callback
// interface through which the analysis reports to the user interface, the
// type code, the user-chosen name, the point subset of the next run, and one
// enabled flag per variable of the data set's combined header together with
// the ascending list of enabled indices.
//
// Invariant: after init() and after every setMarkerState() that changed a
// flag, selectedMarkers() holds exactly the enabled indices, ascending.
// The shell destroys analyses through this base, after they reported
// readyForDeletion; GUI thread only.
class MCV_Analysis {
public:
    MCV_Analysis();
    virtual ~MCV_Analysis();

    MCV_Analysis(const MCV_Analysis&) = delete;
    MCV_Analysis& operator=(const MCV_Analysis&) = delete;

    // Stores the interface and the name and enables every variable of the
    // current combined header (none when no data are loaded). Computes nothing.
    void init(MCV_UiInterface* ui, std::string name);

    // The subset the next run uses; not owned, not checked. Null means "all
    // events" or "not chosen yet", as each analysis defines.
    void setActiveDataSelection(MCV_DerivedDataPoints* points);
    MCV_DerivedDataPoints* dataSelection() const;
    // The events the analysis's plot stands for, as its last run took them
    // from its subset: an unregistered set that the subset's later edits,
    // refills and replacement leave alone. The plot's panels and the cluster
    // sets of the analysis count against it. Null before a run took any.
    MCV_DerivedDataPoints* ownPoints() const { return m_ownPoints.get(); }
    const std::shared_ptr<MCV_DerivedDataPoints>& sharedOwnPoints() const { return m_ownPoints; }

    // Grows (or shrinks) the flags to the combined header's variable count;
    // new flags are disabled. The selected list and the changed flag stay.
    void refreshMarkerData();
    // After variables were appended to the data: lays the per-point rows the
    // views read (one value per variable of the combined header) at the
    // header's new width, so that they are never read at another width than
    // they hold. By default nothing: an analysis without such rows.
    virtual void widenPointRows();
    // Sets flag `marker`; a call that changes nothing has no effect at all.
    // `marker` must be an index of the flags (callers pass header indices).
    void setMarkerState(int marker, bool enabled);
    // The live list of enabled marker indices.
    std::vector<unsigned>* selectedMarkers();
    const std::vector<bool>& markerStates() const;

    // Whether the marker choice may differ from what a cached result used.
    bool markersChanged() const;
    void setMarkersChanged(bool changed);

    int type() const;
    std::string name() const;
    // A number that no other analysis of the process bears, also once this
    // one is destroyed (never 0): the key under which the data set keeps the
    // cluster sets the analysis fills (MCV_CytometryData::ownedClusters), so
    // that a later analysis of the same name gets sets of its own.
    std::uint64_t serial() const { return m_serial; }
    MCV_UiInterface* uiInterface() const;

    // Whether a computation of this analysis is in progress (its iteration
    // loop is on the call stack). The shell refuses to replace the data set
    // while any analysis runs. Analyses that iterate override it.
    virtual bool isRunning() const;

    // Stores a clustering of the analysis's points (indices into its own point
    // order, one list per cluster) under `name` and returns the cluster set it
    // filled, or null when the analysis keeps none.
    virtual MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>* clusters, std::string name) = 0;

protected:
    // `rows` holds one row per entry of `refs`, each as wide as the combined
    // header was when the rows were laid. Widens every row to the header's
    // current width: a row keeps its values and takes the appended
    // variables' values from the event its reference names (zeros for a
    // reference the data do not hold). Rows that are empty, already as wide,
    // or of no whole width per reference are left alone (the next lay-out
    // makes them anew).
    static void widenRows(std::vector<float>& rows, const std::vector<std::pair<int, int>>& refs);
    // Makes a new own set of `points`; a level or panel that still holds the
    // previous one keeps it as it was.
    void keepOwnPoints(const std::vector<std::pair<int, int>>& points);

    MCV_UiInterface* m_ui = nullptr;
    int m_type = ANALYSIS_NONE;
    std::string m_name;
    MCV_DerivedDataPoints* m_dataSelection = nullptr;
    std::shared_ptr<MCV_DerivedDataPoints> m_ownPoints;
    std::vector<bool> m_markerStates;
    std::vector<unsigned> m_selectedMarkers;
    bool m_markersChanged = true;

private:
    const std::uint64_t m_serial;
};
