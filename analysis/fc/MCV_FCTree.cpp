#include "analysis/fc/MCV_FCTree.h"

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_UiInterface.h"

MCV_FCTree::MCV_FCTree() { m_type = KindTree; }

MCV_FCTree::~MCV_FCTree() = default;

void MCV_FCTree::registerKind() {
    MCV_CytometryData::TreeKind kind;
    kind.create = []() -> MCV_DerivedData* { return new MCV_FCTree(); };
    kind.tree = [](MCV_DerivedData* d) { return static_cast<MCV_FCTree*>(d); };
    kind.derivedData = [](MCV_FCTree* t) -> MCV_DerivedData* { return t; };
    MCV_CytometryData::setTreeKind(std::move(kind));
}

void MCV_FCTree::reset(int, SparseMatrix, MCV_DerivedDataHierarchy*) {}
MCV_FCTree::NodePtr MCV_FCTree::createNode(hierarchyNodeType, int) { return nullptr; }
MCV_FCTree::NodePtr MCV_FCTree::append(NodePtr, hierarchyNodeType, int) { return nullptr; }
MCV_FCTree::NodePtr MCV_FCTree::append(NodePtr, NodePtr node) { return node; }
void MCV_FCTree::purge(NodePtr) {}
void MCV_FCTree::pushCoordinates(NodePtr, NodePtr) {}
void MCV_FCTree::pullCoordinates(NodePtr) {}
void MCV_FCTree::purgeChildren(NodePtr) {}
bool MCV_FCTree::split(NodePtr, std::vector<unsigned>*, PointNodes*) { return false; }
MCV_FCTree::NodePtr MCV_FCTree::merge(NodePtr, NodePtr) { return nullptr; }
bool MCV_FCTree::hasSiblings(NodePtr) const { return false; }
MCV_FCTree::NodePtr MCV_FCTree::sibling(NodePtr) const { return nullptr; }
MCV_FCTree::NodeList* MCV_FCTree::leaves() { return &m_leaves; }
MCV_FCTree::NodeList* MCV_FCTree::focus() { return &m_focus; }
MCV_FCTree::NodeList* MCV_FCTree::context() { return &m_context; }
void MCV_FCTree::computeLeaves() {}
void MCV_FCTree::computeLeaves(NodePtr, NodeList*, NodeList*, NodeList*) {}
std::string& MCV_FCTree::jsonObject() { return m_json; }
std::string& MCV_FCTree::jsonString() { return m_jsonEscaped; }
void MCV_FCTree::createJson() {}
void MCV_FCTree::appendNodeJson(NodePtr) {}
void MCV_FCTree::structureChanged() {}
