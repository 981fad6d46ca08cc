#pragma once
// The Barnes-Hut space-partitioning tree of the CPU t-SNE engine, as flat
// node arrays. It is SPTree's tree: the same root box (centred on the mean,
// half-widths reaching the farthest point plus 1e-5), the same halving of
// boxes, a point to the first child whose closed box holds it (one that falls
// between the children by rounding stays counted in the parent only), and one
// distinct position per leaf with equal points stacked on the lowest index.
// Nodes with a single child and no point between their children are left
// out: they add exactly what their child adds, and only where the child would
// be summarised too. The force on a point is the same sum in the same order:
// a node is summarised when it is a leaf or its largest half-width over the
// distance to its centre of mass is below theta, and the leaf of the point
// itself is skipped. Centres of mass are the sums of the children's positions
// over the count, formed bottom-up, where SPTree keeps running means: forces
// agree with SPTree's to rounding.
//
// Layout: nodes are stored in depth-first order, children in SPTree's child
// order and empty children left out; each node names the node after its
// subtree, so that a query walks the array forwards without a stack. The
// build partitions (position, index) records top-down; the top levels are
// partitioned in tasks, the subtrees below them built in parallel into regions
// of the array. Every sum is taken in an order fixed by the points alone: the
// tree is the same on any number of threads.

#include <cstdint>
#include <memory>
#include <vector>

namespace vel {
namespace dr {

template <typename scalar_type, unsigned int D>
class BarnesHutTree {
public:
    static constexpr std::uint32_t kNoPoint = 0xffffffffu;
    static constexpr unsigned int kChildren = 1u << D;

    struct Node {
        double centreOfMass[D];  // a leaf's is its point
        double maxWidth;         // largest half-width of the box
        std::uint32_t count;     // points of the subtree, stacked equal points included
        std::uint32_t next;      // the node after this subtree
        std::uint32_t point;     // the stored point of a leaf; kNoPoint for an inner node
    };

    // Builds the tree over points 0 .. N-1 of y (point i at i * D). y is read
    // during the build only. Orphaned work-sharing: call it from every thread
    // of a team, or from one thread outside any parallel region; the tree is
    // complete, and the same, when it returns to each of them. With `wait`
    // false, the threads of a team may return while one of them still builds
    // the tree's last part (and hands its tasks to the others at their next
    // wait): the tree is complete after the team's next barrier, and the
    // others can do other work meanwhile.
    void build(const scalar_type* y, unsigned int N, bool wait = true);
    // Sizes the buffers of the next build, of N points. A team that calls it
    // first, outside the team, waits once less in that build; without it the
    // build sizes them itself.
    void prepare(unsigned int N);

    // Adds the repulsive force on the point at `position` with index `index`
    // (below kNoPoint; any index that no leaf stores for a position that is no
    // point of the tree) to force[0 .. D) and its share of the normaliser to
    // `normaliser`.
    void repulsion(const scalar_type* position, std::uint32_t index, double theta, double* force,
                   double& normaliser) const;

    // The nodes in depth-first order up to end(). A tree built in parts may
    // leave unused places between parts; the walk never reaches them: from an
    // inner node it goes on to the next place, from a leaf to its `next`.
    const std::vector<Node>& nodes() const { return _nodes; }
    std::size_t end() const { return _end; }
    // Every point once: those of the leaves in depth-first order, then those
    // that no leaf stores (stacked equal points, points left out), ascending.
    // Neighbouring entries walk much the same nodes.
    const std::vector<unsigned int>& queryOrder() const { return _order; }

private:
    struct Record {
        scalar_type position[D];
        std::uint32_t index;
    };
    struct Box {
        double centre[D];
        double width[D];
    };
    // Where a subtree's nodes go: `capacity` places from `data`. Nodes past the
    // capacity are counted, not stored.
    struct Region {
        Node* data;
        std::size_t capacity;
        std::size_t size = 0;
        void push(const Node& node) {
            if (size < capacity) data[size] = node;
            ++size;
        }
        Node* at(std::size_t k) { return k < capacity ? data + k : nullptr; }
        bool overflowed() const { return size > capacity; }
    };
    // A node of the top levels, partitioned by a task of its own, or a subtree
    // below them (job), built later by one task into a region of 2n + 1 places
    // with `next` relative to the region.
    struct Top {
        Node node{};
        double sum[D] = {};  // of the positions below it
        bool job = false;
        Record* records = nullptr;  // of a job
        Record* scratch = nullptr;
        std::size_t points = 0;
        Box box{};
        std::size_t size = 0, leaves = 0;  // nodes and leaves built
        std::vector<std::unique_ptr<Top>> children;
        std::size_t place = 0, capacity = 1, firstLeaf = 0;  // in the node array and in the query order
    };

    void buildTop(Top& top, Record* records, Record* scratch, std::size_t count, const Box& box, std::size_t cutoff);
    // Adds the subtree's nodes to `out` and gives the sum of its positions.
    void buildSubtree(Record* records, Record* scratch, std::size_t count, const Box& box, Region& out,
                      double* sum) const;
    // Places the top nodes and the jobs' regions in depth-first order.
    void place(Top& top, std::size_t& node, std::vector<Top*>& jobs);
    void buildInParts(int threads);
    // Distributes the records over the box's children. While they all fall
    // into one child, that child's box takes the box's place: a node with one
    // child and no point between its children has the child's count and
    // centre of mass, is summarised whenever the child is, and adds the same
    // as the child, so the tree leaves it out. False for a leaf (one stack),
    // with nothing distributed.
    bool descend(Record*& records, Record*& scratch, std::size_t count, Box& box, std::size_t* start,
                 double* between) const;
    void summariseTop(Top& top, std::size_t& leaf, std::vector<Top*>& tops);
    // The records of the points in the root box, in index order; their count.
    std::size_t fillRecords(const scalar_type* y, unsigned int N);
    // Point i's record; whether it lies in `box` (not-a-number never does).
    static bool makeRecord(const scalar_type* y, std::size_t i, const Box& box, Record& record);
    // The whole tree on the calling thread.
    void buildSerially();
    void resizeBuffers(unsigned int N);
    // True when the records hold one position only (a leaf).
    static bool oneStack(const Record* records, std::size_t count);
    static void leaf(const Record* records, std::size_t count, Node& node, double* sum);
    // Stable distribution of the records over the children: start gets
    // kChildren + 1 offsets into scratch, `between` the sum of the positions
    // that fall between the children, in record order. The form in tasks
    // splits the records into fixed runs and gives the same result.
    void distribute(const Record* records, std::size_t count, const Box& box, Record* scratch, std::size_t* start,
                    double* between) const;
    void distributeInTasks(const Record* records, std::size_t count, const Box& box, Record* scratch,
                           std::size_t* start, double* between) const;
    void completeOrder(unsigned int N);
    static Box childBox(const Box& box, unsigned int child);
    static double maxWidth(const Box& box);

    std::vector<Node> _nodes;  // holds unused places between subtrees built apart
    std::size_t _end = 0;      // of the walk through _nodes
    std::vector<unsigned int> _order;
    std::vector<Record> _records, _scratch;
    std::vector<Record> _original;   // the records in index order while a build in parts may need them again
    std::vector<double> _runBounds;  // sum, low and high per run of points and dimension
    // The N of the last prepare, until a build uses it (read by every thread
    // of a team before the build's first wait, written only outside a team or
    // after that wait).
    std::size_t _prepared = kNotPrepared;
    static constexpr std::size_t kNotPrepared = ~std::size_t(0);
    Box _root{};
    std::size_t _count = 0;  // points in the root box
};

}  // namespace dr
}  // namespace vel
