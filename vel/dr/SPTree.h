#pragma once
// Space-partitioning tree (2^D children per inner node, one stored point per
// leaf) over embedding positions, for the Barnes-Hut repulsive forces. The tree
// reads the caller's positions (point i at i * D) without copying them; the
// positions must outlive it. Geometry, centres of mass and forces are double.
//
// Layout: the 2^D children of a node live in one block together with their
// geometry (centre of mass, box centre, box half-width), so that a force query
// walks compact, contiguous memory and a subdivision costs one allocation.

#include <cstdint>
#include <vector>

namespace vel {
namespace dr {

template <typename scalar_type>
class SPTree {
public:
    // Axis-aligned box given by its centre ("corner") and half-widths.
    class Cell {
    public:
        explicit Cell(unsigned int dimension);
        Cell(unsigned int dimension, const double* corner, const double* width);
        double getCorner(unsigned int d) const { return _values[d]; }
        double getWidth(unsigned int d) const { return _values[_dimension + d]; }
        void setCorner(unsigned int d, double value) { _values[d] = value; }
        void setWidth(unsigned int d, double value) { _values[_dimension + d] = value; }
        // Bounds inclusive.
        bool containsPoint(const scalar_type* point) const;

    private:
        unsigned int _dimension;
        std::vector<double> _values;  // corner at [0, D), width at [D, 2D)
    };

    // Root over points 0 .. N-1 in a box centred on their mean that holds them all.
    SPTree(unsigned int D, scalar_type* data, unsigned int N);
    SPTree(unsigned int D, scalar_type* data, double* corner, double* width);
    SPTree(unsigned int D, scalar_type* data, unsigned int N, double* corner, double* width);
    SPTree(SPTree* parent, unsigned int D, scalar_type* data, double* corner, double* width);
    SPTree(SPTree* parent, unsigned int D, scalar_type* data, unsigned int N, double* corner, double* width);
    ~SPTree();
    SPTree(const SPTree&) = delete;
    SPTree& operator=(const SPTree&) = delete;

    // Adds point `index`; false (and no change) when it lies outside the box.
    // A point equal to the stored one is counted but not stored; it follows the
    // stored point down when the leaf is subdivided.
    bool insert(unsigned int index);
    void subdivide();
    // Inserts points 0 .. N-1; into an empty node as one parallel top-down
    // build with the same result as inserting them one by one.
    void fill(unsigned int N);
    // Replaces the position array of the whole subtree.
    void setData(scalar_type* data);
    SPTree* getParent() { return _parent; }

    // Adds the repulsive force on point `index` to force[0 .. D) and its share of
    // the normaliser to `normaliser`; a node is summarised when its largest
    // half-width over the distance to its centre of mass is below theta.
    void computeNonEdgeForcesOMP(unsigned int index, double theta, double* force, double& normaliser) const;
    void computeNonEdgeForces(unsigned int index, double theta, double* force, double* normaliser) const;
    // Attractive forces over a compressed-row matrix, in parallel over rows.
    void computeEdgeForces(unsigned int* rowStarts, unsigned int* columns, double* values, double multiplier, int N,
                           double* force) const;

    unsigned int getAllIndices(unsigned int* indices) const;
    unsigned int getDepth() const;
    bool isCorrect() const;
    void print() const;

    unsigned int cumulativeSize() const { return _cum_size; }

private:
    SPTree() = default;  // children, set up by init() inside their parent's block
    void init(SPTree* parent, unsigned int D, scalar_type* data, double* geometry, const double* corner,
              const double* width);
    const double* centerOfMass() const { return _geometry; }
    const double* corner() const { return _geometry + _dimension; }
    const double* width() const { return _geometry + 2 * _dimension; }
    bool contains(const scalar_type* point) const;
    void createChildren();
    void build(unsigned int* points, std::size_t count, unsigned int* scratch, const double* weights);
    unsigned int collectIndices(unsigned int* indices, unsigned int count) const;
    void forces(const double* point, unsigned int index, double theta, double* force, double& normaliser,
                double* scratch) const;
    void destroyChildren();

    SPTree* _parent = nullptr;
    scalar_type* _data = nullptr;
    double* _geometry = nullptr;  // centre of mass, box centre, box half-width: D values each
    SPTree* _children = nullptr;  // block of 2^D nodes, null for a leaf
    double _max_width = 0;        // largest half-width of the box
    unsigned int _dimension = 0;
    unsigned int _size = 0;        // stored points: 0 or 1
    unsigned int _cum_size = 0;    // accepted points, duplicates included
    unsigned int _index = 0;       // the stored point
    unsigned int _duplicates = 0;  // points equal to the stored one, counted but not stored
    unsigned int _num_children = 0;
    bool _is_leaf = true;
    bool _owns_geometry = false;  // roots allocate their own; children live in the parent's block
};

}  // namespace dr
}  // namespace vel
