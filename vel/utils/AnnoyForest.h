#pragma once
// An Annoy index whose trees are built in parallel, each by Annoy's own build
// from a seed of its own, and then joined into one forest that Annoy queries as
// it queries the trees of its own build.
//
// Annoy builds its trees one after another from one random stream, so tree t
// depends on how many draws the trees before it took and no two trees can be
// built at once. Here tree t is the only tree Annoy builds, from the seed
// treeSeed(t), in an index of its own over copies of the items; its nodes are
// then copied behind the items of this index, with their references to other
// nodes moved by the same offset. The forest is the same on any number of
// threads, and tree 0 is the first tree of Annoy's own build (its default seed).
//
// Only for the header-only Annoy in node_modules/annoy; include it in one
// translation unit, as the back end does.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include <annoylib.h>
#include <kissrandom.h>

namespace vel {
namespace utils {

template <typename S, typename T, typename Distance, typename Random>
class AnnoyForest : public AnnoyIndex<S, T, Distance, Random> {
    using Base = AnnoyIndex<S, T, Distance, Random>;

public:
    using Node = typename Base::Node;

    explicit AnnoyForest(int f) : Base(f) {}

    // Bytes per node, items and tree nodes alike.
    std::size_t nodeBytes() const { return this->_s; }

    // Room for `items` items, so that adding items 0 .. items - 1 does not
    // reallocate (Annoy grows its node array by 30 % at a time).
    void reserveItems(S items) { this->_allocate_size(items); }

    // The seed of tree t: Annoy's default for tree 0, then a 32-bit mix of t.
    static std::uint32_t treeSeed(std::size_t t) {
        if (t == 0) return 123456789u;
        std::uint64_t x = 123456789u + 0x9e3779b97f4a7c15ULL * t;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
        x ^= x >> 31;
        const std::uint32_t seed = static_cast<std::uint32_t>(x >> 32);
        return seed != 0 ? seed : 1u;
    }

    // Builds `trees` trees in parallel, at most `concurrent` at a time (each needs
    // a copy of the items). Throws std::runtime_error when Annoy refuses. Before
    // each tree `carryOn` is asked; once it says false the trees not yet begun
    // are skipped, the index is left unbuilt and the result is false.
    bool buildForest(
        int trees, int concurrent, const std::function<bool()>& carryOn = [] { return true; }) {
        if (this->_loaded || this->_built) throw std::runtime_error("Annoy could not build its trees");
        const S n = this->_n_items;
        // The split planes are computed over preprocessed items, as Annoy's build does.
        Distance::template preprocess<T, S, Node>(this->_nodes, this->_s, n, this->_f);
        this->_n_nodes = n;
        std::vector<S> roots;
        const int wave = std::max(1, concurrent);
        for (int firstTree = 0; firstTree < trees; firstTree += wave) {
            const int count = std::min(wave, trees - firstTree);
            std::vector<std::unique_ptr<AnnoyForest>> built(static_cast<std::size_t>(count));
            std::vector<int> failed(static_cast<std::size_t>(count), 0);
#pragma omp parallel for schedule(dynamic, 1)
            for (int k = 0; k < count; ++k) {
                if (!carryOn()) {
                    failed[static_cast<std::size_t>(k)] = 2;
                    continue;
                }
                auto tree = std::make_unique<AnnoyForest>(this->_f);
                // Items plus a guess of the tree's nodes: with leaves of about K / 2
                // items a tree takes about 4 n / K nodes.
                tree->_allocate_size(n + n / std::max<S>(1, this->_K / 4) + 64);
                for (S i = 0; i < n; ++i) tree->add_item(i, this->_get(i)->v);
                tree->set_seed(treeSeed(static_cast<std::size_t>(firstTree + k)));
                failed[static_cast<std::size_t>(k)] = tree->build(1) ? 0 : 1;
                built[static_cast<std::size_t>(k)] = std::move(tree);
            }
            if (std::find(failed.begin(), failed.end(), 2) != failed.end()) return false;
            for (int k = 0; k < count; ++k) {
                if (failed[static_cast<std::size_t>(k)]) throw std::runtime_error("Annoy could not build its trees");
                roots.push_back(graft(*built[static_cast<std::size_t>(k)]));
                built[static_cast<std::size_t>(k)].reset();
            }
        }
        // As Annoy's build leaves it: the roots again at the end of the nodes.
        this->_allocate_size(this->_n_nodes + static_cast<S>(roots.size()));
        for (std::size_t t = 0; t < roots.size(); ++t)
            std::memcpy(this->_get(this->_n_nodes + static_cast<S>(t)), this->_get(roots[t]), this->_s);
        this->_n_nodes += static_cast<S>(roots.size());
        this->_roots = roots;
        this->_built = true;
        return true;
    }

    // The items in the order in which the leaves of tree t hold them, left
    // subtree first: items close in this order are close in space.
    std::vector<S> leafOrder(std::size_t t) const {
        std::vector<S> order;
        order.reserve(static_cast<std::size_t>(this->_n_items));
        for (const std::vector<S>& leaf : leaves(t)) order.insert(order.end(), leaf.begin(), leaf.end());
        return order;
    }

    // The items of every leaf of tree t, leaves in that same order.
    std::vector<std::vector<S>> leaves(std::size_t t) const {
        std::vector<std::vector<S>> result;
        if (t >= this->_roots.size()) return result;
        std::vector<S> pending{this->_roots[t]};
        while (!pending.empty()) {
            const S i = pending.back();
            pending.pop_back();
            const Node* node = this->_get(i);
            if (i < this->_n_items) {
                result.push_back({i});
            } else if (node->n_descendants <= this->_K) {
                result.emplace_back(node->children, node->children + node->n_descendants);
            } else {
                pending.push_back(node->children[1]);
                pending.push_back(node->children[0]);
            }
        }
        return result;
    }

private:
    // Copies the tree of `tree` (nodes n .. root, the copy of the root behind
    // them left out) behind the nodes of this index; returns its root here.
    S graft(const AnnoyForest& tree) {
        const S n = this->_n_items;
        const S first = n;
        const S last = tree._roots.front() + 1;
        const S offset = this->_n_nodes - first;
        this->_allocate_size(this->_n_nodes + (last - first));
        for (S j = first; j < last; ++j) {
            Node* node = this->_get(j + offset);
            std::memcpy(node, tree._get(j), this->_s);
            // Split nodes refer to items (kept) and to nodes (moved); leaves list items.
            if (node->n_descendants > this->_K)
                for (S& child : node->children)
                    if (child >= n) child += offset;
        }
        this->_n_nodes += last - first;
        return tree._roots.front() + offset;
    }
};

}  // namespace utils
}  // namespace vel
