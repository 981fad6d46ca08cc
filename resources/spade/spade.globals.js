// State and drawing shared by the two SPADE tree pages. The master page
// (spade.js) lays the tree out with a force simulation; the slave page
// (spade_slave.js) places it where it is told. Each page supplies the hooks
// startLayout(), stopLayout(), restartLayout(), attachNodeDrag(nodes) and
// layoutResized().
//
// Everything a name (marker, cluster, bubble) reaches in the document is set
// as text; element ids are numbers, never names.

// The parsed cluster set: names (markers), nodes (name, size, expression,
// stddev, plus index, x, y, fx, fy, selected, previouslySelected, subTree,
// fixed) and links (source and target: node indices, or node references
// once the master's simulation has them).
var graph = null;
var totalNumberOfCells = 0;
// Marker of the left and of the right half of every node.
var activeMarker = [0, 0];
// Per marker [min, max] of its finite values; the user bounds follow the
// range sliders and give the colour domain.
var expressionBounds = [];
var expressionUserBounds = [];
// The bubbles in creation order: { name, id, hull, label } with the hull
// path and the label element.
var subTrees = [];
var bubbleCounter = 0;
// Open detail rings: { node, group }.
var detailRings = [];
// Number of times the nodes were placed since the last data load; 1 as soon
// as a new tree is drawn completely.
var framesDrawn = 0;
var fixTree = false;
// Off while a rectangle is being drawn.
var nodeHandlersActive = true;

var selectionColor = "rgb(60, 150, 250)";
var pinnedColor = "#666";
var plainHighlightColor = "#DDD";
// Drawn for a marker value the data does not have.
var missingValueColor = "#bbb";
var highlightPadding = 1.8;
var hoverHighlightRadius = 29.8;
var hoverRadius = 28;

var xScale = d3.scaleLinear().domain([0, 1]);
var yScale = d3.scaleLinear().domain([0, 1]);

var container = null;
var hullLayer = null;
var selectionHull = null;
var brushLayer = null;
var labelLayer = null;
var linkLayer = null;
var nodeLayer = null;
var ringLayer = null;
var halfArc = d3.arc();

var frameMs = 1000 / 60;

function now() {
    return window.performance && performance.now ? performance.now() : Date.now();
}

function isFiniteNumber(v) {
    return typeof v === "number" && isFinite(v);
}

function finiteOrNull(v) {
    return isFiniteNumber(v) ? v : null;
}

function textOf(v) {
    return v === null || v === undefined ? "" : String(v);
}

// & < > " ' as entities, for the few places that take markup (the context
// menu writes its titles as HTML).
function escapeHtml(text) {
    return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
        .replace(/"/g, "&quot;").replace(/'/g, "&#39;");
}

// A cluster set as the page works with it; null for text that is no JSON
// object. Missing or non-finite marker values become null, sizes that are
// no positive number 0, and links whose ends are no node index are dropped.
function readGraph(text) {
    var parsed;
    try {
        parsed = JSON.parse(text);
    } catch (e) {
        log("Data could not be read: " + e);
        return null;
    }
    if (!parsed || typeof parsed !== "object" || Array.isArray(parsed)) return null;
    var names = Array.isArray(parsed.names) ? parsed.names.map(textOf) : [];
    var values = function (list) {
        var source = Array.isArray(list) ? list : [];
        return names.map(function (n, m) { return finiteOrNull(source[m]); });
    };
    var nodes = (Array.isArray(parsed.nodes) ? parsed.nodes : []).map(function (n, i) {
        n = n && typeof n === "object" ? n : {};
        return {
            name: textOf(n.name),
            size: isFiniteNumber(n.size) && n.size > 0 ? n.size : 0,
            expression: values(n.expression),
            stddev: values(n.stddev),
            index: i,
            selected: false,
            previouslySelected: false,
            subTree: null,
            fixed: false
        };
    });
    var isNodeIndex = function (v) { return isFiniteNumber(v) && v === Math.floor(v) && v >= 0 && v < nodes.length; };
    var links = (Array.isArray(parsed.links) ? parsed.links : []).filter(function (l) {
        return l && isNodeIndex(l.source) && isNodeIndex(l.target);
    }).map(function (l) {
        return { source: l.source, target: l.target, value: isFiniteNumber(l.value) ? l.value : 0 };
    });
    return { names: names, nodes: nodes, links: links };
}

// Radius of a node's half discs: its share of all cells mapped from
// [0.8 %, 20 %] onto an area-like [25, 625], clamped; 5 to 25 pixels. With
// no cells at all every node gets the smallest radius.
var shareToArea = d3.scaleLinear().domain([0.008, 0.2]).range([25, 625]).clamp(true);

function size2rad(size) {
    var share = totalNumberOfCells > 0 ? size / totalNumberOfCells : 0;
    if (!isFiniteNumber(share)) share = 0;
    return Math.sqrt(shareToArea(share));
}

function markerValue(d, m) {
    return d.expression && m < d.expression.length ? d.expression[m] : null;
}

function computeBounds() {
    expressionBounds = graph.names.map(function (name, m) {
        var values = graph.nodes.map(function (d) { return markerValue(d, m); }).filter(isFiniteNumber);
        return values.length ? [d3.min(values), d3.max(values)] : [0, 0];
    });
    expressionUserBounds = expressionBounds.map(function (b) { return b.slice(); });
}

// The two side colour scales over the user bounds of the active markers;
// the shared default scales while there is no marker.
function refreshSideColormaps() {
    if (graph && graph.names.length > 0) {
        refreshColormaps();
    } else {
        _colors = [activeColormapWithCustomDomain([0.0, 5.0]), activeColormapWithCustomDomain([0.0, 5.0])];
    }
}

function sideColor(side, d) {
    var v = markerValue(d, activeMarker[side]);
    return v === null ? missingValueColor : _colors[side](v);
}

function markerColor(m, v) {
    if (v === null || !expressionUserBounds[m]) return missingValueColor;
    return activeColormapWithCustomDomain(expressionUserBounds[m].slice())(v);
}

// --- screen placement -----------------------------------------------------

// The drawing square: side m = min(w - 160, h - 205), centred in the space
// left by 80 pixels on the left and top.
function updateScaleRanges() {
    var m = Math.max(0, Math.min(width - 160, height - 205));
    var ox = Math.max(0, (width - 160 - m) / 2);
    var oy = Math.max(0, (height - 205 - m) / 2);
    xScale.range([80 + ox, 80 + ox + m]);
    yScale.range([80 + oy, 80 + oy + m]);
}

// A range of layout values; a single value is widened so that it lands in
// the middle of the square.
function extentOf(values) {
    var e = d3.extent(values.filter(isFiniteNumber));
    if (e[0] === undefined) return [0, 1];
    if (e[0] === e[1]) return [e[0] - 1, e[1] + 1];
    return e;
}

function fitScales(xs, ys) {
    xScale.domain(extentOf(xs));
    yScale.domain(extentOf(ys));
}

function screenX(d) {
    var x = xScale(d.x);
    return clamp(0, isFiniteNumber(x) ? x : 0, width);
}

function screenY(d) {
    var y = yScale(d.y);
    return clamp(0, isFiniteNumber(y) ? y : 0, height);
}

function linkEnd(end) {
    return typeof end === "object" ? end : graph.nodes[end];
}

function translate(x, y) {
    return "translate(" + x + "," + y + ")";
}

// Moves links, nodes and open rings to the nodes' screen positions and
// redraws the hulls.
function placeNodes() {
    if (!graph) return;
    nodeLayer.selectAll("g.node").attr("transform", function (d) { return translate(screenX(d), screenY(d)); });
    linkLayer.selectAll("line.link")
        .attr("x1", function (l) { return screenX(linkEnd(l.source)); })
        .attr("y1", function (l) { return screenY(linkEnd(l.source)); })
        .attr("x2", function (l) { return screenX(linkEnd(l.target)); })
        .attr("y2", function (l) { return screenY(linkEnd(l.target)); });
    placeRings();
    drawHulls();
    ++framesDrawn;
}

// --- drawing ----------------------------------------------------------------

function halfDisc(side, r) {
    return halfArc({
        innerRadius: 0,
        outerRadius: r,
        startAngle: side === 0 ? Math.PI : 0,
        endAngle: side === 0 ? 2 * Math.PI : Math.PI
    });
}

function highlightFill(d) {
    if (d.selected) return selectionColor;
    return d.fixed ? pinnedColor : plainHighlightColor;
}

function refreshNodeHighlights() {
    if (!nodeLayer) return;
    nodeLayer.selectAll("circle.nodeHighlight").attr("fill", highlightFill);
}

function recolourNodes() {
    if (!nodeLayer) return;
    nodeLayer.selectAll("path.half").each(function (d) {
        var color = sideColor(this._side, d);
        d3.select(this).attr("fill", color).attr("stroke", color);
    });
}

// The drawing, bottom to top: hulls (selection first, then the bubbles),
// the rectangle selection, bubble labels, links, nodes, detail rings and the
// size legend.
function initDrawing() {
    container = d3.select("#mainView").append("svg").attr("id", "container")
        .on("contextmenu", pageMenu(backgroundMenuItems));
    hullLayer = container.append("g").attr("id", "hulls");
    selectionHull = hullLayer.append("path").attr("class", "selectionHull")
        .attr("fill", selectionColor).attr("fill-opacity", 0.05).attr("stroke", selectionColor);
    brushLayer = container.append("g").attr("id", "brush");
    initBrush();
    labelLayer = container.append("g").attr("id", "bubbleLabels");
    linkLayer = container.append("g").attr("id", "links");
    nodeLayer = container.append("g").attr("id", "nodes");
    ringLayer = container.append("g").attr("id", "rings");
    initSizeLegend(container);
}

function buildDrawing() {
    hullLayer.selectAll("path.bubbleHull").remove();
    selectionHull.attr("d", null);
    labelLayer.selectAll("*").remove();
    linkLayer.selectAll("*").remove();
    nodeLayer.selectAll("*").remove();
    ringLayer.selectAll("*").remove();

    linkLayer.selectAll("line.link").data(graph.links).enter().append("line")
        .attr("class", "link").attr("stroke", "#aaa");

    var node = nodeLayer.selectAll("g.node").data(graph.nodes).enter().append("g").attr("class", "node");
    node.append("circle").attr("class", "nodeHighlight")
        .attr("r", function (d) { return size2rad(d.size) + highlightPadding; });
    [0, 1].forEach(function (side) {
        node.append("path").attr("class", side === 0 ? "half halfLeft" : "half halfRight")
            .each(function (d) {
                this._side = side;
                this._radius = size2rad(d.size);
            })
            .attr("d", function (d) { return halfDisc(side, this._radius); });
    });
    node.append("text").attr("class", "nodeCount").attr("text-anchor", "middle").attr("dy", "0.35em")
        .attr("font-size", "16px").style("opacity", 0).style("display", "none")
        .text(function (d) { return d.size; });

    // Selection first: the master's drag handler stops the press from
    // reaching later listeners.
    node.on("mousedown.select", nodePressed)
        .on("mouseenter", nodeEntered)
        .on("mouseleave", nodeLeft)
        .on("dblclick", nodeDoubleClicked)
        .on("contextmenu", nodeContextMenu);
    attachNodeDrag(node);
    refreshNodeHighlights();
    recolourNodes();
}

// Loads a cluster set; unreadable text keeps the current drawing.
function setData(json) {
    var parsed = readGraph(json);
    if (!parsed) return;
    graph = parsed;
    totalNumberOfCells = d3.sum(graph.nodes, function (d) { return d.size; });
    detailRings = [];
    computeBounds();
    activeMarker = [0, 0];
    refreshSideColormaps();
    rebuildMarkerSliders();
    refillMarkerSelectors();
    drawSizeLegend();
    subTrees = [];
    lastBubbleSave = null;
    framesDrawn = 0;
    buildDrawing();
    startLayout();
    layOutDocument();
    log("Data set.");
}

// The engine lays a changed document out when it next paints it, and
// repaints what that layout moved in a further pass: after a new drawing of
// thousands of elements, a second paint of the whole page as long as the
// first. Laid out at once, the layout's repaints join the first paint.
function layOutDocument() {
    document.documentElement.getBoundingClientRect();
}

// --- hover ------------------------------------------------------------------

function radiusTween(r1) {
    return function () {
        var element = this;
        var side = element._side;
        var i = d3.interpolateNumber(element._radius, r1);
        return function (t) {
            element._radius = i(t);
            return halfDisc(side, element._radius);
        };
    };
}

function nodeEntered(d) {
    if (!nodeHandlersActive) return;
    // Raised only when not on top already: moving the element under the
    // pointer would make the engine report a leave and a new enter.
    if (this.nextSibling) this.parentNode.appendChild(this);
    var g = d3.select(this);
    g.select("circle.nodeHighlight").transition("hover").duration(500).attr("r", hoverHighlightRadius);
    g.selectAll("path.half").transition("hover").duration(500).attrTween("d", radiusTween(hoverRadius));
    // Shown only while it fades in or out: thousands of invisible texts would
    // still be laid out and painted with every drawing of a large tree.
    g.select("text.nodeCount").style("display", null).transition("hover").duration(750).style("opacity", 1);
    if (isQtAvailable) Qt.jsHighlightUpdated(d.index);
}

function nodeLeft(d) {
    if (!nodeHandlersActive) return;
    var r = size2rad(d.size);
    var g = d3.select(this);
    g.select("circle.nodeHighlight").transition("hover").duration(750).attr("r", r + highlightPadding);
    g.selectAll("path.half").transition("hover").duration(750).attrTween("d", radiusTween(r));
    g.select("text.nodeCount").transition("hover").duration(500).style("opacity", 0)
        .on("end", function () { d3.select(this).style("display", "none"); });
    if (isQtAvailable) Qt.jsHighlightUpdated(-1);
}

// --- selection --------------------------------------------------------------

function selectedNodes() {
    return graph ? graph.nodes.filter(function (d) { return d.selected; }) : [];
}

function sendSelection() {
    if (!isQtAvailable) return;
    Qt.selectionUpdated(selectedNodes().map(function (d) { return d.index; }));
}

function showSelection() {
    refreshNodeHighlights();
    drawHulls();
}

function selectionChanged() {
    showSelection();
    sendSelection();
}

function selectNodes(predicate) {
    if (!graph) return;
    graph.nodes.forEach(function (d) { d.selected = !!predicate(d); });
    selectionChanged();
}

function selectAllNodes() {
    selectNodes(function () { return true; });
}

function deselectAllNodes() {
    selectNodes(function () { return false; });
}

// Left button: Shift flips the node; otherwise an unselected node becomes
// the only selected one and a selected node keeps the selection (so that a
// drag moves all of it).
function nodePressed(d) {
    if (!nodeHandlersActive || d3.event.button !== 0) return;
    if (d3.event.shiftKey) {
        d.selected = !d.selected;
    } else if (!d.selected) {
        graph.nodes.forEach(function (n) { n.selected = n === d; });
    } else {
        return;
    }
    selectionChanged();
}

// Rectangle selection with the left button on the background. The rectangle
// includes its left and top edges and excludes its right and bottom edges;
// with Shift it flips the nodes it covers.
var brushRect = null;
var brushOverlay = null;

function initBrush() {
    brushOverlay = brushLayer.append("rect").attr("class", "brushOverlay")
        .attr("fill", "none").attr("pointer-events", "all")
        .on("mousedown.brush", brushStarted);
    brushRect = brushLayer.append("rect").attr("class", "brushSelection")
        .attr("fill", "#777").attr("fill-opacity", 0.3).attr("stroke", "#fff")
        .attr("shape-rendering", "crispEdges").style("display", "none");
}

function resizeBrush() {
    brushOverlay.attr("width", width).attr("height", height);
}

function brushStarted() {
    if (d3.event.button !== 0 || !graph) return;
    d3.event.preventDefault();
    var origin = d3.mouse(brushLayer.node());
    var shift = d3.event.shiftKey;
    var moved = false;
    graph.nodes.forEach(function (d) { d.previouslySelected = shift && d.selected; });
    nodeHandlersActive = false;

    d3.select(window)
        .on("mousemove.brush", function () {
            var p = d3.mouse(brushLayer.node());
            var x0 = clamp(0, Math.min(origin[0], p[0]), width), x1 = clamp(0, Math.max(origin[0], p[0]), width);
            var y0 = clamp(0, Math.min(origin[1], p[1]), height), y1 = clamp(0, Math.max(origin[1], p[1]), height);
            brushRect.style("display", null).attr("x", x0).attr("y", y0).attr("width", x1 - x0).attr("height", y1 - y0);
            graph.nodes.forEach(function (d) {
                var x = screenX(d), y = screenY(d);
                var inside = x0 <= x && x < x1 && y0 <= y && y < y1;
                d.selected = d.previouslySelected !== inside;
            });
            moved = true;
            refreshNodeHighlights();
            drawHulls();
            d3.event.preventDefault();
        }, true)
        .on("mouseup.brush", function () {
            d3.select(window).on("mousemove.brush", null, true).on("mouseup.brush", null, true);
            brushRect.style("display", "none").attr("x", null).attr("y", null).attr("width", null).attr("height", null);
            nodeHandlersActive = true;
            if (moved) sendSelection();
        }, true);
}

// --- hulls ------------------------------------------------------------------

// Convex hull of 40 points on a circle of radius size2rad + pad around each
// node, running clockwise on screen so that text set above the path stands
// outside the hull; null for no nodes.
function hullPath(nodes, pad) {
    if (nodes.length === 0) return null;
    var points = [];
    nodes.forEach(function (d) {
        var x = screenX(d), y = screenY(d), r = size2rad(d.size) + pad;
        for (var k = 0; k < 40; ++k) {
            var a = k * circ / 40;
            points.push([x + r * Math.cos(a), y + r * Math.sin(a)]);
        }
    });
    var hull = d3.polygonHull(points);
    return hull ? "M" + hull.reverse().join("L") + "Z" : null;
}

function bubbleMembers(name) {
    return graph ? graph.nodes.filter(function (d) { return d.subTree === name; }) : [];
}

function drawHulls() {
    if (!selectionHull) return;
    selectionHull.attr("d", hullPath(selectedNodes(), 1));
    subTrees.forEach(function (b) {
        d3.select(b.hull).attr("d", hullPath(bubbleMembers(b.name), 8));
    });
}

// --- bubbles ----------------------------------------------------------------

function findBubble(name) {
    for (var i = 0; i < subTrees.length; ++i)
        if (subTrees[i].name === name) return subTrees[i];
    return null;
}

function removeBubble(bubble) {
    d3.select(bubble.hull).remove();
    d3.select(bubble.label).remove();
    subTrees = subTrees.filter(function (b) { return b !== bubble; });
}

function removeEmptyBubbles() {
    subTrees.slice().forEach(function (b) {
        if (bubbleMembers(b.name).length === 0) removeBubble(b);
    });
}

function createBubble(name) {
    var id = ++bubbleCounter;
    var bubble = { name: name, id: id, hull: null, label: null };
    bubble.hull = hullLayer.append("path").attr("id", "hull-" + id).attr("class", "bubbleHull")
        .attr("fill", "none").attr("stroke", "#0F0F0F").attr("stroke-width", 2).node();
    var label = labelLayer.append("text").attr("id", "hull-label-" + id).attr("class", "bubbleLabel")
        .attr("dy", -8).attr("font-size", "14px").attr("font-family", "sans-serif").attr("fill", "#0F0F0F")
        .on("click", function () {
            selectNodes(function (d) { return d.subTree === bubble.name; });
        })
        .on("contextmenu", pageMenu(bubbleLabelMenuItems));
    // Set with its prefix: without one the engine serialises the attribute
    // under a made-up prefix that no saved drawing declares.
    var textPath = label.append("textPath").attr("startOffset", "75%").text(name);
    textPath.node().setAttributeNS(d3.namespaces.xlink, "xlink:href", "#hull-" + id);
    bubble.label = label.node();
    subTrees.push(bubble);
    return bubble;
}

// The bubbles and the selection as they were before the last saved bubble,
// so that a bubble the widget refuses leaves nothing behind.
var lastBubbleSave = null;

function bubbleState(name) {
    return {
        name: name,
        members: graph.nodes.map(function (d) { return d.subTree; }),
        bubbles: subTrees.map(function (b) { return b.name; }),
        selected: graph.nodes.map(function (d) { return d.selected; })
    };
}

// The widget could not keep the bubble `name` (the name belongs to another
// data set, or the tree makes no bubbles): the bubbles and the selection
// return to what they were before it was saved.
function bubbleRefused(name) {
    if (!graph) return;
    var state = lastBubbleSave;
    lastBubbleSave = null;
    if (!state || state.name !== name || state.members.length !== graph.nodes.length) {
        if (findBubble(name)) removeFromBubbles(bubbleMembers(name));
        return;
    }
    subTrees.slice().forEach(removeBubble);
    graph.nodes.forEach(function (d, i) {
        d.subTree = state.members[i];
        d.selected = state.selected[i];
    });
    state.bubbles.forEach(function (b) { createBubble(b); });
    if (reportsBubbleSelection) selectionChanged();
    else showSelection();
}

function nodeIndices(nodes) {
    return nodes.map(function (d) { return d.index; });
}

// Every bubble's name with the indices of its nodes as one text.
function bubbleContents() {
    return subTrees.map(function (b) { return { name: b.name, nodes: nodeIndices(bubbleMembers(b.name)).join() }; });
}

// A bubble is a data set of the cells of its nodes: each bubble still on the
// page (but `except`) whose nodes differ from `before` (bubbleContents) goes
// to the widget, which refills its data set. A bubble that lost its last
// node has left the page and goes with no nodes: its data set keeps the
// cells it last had, and the other views of the tree drop it too.
function reportChangedBubbles(before, except) {
    if (!isQtAvailable) return;
    subTrees.forEach(function (b) {
        if (b.name === except) return;
        var nodes = nodeIndices(bubbleMembers(b.name));
        var was = before.filter(function (c) { return c.name === b.name; });
        if (was.length === 0 || was[0].nodes !== nodes.join()) Qt.js_subtreeEdited(nodes, b.name);
    });
    before.forEach(function (c) {
        if (c.name !== except && !findBubble(c.name)) Qt.js_subtreeEdited([], c.name);
    });
}

// The tree's bubbles as another view of it left them (the widget's list of
// { name, nodes }, in the order they were made): they replace this page's
// bubbles, and nothing goes back, as the widget has them already. A node
// named twice stays in the first bubble; entries that are no named bubble
// and indices that name no node are left out, and text that is no list
// changes nothing.
function setBubbles(text) {
    if (!graph) return;
    var list;
    try {
        list = JSON.parse(text);
    } catch (e) {
        log("Bubbles could not be read: " + e);
        return;
    }
    if (!Array.isArray(list)) return;
    var isNode = function (i) { return isFiniteNumber(i) && i === Math.floor(i) && i >= 0 && i < graph.nodes.length; };
    var bubbles = list.filter(function (b) {
        return b && typeof b.name === "string" && b.name.length > 0 && Array.isArray(b.nodes);
    });
    // Whatever the page was about to take back is gone with its bubbles.
    lastBubbleSave = null;
    subTrees.slice().forEach(removeBubble);
    graph.nodes.forEach(function (d) { d.subTree = null; });
    bubbles.forEach(function (b) {
        b.nodes.filter(isNode).forEach(function (i) {
            if (graph.nodes[i].subTree === null) graph.nodes[i].subTree = b.name;
        });
    });
    bubbles.forEach(function (b) {
        if (!findBubble(b.name) && bubbleMembers(b.name).length > 0) createBubble(b.name);
    });
    drawHulls();
}

// Saves the selected nodes as the bubble `name`: an existing bubble of that
// name keeps its members and gains the selection, bubbles that lose their
// last node vanish. Nothing is made of a name without nodes. The master
// page reports the emptied selection; the slave page only redraws it. Once
// the widget has kept the bubble, the bubbles the selection was taken from
// are reported as edited.
function saveBubble(name) {
    if (!graph) return;
    var before = bubbleContents();
    lastBubbleSave = bubbleState(name);
    var old = findBubble(name);
    if (old) removeBubble(old);
    graph.nodes.forEach(function (d) { if (d.selected) d.subTree = name; });
    removeEmptyBubbles();
    var members = bubbleMembers(name);
    if (members.length > 0) createBubble(name);
    graph.nodes.forEach(function (d) { d.selected = false; });
    if (reportsBubbleSelection) selectionChanged();
    else showSelection();
    if (members.length > 0 && isQtAvailable) {
        Qt.js_subtreeCreated(nodeIndices(members), name);
        // A refused bubble has put every bubble back as it was
        // (bubbleRefused): none is reported then.
        reportChangedBubbles(before, name);
    }
}

// The node menu's bubble edits; every bubble they change is reported. A
// menu opened before another view changed the bubbles may name one that
// has gone since, or nodes that have moved to another bubble since.
function moveToBubble(nodes, name) {
    if (!findBubble(name)) return;
    var before = bubbleContents();
    nodes.forEach(function (d) { d.subTree = name; });
    removeEmptyBubbles();
    drawHulls();
    reportChangedBubbles(before, null);
}

// The nodes leave the bubble `name`, or whatever bubble they are in when no
// name is given; a node in another bubble stays there.
function removeFromBubbles(nodes, name) {
    var before = bubbleContents();
    if (name !== undefined) nodes = nodes.filter(function (d) { return d.subTree === name; });
    nodes.forEach(function (d) { d.subTree = null; });
    removeEmptyBubbles();
    drawHulls();
    reportChangedBubbles(before, null);
}

// The bubble all given nodes are in; null when they are not all in the
// same one.
function sharedBubble(nodes) {
    if (nodes.length === 0 || nodes[0].subTree === null) return null;
    var name = nodes[0].subTree;
    return nodes.every(function (d) { return d.subTree === name; }) ? name : null;
}

// --- pinning ----------------------------------------------------------------

function pinNodes(nodes) {
    nodes.forEach(function (d) {
        d.fixed = true;
        d.fx = d.x;
        d.fy = d.y;
    });
    refreshNodeHighlights();
}

// While "Fix Tree" is on a released node stays where it is.
function releaseNodes(nodes) {
    nodes.forEach(function (d) {
        d.fixed = false;
        if (!fixTree) {
            d.fx = null;
            d.fy = null;
        }
    });
    refreshNodeHighlights();
}

function toggleFixTree(on) {
    fixTree = !!on;
    if (!graph) return;
    if (fixTree) {
        graph.nodes.forEach(function (d) {
            d.fx = d.x;
            d.fy = d.y;
        });
        stopLayout();
    } else {
        graph.nodes.forEach(function (d) {
            if (d.fixed) return;
            d.fx = null;
            d.fy = null;
        });
        restartLayout();
    }
}

// --- window size ------------------------------------------------------------

function resize() {
    width = window.innerWidth;
    height = window.innerHeight;
    container.attr("width", width).attr("height", height);
    resizeBrush();
    fitMarkerSliders();
    updateScaleRanges();
    layoutResized();
}

// The page's start, once its own script has defined the layout hooks.
function initPage() {
    initDrawing();
    initBubbleDialog();
    rebuildMarkerSliders();
    refreshSideColormaps();
    window.addEventListener("resize", resize);
    resize();
    initLegend();
}
