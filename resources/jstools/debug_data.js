// Sample data for the pages when they run in a plain browser, without the
// application object: cluster tables of several sizes (the application's
// cluster JSON), a small hierarchy, node positions and a gating hierarchy of
// named groups with event counts (the hierarchy page draws it at start-up).
// Test data only.

function _debugClusterTable(numClusters, markerNames, seed) {
    var s = seed;
    function rnd() { s = (s * 16807) % 2147483647; return (s - 1) / 2147483646; }
    var nodes = [];
    for (var i = 0; i < numClusters; ++i) {
        var expression = [], stddev = [];
        for (var m = 0; m < markerNames.length; ++m) {
            expression.push(Math.round(rnd() * 500) / 100);
            stddev.push(Math.round(rnd() * 100) / 100);
        }
        nodes.push({ name: "Cluster " + i, size: 10 + Math.floor(rnd() * 990),
                     expression: expression, stddev: stddev });
    }
    var links = [];
    for (var j = 1; j < numClusters; ++j) {
        links.push({ source: Math.floor(rnd() * j), target: j, value: Math.round(rnd() * 100) / 100 });
    }
    return { nodes: nodes, links: links, names: markerNames.slice() };
}

var _debugMarkers = ["CD3", "CD4", "CD8", "CD19", "CD45", "CD56", "HLA-DR", "CD14"];

var debugDataSmall = _debugClusterTable(5, _debugMarkers.slice(0, 4), 7);
var debugDataMedium = _debugClusterTable(20, _debugMarkers, 11);
var debugDataLarge = _debugClusterTable(60, _debugMarkers, 13);

var debugHierarchy = {
    id: 0, scale: 2, size: 1000,
    children: [
        { id: 1, scale: 1, size: 600,
          children: [ { id: 3, scale: 0, size: 350 }, { id: 4, scale: 0, size: 250 } ] },
        { id: 2, scale: 1, size: 400,
          children: [ { id: 5, scale: 0, size: 400 } ] }
    ]
};

var debugNodePositions = [
    { x: 0.50, y: 0.10 }, { x: 0.30, y: 0.40 }, { x: 0.70, y: 0.40 },
    { x: 0.20, y: 0.80 }, { x: 0.40, y: 0.80 }, { x: 0.70, y: 0.80 }
];

// Named groups of a blood sample, event counts on the leaves. "Granulocytes"
// names a fill image that is not shipped: its segment shows an empty pattern.
var _data_hierarchy_ = {
    name: "Leukocytes",
    children: [
        { name: "Lymphocytes",
          children: [
              { name: "T Cells",
                children: [
                    { name: "CD4+ T Cells",
                      children: [ { name: "Naive CD4+", size: 2100 }, { name: "Memory CD4+", size: 1500 } ] },
                    { name: "CD8+ T Cells", size: 1700 },
                    { name: "gd T Cells", size: 300 }
                ] },
              { name: "B Cells", size: 1200 },
              { name: "NK Cells", size: 800 }
          ] },
        { name: "Myeloid Cells",
          children: [
              { name: "Monocytes",
                children: [ { name: "Classical", size: 900 }, { name: "Non-classical", size: 150 } ] },
              { name: "Dendritic Cells", size: 120 }
          ] },
        { name: "Granulocytes", image: "granulocytes.png", size: 5000 }
    ]
};
