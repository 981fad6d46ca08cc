// Draws one focus-and-context tree top-down: a node per group of landmarks,
// "F" for focus and "C" for context, small unlabelled dots for the wrapper
// nodes the tree's writer adds, and one dashed divider between two scales.
// The dock sends the tree as JSON text (qt_setData) and the names of the
// trees it knows (qt_addAvailableData); the page asks for a tree by name
// (js_selectData) and hands its drawing back for saving (printSVG).

var _availableDataSets = [];
var _data = null;
var margin = 100;
var drawWidth = width - margin;
var drawHeight = height - margin;
var xScale = d3.scaleLinear().domain([0, 100]);
var yScale = d3.scaleLinear().domain([0, 100]);

try {
    Qt.qt_setData.connect(setData);
    Qt.qt_addAvailableData.connect(addAvailableData);
} catch (e) {
    isQtAvailable = false;
    log("could not connect qt");
}

var container = d3.select("#mainView").append("svg").attr("id", "container")
    .on("contextmenu", d3.contextMenu(treeMenu));
var treeGroup = container.append("g").attr("id", "treeGroup")
    .attr("transform", "translate(" + margin / 2 + "," + margin / 2 + ")");

function setActiveTree(name) {
    if (isQtAvailable) Qt.js_selectData(name);
}

// A name the selector does not list yet is appended; the choice made stays.
function addAvailableData(name) {
    if (_availableDataSets.indexOf(name) >= 0) return;
    _availableDataSets.push(name);
    var selector = document.getElementById("treeSelector");
    var selected = selector.selectedIndex;
    while (selector.options.length > 1) selector.remove(1);
    _availableDataSets.forEach(function (n) {
        var option = document.createElement("option");
        option.text = n;
        option.value = n;
        selector.add(option);
    });
    selector.selectedIndex = selected;
}

// Empty text (a tree that was never filled) or text that is not a tree
// object draws nothing.
function setData(text) {
    _data = null;
    if (text && text.trim().length > 0) {
        try {
            var parsed = JSON.parse(text);
            if (parsed && typeof parsed === "object") _data = parsed;
        } catch (e) {
            log("Tree data could not be read: " + e);
        }
    }
    drawTree();
    log("Data set.");
}

function isFocus(d) {
    return d.data.id >= 0 && d.data.type < 2;
}

// "20,10," then "0.5," once per unit of the scale with "4," between, then "10":
// the divider of scale s carries s dots.
function dividerDashes(scale) {
    var dots = [];
    for (var k = 0; k < scale; ++k) dots.push("0.5,");
    return "20,10," + dots.join("4,") + "10";
}

function drawDividers(nodes) {
    var scales = nodes.filter(function (d) { return d.data.id >= 0 && isFinite(d.data.scale); })
        .map(function (d) { return d.data.scale; });
    if (scales.length === 0) return;
    var maxScale = d3.max(scales);
    var numScales = maxScale - d3.min(scales);
    // One scale only: nothing lies between two scales.
    if (!(numScales > 0)) return;
    var segment = drawHeight / numScales;
    var style = function (sel) {
        return sel.style("font", "16px Verdana").style("font-weight", 200)
            .attr("fill", "#555").attr("opacity", 0.5);
    };
    for (var i = 0; i < numScales; ++i) {
        var s = maxScale - i;
        var divider = treeGroup.append("g").attr("class", "divider")
            .attr("transform", "translate(0," + (0.75 * segment + i * segment) + ")");
        divider.append("line").attr("x1", 0).attr("x2", drawWidth).attr("y1", 0).attr("y2", 0)
            .attr("stroke", "#555").attr("stroke-opacity", 0.5).attr("stroke-linecap", "round")
            .attr("stroke-dasharray", dividerDashes(s));
        style(divider.append("text").attr("class", "dividerAbove").attr("dx", 10).attr("dy", -10))
            .text("Scale " + s);
        style(divider.append("text").attr("class", "dividerBelow").attr("dx", 10).attr("dy", 22))
            .text("Scale " + (s - 1));
    }
}

function drawTree() {
    treeGroup.selectAll("*").remove();
    if (!_data) return;
    var root = d3.hierarchy(_data, function (d) { return d.children; });
    d3.tree().size([100, 100])(root);
    var nodes = root.descendants();
    drawDividers(nodes);

    treeGroup.selectAll("path.link").data(nodes.slice(1)).enter().append("path")
        .attr("class", "link")
        .attr("fill", "none").attr("stroke", "#555").attr("stroke-opacity", 0.5).attr("stroke-width", "1.5px")
        .attr("d", function (d) {
            var x = xScale(d.x), y = yScale(d.y), px = xScale(d.parent.x), py = yScale(d.parent.y);
            var my = (y + py) / 2;
            return "M" + x + "," + y + "C" + x + "," + my + " " + px + "," + my + " " + px + "," + py;
        });

    var node = treeGroup.selectAll("g.node").data(nodes).enter().append("g")
        .attr("class", function (d) { return "node " + (isFocus(d) ? "node-focus" : "node-context"); })
        .attr("transform", function (d) { return "translate(" + xScale(d.x) + "," + yScale(d.y) + ")"; });
    node.append("circle")
        .attr("r", function (d) { return d.data.id < 0 ? 5 : 15; })
        .attr("fill", function (d) { return isFocus(d) ? "#555" : "#999"; });
    node.filter(function (d) { return d.data.id >= 0; }).append("text")
        .attr("dy", 6).attr("text-anchor", "middle")
        .style("font", "1.2em Verdana").style("font-weight", 600).attr("fill", "white")
        .text(function (d) { return isFocus(d) ? "F" : "C"; });
}

function resize() {
    width = window.innerWidth;
    height = window.innerHeight;
    drawWidth = Math.max(0, width - margin);
    drawHeight = Math.max(0, height - margin);
    xScale.range([0, drawWidth]);
    yScale.range([0, drawHeight]);
    container.attr("width", width).attr("height", height);
    drawTree();
}

window.addEventListener("resize", resize);
resize();
