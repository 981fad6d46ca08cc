// The heat map's dendrogram: average-linkage clustering with Euclidean
// distance of one vector per cluster, done by clusterfck's hcluster, brought
// into the form the page draws.
//
// clusterfck returns the root alone, with merged nodes holding `left`,
// `right` and `size` and leaves holding the input vector as `value`; it keeps
// neither the input index nor the merge height. clusterTree(vectors) returns
// an array whose first entry is the root (empty without vectors), with
//   - leaves: `key` = index of the input vector, found by identity (two
//     clusters with equal medians are two leaves with their own keys), and
//     `dist` = _leafDistance;
//   - merged nodes: `left`, `right` and `dist` = the average-linkage height,
//     the mean Euclidean distance between every leaf under `left` and every
//     leaf under `right`.
// Vectors must hold finite numbers; a result that does not hold every input
// exactly once as a leaf is dropped (empty array).

var _leafDistance = 999999999.9;

function _euclidean(a, b) {
    var total = 0;
    for (var i = 0; i < a.length; ++i) {
        var d = b[i] - a[i];
        total += d * d;
    }
    return Math.sqrt(total);
}

function clusterTree(vectors) {
    if (!vectors || vectors.length === 0) return [];
    var n = vectors.length;
    var root = n === 1 ? { value: vectors[0], size: 1 } : clusterfck.hcluster(vectors, "euclidean", "average");
    if (!root) return [];

    var taken = new Array(n);
    var keyOf = function (value) {
        for (var i = 0; i < n; ++i) {
            if (!taken[i] && vectors[i] === value) {
                taken[i] = true;
                return i;
            }
        }
        return -1;
    };

    var distances = new Array(n);
    for (var a = 0; a < n; ++a) {
        distances[a] = new Array(n);
        for (var b = 0; b < n; ++b) distances[a][b] = a === b ? 0 : (b < a ? distances[b][a] : _euclidean(vectors[a], vectors[b]));
    }

    var complete = true;
    // Returns the converted node; its leaf keys are appended to `leaves`.
    var convert = function (node, leaves) {
        if (!node.left || !node.right) {
            var key = keyOf(node.value);
            if (key < 0) complete = false;
            leaves.push(key);
            return { key: key, dist: _leafDistance, value: node.value, size: 1 };
        }
        var leftLeaves = [], rightLeaves = [];
        var left = convert(node.left, leftLeaves);
        var right = convert(node.right, rightLeaves);
        var sum = 0;
        for (var i = 0; i < leftLeaves.length; ++i)
            for (var j = 0; j < rightLeaves.length; ++j)
                if (leftLeaves[i] >= 0 && rightLeaves[j] >= 0) sum += distances[leftLeaves[i]][rightLeaves[j]];
        Array.prototype.push.apply(leaves, leftLeaves);
        Array.prototype.push.apply(leaves, rightLeaves);
        return { left: left, right: right, dist: sum / (leftLeaves.length * rightLeaves.length),
                 size: leftLeaves.length + rightLeaves.length };
    };
    var allLeaves = [];
    var tree = convert(root, allLeaves);
    if (!complete || allLeaves.length !== n) return [];
    return [tree];
}
