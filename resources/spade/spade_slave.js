// The slave SPADE tree page: shows the tree at the layout positions the
// master page reported (qt_setPositions), without a layout of its own. Until
// positions arrive the nodes stand on the spiral the master starts from.

// Saving a bubble empties the page's selection without reporting it.
var reportsBubbleSelection = false;

// qt_setPositions last: the widget's first push waits for it.
try {
    Qt.qt_bubbleRefused.connect(bubbleRefused);
    Qt.qt_setData.connect(setData);
    Qt.qt_setBubbles.connect(setBubbles);
    Qt.qt_setPositions.connect(setPositions);
} catch (e) {
    isQtAvailable = false;
    log("could not connect qt");
}

// The positions text as an array of finite { px, py }, one per node; null
// for anything else (an empty text before the master has laid the tree
// out, a text for another tree).
function readPositions(text) {
    if (!graph || typeof text !== "string" || text.trim().length === 0) return null;
    var positions;
    try {
        positions = JSON.parse(text);
    } catch (e) {
        log("Positions could not be read: " + e);
        return null;
    }
    if (!Array.isArray(positions) || positions.length !== graph.nodes.length) return null;
    var valid = positions.every(function (p) {
        return p && isFiniteNumber(p.px) && isFiniteNumber(p.py);
    });
    return valid ? positions : null;
}

// Placing a large tree takes long: its positions then wait a frame, so that
// the master's drawing is shown first and the window never has to paint
// both drawings in one go. Only the latest positions are placed.
var slowPlacementMs = 20;
var lastPlacementCost = 0;
var waitingPositions = null;

function setPositions(text) {
    var positions = readPositions(text);
    if (!positions) return;
    if (lastPlacementCost < slowPlacementMs) {
        placePositions(positions);
        return;
    }
    var placementDue = waitingPositions !== null;
    waitingPositions = positions;
    if (placementDue) return;
    window.setTimeout(function () {
        var latest = waitingPositions;
        waitingPositions = null;
        if (graph && latest.length === graph.nodes.length) placePositions(latest);
    }, frameMs);
}

function placePositions(positions) {
    var start = now();
    graph.nodes.forEach(function (d, i) {
        d.index = i;
        d.x = positions[i].px;
        d.y = positions[i].py;
    });
    fitScales(positions.map(function (p) { return p.px; }), positions.map(function (p) { return p.py; }));
    placeNodes();
    lastPlacementCost = now() - start;
}

var spiralRadius = 10;
var spiralAngle = Math.PI * (3 - Math.sqrt(5));

function startLayout() {
    graph.nodes.forEach(function (d, i) {
        d.x = spiralRadius * Math.sqrt(i) * Math.cos(i * spiralAngle);
        d.y = spiralRadius * Math.sqrt(i) * Math.sin(i * spiralAngle);
    });
    var start = now();
    fitScales(graph.nodes.map(function (d) { return d.x; }), graph.nodes.map(function (d) { return d.y; }));
    placeNodes();
    lastPlacementCost = now() - start;
}

function stopLayout() {}

function restartLayout() {}

function layoutResized() {
    placeNodes();
}

function attachNodeDrag() {}

initPage();
