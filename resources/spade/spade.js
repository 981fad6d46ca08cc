// The master SPADE tree page: lays the tree out with a force simulation and
// reports the layout position of every node on each step of it, so that the
// slave pages can show the same tree. Selected nodes can be dragged; a drag
// pins them where they are dropped.

// Saving a bubble empties the selection; the master page reports that.
var reportsBubbleSelection = true;

try {
    Qt.qt_setData.connect(setData);
} catch (e) {
    isQtAvailable = false;
    log("could not connect qt");
}

var simulation = d3.forceSimulation()
    .force("link", d3.forceLink())
    .force("collide", d3.forceCollide(function (d) { return size2rad(d.size); }))
    .force("charge", d3.forceManyBody())
    .alphaDecay(0.01)
    .on("tick", ticked)
    .stop();

// One step of the layout on screen: the scales span the nodes' bounding box.
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
    simulation.nodes(graph.nodes);
    simulation.force("link").links(graph.links);
    fitScales(graph.nodes.map(function (d) { return d.x; }), graph.nodes.map(function (d) { return d.y; }));
    placeNodes();
    simulation.alpha(1).alphaTarget(0).restart();
}

function stopLayout() {
    simulation.stop();
}

function restartLayout() {
    simulation.restart();
}

function layoutResized() {
    if (!graph) return;
    placeNodes();
    simulation.restart();
}

// Every selected node follows the pointer, unscaled in layout units, and is
// pinned where it goes. The layout cools down again once the button is up,
// also after a press that did not move.
function attachNodeDrag(nodes) {
    nodes.call(d3.drag()
        .filter(function () { return nodeHandlersActive && !d3.event.button; })
        .on("start", function () { simulation.alphaTarget(0.25).restart(); })
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
            simulation.alpha(0.5).alphaTarget(0).restart();
        })
        .on("end", function () { simulation.alphaTarget(0); }));
}

initPage();
