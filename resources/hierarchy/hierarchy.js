// Draws a nested tree of named groups as a zoomable sunburst: the root is the
// centre disc, every ring one level deeper, each segment as wide as its share
// of the sizes below it. Clicking a segment zooms into it; the breadcrumb
// trail above the sunburst leads back out.
//
// Hierarchy JSON, one object per node: `name`, `size` (leaves), `children`
// (array), `image` (optional: the file of the segment's fill pattern; a
// missing file leaves the pattern empty). The page draws the sample hierarchy
// `_data_hierarchy_` at start-up; text sent through qt_setData replaces it.
//
// Zoom state: the breadcrumb trail (root first, the shown node last) and the
// domains of the angle and radius scales. A resize lays the sunburst out again
// and keeps both; new data starts again from the whole tree.

var _breadcrumbBand = 100;
var _zoomDuration = 750;

var _hierarchyData = null;
var _root = null;
var _breadcrumbs = [];
var sunburstHeight = height - _breadcrumbBand;
var radius = Math.min(width, sunburstHeight) / 2;

var angleScale = d3.scaleLinear().range([0, 2 * Math.PI]).clamp(true);
var radiusScale = d3.scaleLinear().range([0, radius]).clamp(true);

var arc = d3.arc()
    .startAngle(function (d) { return angleScale(d.x0); })
    .endAngle(function (d) { return angleScale(d.x1); })
    .innerRadius(function (d) { return radiusScale(d.y0); })
    .outerRadius(function (d) { return radiusScale(d.y1); });

try {
    Qt.qt_setData.connect(setData);
} catch (e) {
    isQtAvailable = false;
    log("could not connect qt");
}

var container = d3.select("#mainView").append("svg").attr("id", "container")
    .attr("width", width).attr("height", sunburstHeight);
var breadcrumbGroup = container.append("g").attr("id", "_breadCrumbs");
var sunburstGroup = container.append("g").attr("id", "_sunburst")
    .attr("transform", "translate(" + width / 2 + "," + sunburstHeight / 2 + ")");

function isNode(d) {
    return d !== null && typeof d === "object" && !Array.isArray(d);
}

// Children only as an array, and only its entries that are nodes; anything
// else makes a leaf.
function childrenOf(d) {
    return Array.isArray(d.children) ? d.children.filter(isNode) : null;
}

// Sizes that are not positive numbers count as nothing, so one bad entry
// cannot spoil the partition of the whole tree.
function sizeOf(d) {
    var size = Number(d.size);
    return isFinite(size) && size > 0 ? size : 0;
}

// "UID0", "UID1", ... in depth-first pre-order; returns the largest size.
function numberNodes(data) {
    var next = 0;
    var maxVal = 0;
    var stack = [data];
    while (stack.length > 0) {
        var node = stack.pop();
        node.uniqueID = "UID" + next++;
        maxVal = Math.max(maxVal, sizeOf(node));
        var children = childrenOf(node);
        if (children) for (var i = children.length - 1; i >= 0; --i) stack.push(children[i]);
    }
    return maxVal;
}

// Text that is not a hierarchy object keeps the current drawing.
function setData(text) {
    var parsed = null;
    try {
        parsed = JSON.parse(text);
    } catch (e) {
        log("Hierarchy data could not be read: " + e);
        return;
    }
    if (!isNode(parsed)) {
        log("Hierarchy data is not a node.");
        return;
    }
    _hierarchyData = parsed;
    _breadcrumbs = [];
    _color.domain([0, numberNodes(_hierarchyData)]);
    angleScale.domain([0, 1]);
    radiusScale.domain([0, 1]).range([0, radius]);
    initLayout();
    drawBreadcrumbs();
}

function fillOf(d) {
    return d.data.image ? "url(#" + d.data.image + ")" : _color(d.data.size);
}

// Builds the segments from the data with the current scales. The trail is
// kept as far as its nodes are still there (matched by uniqueID). A zoom
// under way stops: its tween would go on moving the scales.
function initLayout() {
    sunburstGroup.interrupt("zoom");
    var trail = _breadcrumbs.map(function (d) { return d.data.uniqueID; });
    sunburstGroup.selectAll("*").remove();
    _root = null;
    _breadcrumbs = [];
    if (!_hierarchyData) return;

    _root = d3.hierarchy(_hierarchyData, childrenOf).sum(sizeOf);
    d3.partition()(_root);
    var nodes = _root.descendants();
    _breadcrumbs = [_root];
    for (var i = 1; i < trail.length; ++i) {
        var last = _breadcrumbs[_breadcrumbs.length - 1];
        var next = (last.children || []).filter(function (c) { return c.data.uniqueID === trail[i]; })[0];
        if (!next) break;
        _breadcrumbs.push(next);
    }

    var defs = sunburstGroup.append("defs");
    defs.selectAll("pattern").data(nodes).enter().append("pattern")
        .attr("id", function (d) { return d.data.image; })
        .attr("patternUnits", "userSpaceOnUse")
        .attr("width", 100).attr("height", 100)
        .append("image")
        .attr("xlink:href", function (d) { return d.data.image; })
        .attr("width", function (d) { return d.data.image ? 100 : 0; })
        .attr("height", function (d) { return d.data.image ? 100 : 0; });

    var segments = sunburstGroup.selectAll("g.segment").data(nodes).enter().append("g")
        .attr("class", "segment")
        .attr("id", function (d) { return d.data.uniqueID; });
    segments.append("path")
        .attr("d", arc)
        .attr("fill", fillOf)
        .attr("stroke", "#fcfcfc").attr("stroke-width", 3)
        .attr("fill-rule", "evenodd")
        .on("click", zoomIn)
        .append("title").text(function (d) { return d.data.name + "\n" + d.value; });
}

function drawBreadcrumbs() {
    var crumbs = breadcrumbGroup.selectAll("text.breadcrumb").data(_breadcrumbs);
    crumbs.exit().remove();
    crumbs.enter().append("text").attr("class", "breadcrumb").merge(crumbs)
        .attr("x", function (d, i) { return 100 * i + 20; })
        .attr("y", 30)
        .text(function (d) { return d.data.name; })
        .on("click", function (d, i) { zoomOut(i); });
}

function zoomIn(d) {
    var last = _breadcrumbs[_breadcrumbs.length - 1];
    if (d === last) return;
    var chain = d.ancestors().reverse();
    var at = chain.indexOf(last);
    // A node below the shown one extends the trail; any other node (only
    // reachable while a zoom is under way) gets the trail from the root.
    _breadcrumbs = at >= 0 ? _breadcrumbs.concat(chain.slice(at + 1)) : chain;
    zoomTo(d);
}

function zoomOut(i) {
    if (i < 0 || i >= _breadcrumbs.length - 1) return;
    var d = _breadcrumbs[i];
    _breadcrumbs = _breadcrumbs.slice(0, i + 1);
    zoomTo(d);
}

// The scale domains that show d: its angular span, and from its inner edge to
// the outer edge of its deepest descendant.
function zoomTarget(d) {
    return { angles: [d.x0, d.x1], depths: [d.y0, d3.max(d.descendants(), function (n) { return n.y1; })] };
}

// Moves the scales to zoomTarget(d) and the radius range to the full radius
// over 750 ms, every arc redrawn at each step.
function zoomTo(d) {
    sunburstGroup.select("#" + d.data.uniqueID).raise();
    var target = zoomTarget(d);
    sunburstGroup.transition("zoom").duration(_zoomDuration)
        .tween("scale", function () {
            var angles = d3.interpolate(angleScale.domain(), target.angles);
            var depths = d3.interpolate(radiusScale.domain(), target.depths);
            var radii = d3.interpolate(radiusScale.range(), [0, radius]);
            return function (t) {
                angleScale.domain(angles(t));
                radiusScale.domain(depths(t)).range(radii(t));
            };
        })
        .selectAll("path")
        .attrTween("d", function (n) { return function () { return arc(n); }; });
    drawBreadcrumbs();
}

function resize() {
    width = window.innerWidth;
    height = window.innerHeight;
    sunburstHeight = Math.max(0, height - _breadcrumbBand);
    radius = Math.min(width, sunburstHeight) / 2;
    container.attr("width", width).attr("height", height);
    sunburstGroup.attr("transform", "translate(" + width / 2 + "," + height / 2 + ")");
    radiusScale.range([0, radius]);
    initLayout();
    if (_breadcrumbs.length > 0) {
        var target = zoomTarget(_breadcrumbs[_breadcrumbs.length - 1]);
        angleScale.domain(target.angles);
        radiusScale.domain(target.depths);
        sunburstGroup.selectAll("path").attr("d", arc);
    }
    drawBreadcrumbs();
}

resize();
window.addEventListener("resize", resize);
// The engine drops the resize event of a view resized while the page loads
// (a dock laid out right after its page was set); the size is taken again
// once loading is over.
window.addEventListener("load", resize);
initLegend();
setData(JSON.stringify(_data_hierarchy_));
