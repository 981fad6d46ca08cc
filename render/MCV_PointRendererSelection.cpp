// Point selection by rectangles and from outside, density-cluster picking and
// hover highlight. Nothing here draws or needs the context, except
// setSelection, which uploads the shown selection; a rectangle takes pending
// positions, whose upload waits for the next frame.
#include "render/MCV_PointRenderer.h"

#include "data/MCV_DerivedDataClusters.h"

#include <algorithm>
#include <numeric>

std::vector<int>* MCV_PointRenderer::selectRectangularArea(std::vector<int> rect, selectionModifier modifier) {
    if (rect.size() < 4) return &selectionIdxs;
    const int x0 = std::min(rect[0], rect[2]), x1 = std::max(rect[0], rect[2]);
    const int y0 = std::min(rect[1], rect[3]), y1 = std::max(rect[1], rect[3]);
    const int rubberBand[6] = {x0, y0, x1, y1, x1 - x0, y1 - y0};
    std::copy(std::begin(rubberBand), std::end(rubberBand), selectionRect);

    // Into the plot square [0, 1]^2.
    const float originX = static_cast<float>((viewWidth - viewSide) / 2);
    const float originY = static_cast<float>((viewHeight - viewSide) / 2);
    const float side = static_cast<float>(viewSide > 0 ? viewSide : 1);
    selectionRectNorm[0] = (static_cast<float>(x0) - originX) / side;
    selectionRectNorm[1] = (static_cast<float>(y0) - originY) / side;
    selectionRectNorm[2] = (static_cast<float>(x1) - originX) / side;
    selectionRectNorm[3] = (static_cast<float>(y1) - originY) / side;
    const float minX = selectionRectNorm[0], minY = selectionRectNorm[1];
    const float maxX = selectionRectNorm[2], maxY = selectionRectNorm[3];
    if (!(minX < 1.0f) || !(minY < 1.0f) || !(maxX > 0.0f) || !(maxY > 0.0f)) return &selectionIdxs;
    if (modifier != SELECTION_REPLACE && modifier != SELECTION_ADD && modifier != SELECTION_SUBTRACT)
        return &selectionIdxs;

    // The rectangle selects by the newest positions, as a frame would show them.
    takePendingPositions();
    const size_t n = std::min(static_cast<size_t>(numPoints), normalizedPositions.size() / 2);
    std::vector<bool> inside(n, false);
    for (size_t p = 0; p < n; ++p) {
        const float x = normalizedPositions[2 * p], y = normalizedPositions[2 * p + 1];
        inside[p] = minX <= x && x <= maxX && minY <= y && y <= maxY;
    }

    if (modifier == SELECTION_REPLACE) {
        selectionIdxs.clear();
        for (size_t p = 0; p < n; ++p)
            if (inside[p]) selectionIdxs.push_back(static_cast<int>(p));
    } else if (modifier == SELECTION_ADD) {
        std::vector<bool> listed(n, false);
        for (int idx : selectionIdxs)
            if (idx >= 0 && static_cast<size_t>(idx) < n) listed[static_cast<size_t>(idx)] = true;
        for (size_t p = 0; p < n; ++p)
            if (inside[p] && !listed[p]) selectionIdxs.push_back(static_cast<int>(p));
    } else {
        // The first occurrence of each point inside goes.
        std::vector<bool> removed(n, false);
        std::vector<int> kept;
        kept.reserve(selectionIdxs.size());
        for (int idx : selectionIdxs) {
            const bool point = idx >= 0 && static_cast<size_t>(idx) < n;
            if (point && inside[static_cast<size_t>(idx)] && !removed[static_cast<size_t>(idx)]) {
                removed[static_cast<size_t>(idx)] = true;
                continue;
            }
            kept.push_back(idx);
        }
        selectionIdxs.swap(kept);
    }
    return &selectionIdxs;
}

int MCV_PointRenderer::clusterCellAt(int x, int y) const {
    if (!clusters || viewSide == 0) return -1;
    if (viewWidth <= viewHeight)
        y -= static_cast<int>((viewHeight - viewSide) / 2);
    else
        x -= static_cast<int>((viewWidth - viewSide) / 2);
    const int side = static_cast<int>(viewSide);
    if (x < 0 || x >= side || y < 0 || y >= side) return -1;
    // The grid the clusters were formed on, which a later grid change has not
    // replaced; the pixel's centre takes the cell a point drawn there belongs to.
    const float s = static_cast<float>(side);
    const size_t cell =
        gridCellOf((static_cast<float>(x) + 0.5f) / s, (static_cast<float>(y) + 0.5f) / s, clusterGridSide);
    return cell < clusterIdGrid.size() ? static_cast<int>(cell) : -1;
}

std::vector<int>* MCV_PointRenderer::selectClusterAt(int x, int y, bool add) {
    if (clustersStale) {
        selectionIdxs.clear();
        return &selectionIdxs;
    }
    highlightClusterId = -1;
    const int cell = clusterCellAt(x, y);
    if (cell >= 0) {
        const int id = clusterIdGrid[static_cast<size_t>(cell)];
        highlightClusterId = id;
        clusters->setHighlight(id);
        if (id >= 0) {
            // The cluster set lists the members of all its selected clusters;
            // when it refuses the id it leaves the list as it was.
            std::vector<unsigned> members;
            if (clusters->selectCluster(id, add, members) >= 0) selectionIdxs.assign(members.begin(), members.end());
            return &selectionIdxs;
        }
    }
    selectionIdxs.clear();
    return &selectionIdxs;
}

void MCV_PointRenderer::setMousePositionInView(int x, int y) {
    highlightClusterId = -1;
    if (clustersStale) return;
    const int cell = clusterCellAt(x, y);
    if (cell < 0) return;
    highlightClusterId = clusterIdGrid[static_cast<size_t>(cell)];
    clusters->setHighlight(highlightClusterId);
}

std::vector<int>* MCV_PointRenderer::selectNone() {
    selectionIdxs.clear();
    return &selectionIdxs;
}

std::vector<int>* MCV_PointRenderer::selectAll() {
    selectionIdxs.resize(static_cast<size_t>(numPoints));
    std::iota(selectionIdxs.begin(), selectionIdxs.end(), 0);
    return &selectionIdxs;
}

void MCV_PointRenderer::setSelection(std::vector<short>* selection, bool fromIdxs) {
    selectionSource = selection;
    if (!selection) return;
    copySelectionSource();
    if (!fromIdxs) {
        selectionIdxs.clear();
        for (size_t i = 0; i < localSelection.size(); ++i)
            if (localSelection[i] != 0) selectionIdxs.push_back(static_cast<int>(i));
        refreshSelectionBuffer(false);
    } else {
        refreshSelectionBuffer(true);
    }
}

void MCV_PointRenderer::setHighlight(void* data) {
    if (clusters && data == static_cast<MCV_DerivedData*>(clusters)) highlightClusterId = clusters->highlightId();
}

void MCV_PointRenderer::mergeClusters() {
    if (clusters) clusters->mergeSelected();
}

int MCV_PointRenderer::numSelectedClusters() const { return clusters ? clusters->numSelectedClusters() : 0; }

void MCV_PointRenderer::resetSelectedClusters() {
    if (clusters) clusters->resetSelectedClusters();
}
