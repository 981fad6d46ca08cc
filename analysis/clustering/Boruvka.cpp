#include "analysis/clustering/Boruvka.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>

namespace {

// Weights per kernel call (a stack buffer).
constexpr size_t kBatch = 256;
// Below this many vertices a round runs on the calling thread alone.
constexpr int kParallelFrom = 256;

// Past the end of the shorter vector there is nothing to compare.
float commonL1(const std::vector<float>& a, const std::vector<float>& b) {
    const size_t length = std::min(a.size(), b.size());
    float sum = 0.0f;
    for (size_t k = 0; k < length; ++k) sum += std::fabs(a[k] - b[k]);
    return sum;
}

}  // namespace

Boruvka::Boruvka() = default;
Boruvka::~Boruvka() = default;

void Boruvka::initGraph(std::vector<std::vector<float>>* vectors) {
    m_tree.clear();
    m_store.reset(0);
    m_vectors.clear();
    m_uniform = true;
    const size_t count = vectors ? vectors->size() : 0;
    // Vertices are int.
    assert(count <= static_cast<size_t>(INT_MAX));
    m_vertices = static_cast<int>(count);
    m_edges = static_cast<int64_t>(count) * (static_cast<int64_t>(count) - 1) / 2;
    if (count > 0) {
        const size_t length = vectors->front().size();
        for (const std::vector<float>& v : *vectors) m_uniform = m_uniform && v.size() == length;
        if (m_uniform) {
            m_store.reset(length);
            m_store.reserve(count);
            for (const std::vector<float>& v : *vectors) m_store.append(v.data());
        } else {
            m_vectors = *vectors;
        }
    }
    m_parent.resize(count);
    m_size.resize(count);
    for (size_t i = 0; i < count; ++i) {
        m_parent[i] = static_cast<int>(i);
        m_size[i] = 1;
    }
}

void Boruvka::boruvkaMst() {
    m_tree.clear();
    const int V = m_vertices;
    // A second run starts again from single vertices.
    for (int i = 0; i < V; ++i) {
        m_parent[static_cast<size_t>(i)] = i;
        m_size[static_cast<size_t>(i)] = 1;
    }
    const int64_t needed = static_cast<int64_t>(V) - 1;
    int64_t found = 0;
    int iterations = 0;
    std::vector<int> component(static_cast<size_t>(V));
    std::vector<Nearest> nearest(static_cast<size_t>(V));
    std::vector<Edge> cheapest;
    do {
        if (found < needed) {
            for (int v = 0; v < V; ++v) component[static_cast<size_t>(v)] = findRoot(v);
            findNearest(component, nearest);
            cheapestEdges(component, nearest, cheapest);
            int64_t added = 0;
            for (const Edge& e : cheapest) {
                if (!e.valid) continue;
                const int ra = findRoot(e.source), rb = findRoot(e.target);
                if (ra == rb) continue;
                m_tree.emplace_back(e.source, e.target, e.weight);
                ++added;
                unionEdge(ra, rb);
            }
            found += added;
            // Every component of a complete graph has a cheapest edge, and the
            // first of them joins two components.
            assert(added > 0);
            if (added == 0) break;
        }
        ++iterations;
    } while (found < needed);
    std::printf(" Found in: %d iteration(s) \n", iterations);
}

float Boruvka::weight(int i, int j) const {
    if (!m_uniform) return commonL1(m_vectors[static_cast<size_t>(i)], m_vectors[static_cast<size_t>(j)]);
    float sum = 0.0f;
    for (size_t m = 0; m < m_store.numMarkers(); ++m) {
        sum += std::fabs(m_store.value(static_cast<size_t>(i), m) - m_store.value(static_cast<size_t>(j), m));
    }
    return sum;
}

void Boruvka::findNearest(const std::vector<int>& component, std::vector<Nearest>& nearest) const {
    const int V = m_vertices;
#pragma omp parallel if (V >= kParallelFrom)
    {
        std::vector<float> query(m_store.numMarkers());
        float d[kBatch];
#pragma omp for schedule(dynamic, 8)
        for (int u = 0; u < V; ++u) {
            Nearest& nu = nearest[static_cast<size_t>(u)];
            const int cu = component[static_cast<size_t>(u)];
            // The vertices outside u's component only become fewer: an edge
            // that was cheapest stays so while its far end is outside.
            if (nu.state == Nearest::None) continue;
            if (nu.state == Nearest::Found && component[static_cast<size_t>(nu.other)] != cu) continue;
            // Vertices in ascending order meet u's edges in graph order, so
            // the strict comparison keeps the earlier of equal weights.
            Nearest best;
            best.state = Nearest::None;
            auto consider = [&](int v, float w) {
                if (component[static_cast<size_t>(v)] == cu || std::isnan(w)) return;
                if (best.state == Nearest::Found && !(w < best.weight)) return;
                best.state = Nearest::Found;
                best.other = v;
                best.weight = w;
            };
            if (m_uniform) {
                m_store.copyEvent(static_cast<size_t>(u), query.data());
                for (size_t s = 0; s < static_cast<size_t>(V); s += kBatch) {
                    const size_t e = std::min(static_cast<size_t>(V), s + kBatch);
                    m_store.distances(query.data(), s, e, d);
                    for (size_t v = s; v < e; ++v) consider(static_cast<int>(v), d[v - s]);
                }
            } else {
                for (int v = 0; v < V; ++v) consider(v, weight(std::min(u, v), std::max(u, v)));
            }
            nu = best;
        }
    }
}

void Boruvka::cheapestEdges(const std::vector<int>& component, const std::vector<Nearest>& nearest,
                            std::vector<Edge>& cheapest) const {
    const int V = m_vertices;
    cheapest.assign(static_cast<size_t>(V), Edge());
    std::vector<int> smallest(static_cast<size_t>(V), -1);
    int outsideZero = -1;
    for (int u = 0; u < V; ++u) {
        const int r = component[static_cast<size_t>(u)];
        if (smallest[static_cast<size_t>(r)] < 0) smallest[static_cast<size_t>(r)] = u;
        if (outsideZero < 0 && r != component[0]) outsideZero = u;
        const Nearest& nu = nearest[static_cast<size_t>(u)];
        if (nu.state != Nearest::Found) continue;
        Edge e;
        e.valid = true;
        e.source = std::min(u, nu.other);
        e.target = std::max(u, nu.other);
        e.weight = nu.weight;
        Edge& c = cheapest[static_cast<size_t>(r)];
        if (!c.valid || e.weight < c.weight ||
            (e.weight == c.weight && std::make_pair(e.source, e.target) < std::make_pair(c.source, c.target))) {
            c = e;
        }
    }
    if (outsideZero < 0) return;
    // The first edge leaving a component in graph order, (smallest vertex
    // outside, smallest inside) in ascending order, becomes its cheapest in
    // the scan; no later weight is less than an undefined (NaN) one, so such
    // an edge stays.
    for (int r = 0; r < V; ++r) {
        if (component[static_cast<size_t>(r)] != r) continue;
        const int inside = smallest[static_cast<size_t>(r)];
        const int outside = r == component[0] ? outsideZero : 0;
        const int s = std::min(inside, outside), t = std::max(inside, outside);
        const float w = weight(s, t);
        if (std::isnan(w)) {
            Edge& c = cheapest[static_cast<size_t>(r)];
            c.valid = true;
            c.source = s;
            c.target = t;
            c.weight = w;
        }
    }
}

std::vector<std::tuple<int, int, float>> Boruvka::edgeList() {
    std::vector<std::tuple<int, int, float>> edges;
    edges.reserve(1000);
    edges.insert(edges.end(), m_tree.begin(), m_tree.end());
    return edges;
}

std::string Boruvka::jsonEdgeList() {
    std::string text = "\"links\":[\n";
    for (size_t i = 0; i < m_tree.size(); ++i) {
        const auto& [source, target, w] = m_tree[i];
        text += "{\"source\":" + std::to_string(source) + ", \"target\":" + std::to_string(target) +
                ", \"value\":" + std::to_string(w) + "}";
        if (i + 1 < m_tree.size()) text += ",";
        text += "\n";
    }
    return text + "]";
}

void Boruvka::printData() {
    float total = 0.0f;
    for (const auto& [source, target, w] : m_tree) {
        std::printf("%02d----%02d  weight: %.2f\n", source, target, static_cast<double>(w));
        total += w;
    }
    std::printf("And has a cost of: %.2f\n", static_cast<double>(total));
}

float Boruvka::distance(std::vector<float>* a, std::vector<float>* b) { return a && b ? commonL1(*a, *b) : 0.0f; }

int Boruvka::findRoot(int vertex) {
    if (vertex < 0 || vertex >= m_vertices) return vertex;
    while (m_parent[static_cast<size_t>(vertex)] != vertex) vertex = m_parent[static_cast<size_t>(vertex)];
    return vertex;
}

void Boruvka::unionEdge(int a, int b) {
    if (a < 0 || a >= m_vertices || b < 0 || b >= m_vertices) return;
    const int ra = findRoot(a), rb = findRoot(b);
    if (ra == rb) return;
    const size_t sa = static_cast<size_t>(ra), sb = static_cast<size_t>(rb);
    if (m_size[sa] >= m_size[sb]) {
        m_parent[sb] = ra;
        m_size[sa] += m_size[sb];
    } else {
        m_parent[sa] = rb;
        m_size[sb] += m_size[sa];
    }
}
