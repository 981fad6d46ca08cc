#pragma once

#include <chrono>
#include <string>
#include <vector>

class MCV_UiInterface;

// Base of every named data set the views show besides the loaded files: point
// subsets, cluster sets, images (and the hierarchy and tree kinds). It holds
// the kind code, the registry name, the texts handed to the web pages, the
// callback interface and the data sets that are refreshed together with it.
//
// Kind codes: 0 base, 1 point subset, 2 cluster set, 3 hierarchy,
// 4 focus-and-context tree, 5 image. Each kind's constructor sets its code.
class MCV_DerivedData {
public:
    static constexpr int KindBase = 0;
    static constexpr int KindPoints = 1;
    static constexpr int KindClusters = 2;
    static constexpr int KindHierarchy = 3;
    static constexpr int KindTree = 4;
    static constexpr int KindImage = 5;

    MCV_DerivedData();

    // Slot order matters to callers that go through the base: jsonObject,
    // jsonString, createJson. Both getters first run createJson and then hand
    // out the field itself.
    virtual std::string& jsonObject() = 0;
    virtual std::string& jsonString() = 0;
    virtual void createJson() = 0;
    virtual ~MCV_DerivedData();

    void init() {}
    int type() const { return m_type; }
    std::string name() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }
    MCV_UiInterface* uiInterface() const { return m_ui; }
    void setUiInterface(MCV_UiInterface* ui) { m_ui = ui; }

    // Appended as given (a set added twice is refreshed twice); not owned.
    void addDependentDataset(MCV_DerivedData* dependent);
    const std::vector<MCV_DerivedData*>& dependentDatasets() const { return m_dependents; }

    // Without a callback interface nothing happens, dependents included.
    // Otherwise records `source`, announces this set with dataRefreshed(this)
    // and passes the same refresh on to each dependent, in order. Kinds that
    // hide this with their own refreshed() add to it only for direct calls.
    void refreshed(void* source);
    // The argument of the last refresh; a view compares it with itself to
    // recognise its own change. Null until the first refresh.
    void* refreshSource() const { return m_refreshSource; }

    // Nothing to invalidate in the base; point and cluster sets have their own.
    void invalidateStatistics() {}

    std::chrono::steady_clock::time_point creationTime() const { return m_created; }

protected:
    int m_type = KindBase;
    std::string m_name;
    std::string m_json;
    std::string m_jsonEscaped;
    std::string m_csv;
    std::vector<MCV_DerivedData*> m_dependents;
    std::chrono::steady_clock::time_point m_created;
    MCV_UiInterface* m_ui = nullptr;
    void* m_refreshSource = nullptr;

private:
    MCV_DerivedData(const MCV_DerivedData&) = delete;
    MCV_DerivedData& operator=(const MCV_DerivedData&) = delete;
};
