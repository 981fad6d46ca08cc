// The master SPADE tree page: lays the tree out with a force simulation and
// reports the layout position of every node with each drawing of it, so
// that the slave pages can show the same tree. Selected nodes can be
// dragged; a drag pins them where they are dropped.

// Saving a bubble empties the selection; the master page reports that.
var reportsBubbleSelection = true;

// qt_setData last: the widget's first push waits for it.
try {
    Qt.qt_bubbleRefused.connect(bubbleRefused);
    Qt.qt_setLayoutActive.connect(setLayoutActive);
    Qt.qt_setBubbles.connect(setBubbles);
    Qt.qt_setData.connect(setData);
} catch (e) {
    isQtAvailable = false;
    log("could not connect qt");
}

// Never started through d3's own timer, which steps once per animation frame
// whatever a step costs: on a tree of thousands of nodes a step and its
// drawing outlast a frame many times, and the window would not get a turn
// until the layout had settled. The page steps it in slices (below).
var simulation = d3.forceSimulation()
    .force("link", d3.forceLink())
    .force("collide", d3.forceCollide(function (d) { return size2rad(d.size); }))
    .force("charge", d3.forceManyBody())
    .alphaDecay(0.01)
    .stop();

// --- the layout's slices --------------------------------------------------
//
// A slice takes one step of the simulation and hands the thread back; the
// next one follows a display frame after the last began, or at once when a
// step takes longer than that. The drawing (and the report that slave pages
// follow) comes after a step only when the last drawing and the time the
// engine took to show it make up at most a quarter of the time since, so a
// small tree is drawn at every step as before and a large one a few times a
// second. The last step is always drawn.

// Steps taken since the page was loaded.
var layoutTicks = 0;
// False while no view of the tree is shown, this page's nor a slave's: the
// layout waits where it is.
var layoutActive = true;
var layoutTimer = null;
var lastDrawEnd = -Infinity;
var lastDrawCost = 0;
// The gap between a drawing and the next slice beyond its planned delay:
// what the engine spent on showing it (and on anything else waiting).
var lastShowCost = 0;
var drawPending = false;
var slicePlannedAt = 0;
// A drag's move is drawn with the next step whatever the drawing costs.
var drawSoon = false;

function layoutSettled() {
    return simulation.alpha() < simulation.alphaMin();
}

function scheduleSlice(delay) {
    if (layoutTimer !== null || !graph || !layoutActive) return;
    slicePlannedAt = now() + delay;
    layoutTimer = window.setTimeout(layoutSlice, delay);
}

// A step that took longer than this leaves a due drawing to a slice of its
// own, so that a step, a drawing and the window's paint of it never add up
// in one turn of the event loop.
var longStepMs = 20;
var drawNext = false;

function drawLayout() {
    drawSoon = false;
    var drawStart = now();
    ticked();
    lastDrawEnd = now();
    lastDrawCost = lastDrawEnd - drawStart;
    drawPending = true;
}

function layoutSlice() {
    layoutTimer = null;
    if (!graph || !layoutActive) return;
    var start = now();
    if (drawPending) {
        lastShowCost = Math.max(0, start - slicePlannedAt);
        drawPending = false;
    }
    if (drawNext) {
        drawNext = false;
        drawLayout();
        if (!layoutSettled()) scheduleSlice(frameMs);
        return;
    }
    simulation.tick();
    ++layoutTicks;
    var settled = layoutSettled();
    var stepCost = now() - start;
    var due = 4 * (lastDrawCost + lastShowCost) <= now() - lastDrawEnd;
    if (settled || due || drawSoon) {
        if (stepCost > longStepMs) {
            drawNext = true;
            scheduleSlice(0);
            return;
        }
        drawLayout();
    }
    if (!settled) scheduleSlice(Math.max(0, frameMs - (now() - start)));
}

// Runs the layout from where it is: at least one step, then on until it
// has settled.
function runLayout() {
    scheduleSlice(0);
}

function stopLayout() {
    if (layoutTimer !== null) window.clearTimeout(layoutTimer);
    layoutTimer = null;
}

// The first view of the tree was shown, or the last one hidden. Shown
// again, the layout goes on from where it stopped; a tree set while none
// was shown is laid out from its start.
function setLayoutActive(active) {
    layoutActive = !!active;
    if (!layoutActive) {
        stopLayout();
    } else if (graph && !fixTree && !layoutSettled()) {
        runLayout();
    }
}

// One drawing of the layout: the scales span the nodes' bounding box.
function ticked() {
    if (!graph) return;
    fitScales(graph.nodes.map(function (d) { return d.x; }), graph.nodes.map(function (d) { return d.y; }));
    placeNodes();
    reportPositions();
}

function reportPositions() {
    if (!isQtAvailable) return;
    Qt.nodePositionsUpdated(JSON.stringify(graph.nodes.map(function (d) { return { px: d.x, py: d.y }; })));
}

// The first frame is drawn at once from the simulation's start positions;
// the simulation reports from its first step on.
function startLayout() {
    stopLayout();
    simulation.nodes(graph.nodes);
    simulation.force("link").links(graph.links);
    // The first frame counts as a drawing: the next waits as long as its
    // cost asks.
    var drawStart = now();
    fitScales(graph.nodes.map(function (d) { return d.x; }), graph.nodes.map(function (d) { return d.y; }));
    placeNodes();
    simulation.alpha(1).alphaTarget(0);
    lastDrawEnd = now();
    lastDrawCost = lastDrawEnd - drawStart;
    lastShowCost = 0;
    runLayout();
    drawPending = true;
}

function restartLayout() {
    runLayout();
}

function layoutResized() {
    if (!graph) return;
    placeNodes();
    runLayout();
}

// Every selected node follows the pointer, unscaled in layout units, and is
// pinned where it goes. The layout cools down again once the button is up,
// also after a press that did not move.
function attachNodeDrag(nodes) {
    nodes.call(d3.drag()
        .filter(function () { return nodeHandlersActive && !d3.event.button; })
        .on("start", function () {
            simulation.alphaTarget(0.25);
            runLayout();
        })
        .on("drag", function () {
            var dx = d3.event.dx, dy = d3.event.dy;
            selectedNodes().forEach(function (d) {
                d.x += dx;
                d.y += dy;
                d.fx = d.x;
                d.fy = d.y;
                d.fixed = true;
            });
            refreshNodeHighlights();
            simulation.alpha(0.5).alphaTarget(0);
            drawSoon = true;
            runLayout();
        })
        .on("end", function () { simulation.alphaTarget(0); }));
}

initPage();
