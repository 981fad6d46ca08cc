// The data set's registry of named derived data and its selection set.
#include "data/MCV_CytometryData.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_UiInterface.h"

#include <algorithm>
#include <cassert>
#include <iostream>

namespace {

MCV_CytometryData::TreeKind& treeKind() {
    static MCV_CytometryData::TreeKind kind;
    return kind;
}

bool treeKindInstalled() {
    const MCV_CytometryData::TreeKind& kind = treeKind();
    return kind.create && kind.tree && kind.derivedData;
}

}  // namespace

void MCV_CytometryData::setTreeKind(TreeKind kind) { treeKind() = std::move(kind); }

bool MCV_CytometryData::nameTaken(const std::string& name) const {
    return std::any_of(m_registry.begin(), m_registry.end(), [&](const RegistryEntry& e) { return e.name == name; });
}

std::string MCV_CytometryData::freeName(const std::string& name) const {
    std::string candidate = name;
    for (int k = 1; nameTaken(candidate); ++k) candidate = name + "-" + std::to_string(k);
    return candidate;
}

MCV_DerivedData* MCV_CytometryData::find(int kind, const std::string& name) const {
    for (const RegistryEntry& e : m_registry)
        if (e.kind == kind && e.name == name) return e.object;
    return nullptr;
}

template <typename T>
std::vector<T*> MCV_CytometryData::listOf(int kind) const {
    std::vector<T*> out;
    for (const RegistryEntry& e : m_registry)
        if (e.kind == kind) out.push_back(static_cast<T*>(e.object));
    return out;
}

template <typename T>
T* MCV_CytometryData::lookUp(int kind, const std::string& name, bool create) {
    if (create)
        if (MCV_DerivedData* existing = find(kind, name)) return static_cast<T*>(existing);
    // A taken name, of this kind or any other, is never replaced.
    const std::string chosen = freeName(name);
    T* object = new T();
    object->setName(chosen);
    const bool added = addDerivedData(kind, chosen, object);
    (void)added;
    assert(added);
    return object;
}

void MCV_CytometryData::invalidateStatistics(MCV_DerivedData* object) {
    switch (object->type()) {
        case MCV_DerivedData::KindPoints:
            static_cast<MCV_DerivedDataPoints*>(object)->invalidateStatistics();
            break;
        case MCV_DerivedData::KindClusters:
            static_cast<MCV_DerivedDataClusters*>(object)->invalidateStatistics();
            break;
        default:
            object->invalidateStatistics();
            break;
    }
}

std::vector<MCV_DerivedDataPoints*> MCV_CytometryData::derivedDataPoints() {
    return listOf<MCV_DerivedDataPoints>(MCV_DerivedData::KindPoints);
}

std::vector<MCV_DerivedDataClusters*> MCV_CytometryData::derivedDataClusters() {
    return listOf<MCV_DerivedDataClusters>(MCV_DerivedData::KindClusters);
}

std::vector<MCV_DerivedDataImage*> MCV_CytometryData::derivedDataImage() {
    return listOf<MCV_DerivedDataImage>(MCV_DerivedData::KindImage);
}

std::vector<MCV_FCTree*> MCV_CytometryData::derivedDataTrees() {
    std::vector<MCV_FCTree*> out;
    if (!treeKindInstalled()) return out;
    for (const RegistryEntry& e : m_registry)
        if (e.kind == MCV_DerivedData::KindTree) out.push_back(treeKind().tree(e.object));
    return out;
}

MCV_DerivedDataPoints* MCV_CytometryData::derivedDataPoints(std::string name, bool create) {
    if (name == "Selection") return selectionPoints();
    return lookUp<MCV_DerivedDataPoints>(MCV_DerivedData::KindPoints, name, create);
}

MCV_DerivedDataClusters* MCV_CytometryData::derivedDataClusters(std::string name, bool create) {
    return lookUp<MCV_DerivedDataClusters>(MCV_DerivedData::KindClusters, name, create);
}

MCV_DerivedDataClusters* MCV_CytometryData::ownedClusters(const std::string& name, std::uint64_t owner, bool reuse) {
    assert(owner != 0);
    if (reuse)
        // The latest of the owner's sets asked for under this name.
        for (auto e = m_registry.rbegin(); e != m_registry.rend(); ++e)
            if (e->kind == MCV_DerivedData::KindClusters && e->owner == owner && e->ownedAs == name)
                return static_cast<MCV_DerivedDataClusters*>(e->object);
    MCV_DerivedDataClusters* set = lookUp<MCV_DerivedDataClusters>(MCV_DerivedData::KindClusters, name, false);
    // Found by the object: receivers of the announcement may have
    // registered more meanwhile.
    for (RegistryEntry& e : m_registry)
        if (e.object == set) {
            e.owner = owner;
            e.ownedAs = name;
        }
    return set;
}

MCV_DerivedDataImage* MCV_CytometryData::derivedDataImage(std::string name, bool create) {
    return lookUp<MCV_DerivedDataImage>(MCV_DerivedData::KindImage, name, create);
}

MCV_FCTree* MCV_CytometryData::derivedDataTrees(std::string name, bool create) {
    if (!treeKindInstalled()) {
        std::cout << "[ERROR] No focus-and-context tree can be made for " << name << ".\n";
        return nullptr;
    }
    if (create)
        if (MCV_DerivedData* existing = find(MCV_DerivedData::KindTree, name)) return treeKind().tree(existing);
    const std::string chosen = freeName(name);
    MCV_DerivedData* object = treeKind().create();
    object->setName(chosen);
    const bool added = addDerivedData(MCV_DerivedData::KindTree, chosen, object);
    (void)added;
    assert(added);
    return treeKind().tree(object);
}

bool MCV_CytometryData::addDerivedData(int kind, std::string name, MCV_DerivedData* object) {
    if (!object) return false;
    const bool known = object == m_selection || std::any_of(m_registry.begin(), m_registry.end(),
                                                            [&](const RegistryEntry& e) { return e.object == object; });
    if (nameTaken(name)) {
        std::cout << "[ERROR] Tried to add new dervied data " << name << ", but already exists.\n";
        return false;
    }
    if (known || object->type() != kind) {
        std::cout << "[ERROR] Derived data " << name << " (kind " << object->type() << ") cannot be registered as kind "
                  << kind << (known ? ": it is registered already.\n" : ".\n");
        return false;
    }
    object->setUiInterface(m_ui);
    m_registry.push_back(RegistryEntry{kind, name, object, 0, {}});
    if (m_ui) m_ui->newDerivedDataAdded();
    return true;
}

bool MCV_CytometryData::addDerivedDataPoints(MCV_DerivedDataPoints* points) {
    return points && addDerivedData(MCV_DerivedData::KindPoints, points->name(), points);
}

bool MCV_CytometryData::addDerivedDataClusters(MCV_DerivedDataClusters* clusters) {
    return clusters && addDerivedData(MCV_DerivedData::KindClusters, clusters->name(), clusters);
}

bool MCV_CytometryData::addDerivedDataImage(MCV_DerivedDataImage* image) {
    return image && addDerivedData(MCV_DerivedData::KindImage, image->name(), image);
}

bool MCV_CytometryData::addDerivedDataTree(MCV_FCTree* tree) {
    if (!tree || !treeKindInstalled()) return false;
    MCV_DerivedData* object = treeKind().derivedData(tree);
    return addDerivedData(MCV_DerivedData::KindTree, object->name(), object);
}

MCV_DerivedDataPoints* MCV_CytometryData::addDownsampledData(std::string name, MCV_DerivedDataPoints* source,
                                                             std::vector<int> targets) {
    if (!source) return nullptr;
    MCV_DerivedDataPoints* points = new MCV_DerivedDataPoints();
    const std::string chosen = freeName(name);
    points->setName(chosen);
    points->setUiInterface(m_ui);
    points->downsample(source, std::move(targets));
    addDerivedData(MCV_DerivedData::KindPoints, chosen, points);
    return points;
}

MCV_DerivedDataPoints* MCV_CytometryData::selectionPoints() {
    if (!m_selection) {
        m_selection = new MCV_DerivedDataPoints();
        m_selection->setName("Selection");
        m_selection->setUiInterface(m_ui);
    }
    return m_selection;
}

void MCV_CytometryData::initAllDerviedDataPointer() {
    std::vector<std::pair<int, int>> points;
    for (int f = 0; f < numFiles(); ++f) {
        const int n = m_files[static_cast<size_t>(f)].header->numEvents();
        for (int e = 0; e < n; ++e) points.emplace_back(f, e);
    }
    const size_t count = points.size();

    MCV_DerivedDataPoints* all = derivedDataPoints("All Points", true);
    all->setPoints(points, true);
    all->setMeta(std::vector<int>(count, 0));
    all->setNumDiscreteMetaValues(1);

    MCV_FcsHeader* first = header(0);
    if (first && first->width() >= 1 && first->height() >= 1) {
        MCV_DerivedDataImage* image = derivedDataImage("All Points - Image", true);
        image->setSize(first->width(), first->height());
        image->setPoints(std::move(points), true);
        const auto& deps = all->dependentDatasets();
        if (std::find(deps.begin(), deps.end(), image) == deps.end()) all->addDependentDataset(image);
    }
}
