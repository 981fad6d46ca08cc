// The cluster heat map: one column per cluster, one row per selected marker,
// each cell coloured by the cluster's median of that marker. The dock sends
// the names of the cluster sets (qt_addAvailableData), default marker flags
// (qt_setMarkerSelection), the chosen set as JSON (qt_setData) and the set's
// cluster selection (qt_setSelection); the page reports the chosen set, the
// selected columns, the hovered column, merges, renames and exports.
//
// Every name (markers, clusters, sets) comes from files or users and reaches
// the document only as text, never as markup. Lists and numbers from the
// dock are checked before use: a missing selection entry counts as 0, a
// median that is no finite number paints nothing and counts as 0 in the
// dendrogram.

var _data = null;
var _availableDataSets = [];
var _markerRange = [0.0, 5.0];
var _markerUserBounds = [-1.0, 99999999999.0];
var _selection = [];
var _selectedBeforeMerge = -1;
var _markerSelection = [];
var _markerSelectionSAT = [0];
var _sorting = [];
var _sortBy = -1;
var _sortLowToHigh = false;
var _dendrogramClusters = [];
var _isMakerSelectionActive = false;
var _isDendrogramActive = false;
var _isDendrogramLabelsActive = true;
var _showVariation = false;
var _clickedColumeLabelId = 0;
var _labelColumnWidth = 0;
// Set when another set is chosen: the next data gets the colour bounds of
// its own range instead of the clamped bounds of the set shown before.
var _resetBoundsOnData = true;
// Pixel widths of the marker names, measured once per data push.
var _markerTextWidths = [];

var _legendStripWidth = 90;
var _labelStripHeight = 90;
var _markerSelectWidth = 30;
var _dendrogramHeight = 120;
var _dendrogramTop = 20;
var _frameOverhang = 1.5;
var _backgroundColor = "#fcfcfc";
var _variationScale = d3.scaleLinear().domain([0.0, 3.0]).range([1.0, 0.05]).clamp(true);

var _svgWidth = 0;
var _svgHeight = 0;
var _heatmapHeight = 0;

try {
    Qt.qt_setData.connect(setData);
    Qt.qt_setSelection.connect(setSelection);
    Qt.qt_setHighlight.connect(setHighlight);
    Qt.qt_addAvailableData.connect(addAvailableData);
    Qt.qt_setMarkerSelection.connect(initMarkerSelection);
} catch (e) {
    isQtAvailable = false;
    log("could not connect qt");
}

var container = d3.select("#mainView").append("svg").attr("id", "container")
    .on("contextmenu", pageMenu(heatmapMenu));
var dendrogramGroup = container.append("g").attr("id", "dendrogramGroup");
var heatmapGroup = container.append("g").attr("id", "heatmapGroup");

// A transition of `dur` ms, or, for 0, the selection itself with any running
// transition stopped (a stale one would overwrite the new values).
function animate(selection, dur) {
    return dur > 0 ? selection.transition().duration(dur) : selection.interrupt();
}

// --- data from the dock ---------------------------------------------------

function finiteOrNaN(value) {
    return typeof value === "number" && isFinite(value) ? value : NaN;
}

function numberList(list, length) {
    var out = [];
    for (var i = 0; i < length; ++i) out.push(finiteOrNaN(Array.isArray(list) ? list[i] : undefined));
    return out;
}

function textOf(value) {
    return value === null || value === undefined ? "" : String(value);
}

// The cluster JSON reduced to what the page draws, or null when the text is
// no cluster table.
function parseClusterData(text) {
    var parsed;
    try {
        parsed = JSON.parse(text);
    } catch (e) {
        log("The heat map data could not be read: " + e);
        return null;
    }
    if (!parsed || typeof parsed !== "object") return null;
    var names = Array.isArray(parsed.names) ? parsed.names.map(textOf) : [];
    var nodes = Array.isArray(parsed.nodes) ? parsed.nodes : [];
    return {
        names: names,
        nodes: nodes.map(function (node) {
            node = node && typeof node === "object" ? node : {};
            return {
                name: textOf(node.name),
                expression: numberList(node.expression, names.length),
                stddev: Array.isArray(node.stddev) ? numberList(node.stddev, names.length) : null
            };
        })
    };
}

function setData(text) {
    var parsed = parseClusterData(text);
    if (!parsed) return;
    _data = parsed;
    var names = _data.names;
    var n = _data.nodes.length;

    _markerTextWidths = names.map(function (name) { return name.width(); });
    _labelColumnWidth = d3.max(_markerTextWidths.concat([0])) + 10;

    _selection = zeros(n);
    if (_selectedBeforeMerge >= 0) {
        if (_selectedBeforeMerge < n) _selection[_selectedBeforeMerge] = 1;
        _selectedBeforeMerge = -1;
    }
    if (_markerSelection.length < names.length) {
        var fill = _markerSelection.length === 0 ? 1 : 0;
        while (_markerSelection.length < names.length) _markerSelection.push(fill);
    }
    rebuildMarkerSAT();
    _sorting = d3.range(n);
    updateSorting(_sortBy, false);
    rebuildRangeSlider();
    initHeatMapLayout();
    log("Data set.");
}

// Default marker flags; once data is shown the page keeps its own.
function initMarkerSelection(markers) {
    if (_data) return;
    _markerSelection = Array.isArray(markers) ? markers.map(function (m) { return m ? 1 : 0; }) : [];
    rebuildMarkerSAT();
}

function addAvailableData(name) {
    name = textOf(name);
    if (_availableDataSets.indexOf(name) >= 0) return;
    _availableDataSets.push(name);
    var selector = document.getElementById("clusterSelector");
    var selected = selector.selectedIndex;
    while (selector.options.length > 1) selector.remove(1);
    _availableDataSets.forEach(function (setName) {
        var option = document.createElement("option");
        option.text = setName;
        option.value = setName;
        selector.add(option);
    });
    selector.selectedIndex = selected;
}

function setActiveCluster(name) {
    _resetBoundsOnData = true;
    if (isQtAvailable) Qt.js_selectData(name);
}

function setSelection(list) {
    if (!_data) return;
    var before = numSelected();
    _selection = _data.nodes.map(function (node, i) { return list && list[i] ? 1 : 0; });
    if (before > 1 || numSelected() > 1) updateSorting(_sortBy, false);
    drawColumns(500);
    drawSelectionHighlights(500);
}

// The page shows no highlight of its own.
function setHighlight(highlightId) {}

// --- selections and markers -----------------------------------------------

function zeros(n) {
    var out = [];
    for (var i = 0; i < n; ++i) out.push(0);
    return out;
}

function numSelected() {
    var k = 0;
    for (var i = 0; i < _selection.length; ++i) if (_selection[i]) ++k;
    return k;
}

function numMarkers() {
    return _data ? _data.names.length : 0;
}

function isMarkerSelected(m) {
    return !!_markerSelection[m];
}

function rebuildMarkerSAT() {
    var count = Math.max(numMarkers(), _markerSelection.length);
    _markerSelectionSAT = [0];
    for (var m = 0; m < count; ++m) _markerSelectionSAT.push(_markerSelectionSAT[m] + (isMarkerSelected(m) ? 1 : 0));
}

function numSelectedMarkers() {
    var k = 0;
    for (var m = 0; m < numMarkers(); ++m) if (isMarkerSelected(m)) ++k;
    return k;
}

function selectedMarkerIndices() {
    return d3.range(numMarkers()).filter(isMarkerSelected);
}

// --- sorting --------------------------------------------------------------

function updateSorting(index, switchOrder) {
    if (!_data) return;
    if (_isDendrogramActive) {
        computeDendrogram();
        return;
    }
    var n = _data.nodes.length;
    var grouped = numSelected() > 1;
    var selectedFirst = function (a, b) { return (_selection[b] ? 1 : 0) - (_selection[a] ? 1 : 0); };
    if (!(index >= 0 && index < numMarkers())) {
        var order = d3.range(n);
        if (grouped) order.sort(function (a, b) { return selectedFirst(a, b) || a - b; });
        order.forEach(function (c, p) { _sorting[c] = p; });
        return;
    }
    if (switchOrder && index === _sortBy) _sortLowToHigh = !_sortLowToHigh;
    _sortBy = index;
    var median = function (c) {
        var v = _data.nodes[c].expression[index];
        return isNaN(v) ? -Infinity : v;
    };
    // Ascending ranks (unselected before selected in a group). Equal
    // medians keep cluster order as shown: the tie order is reversed for
    // the high-to-low positions below.
    var ranked = d3.range(n).sort(function (a, b) {
        if (grouped && !!_selection[a] !== !!_selection[b]) return -selectedFirst(a, b);
        var ma = median(a), mb = median(b);
        if (ma < mb) return -1;
        if (ma > mb) return 1;
        return _sortLowToHigh ? a - b : b - a;
    });
    var k = numSelected();
    ranked.forEach(function (c, rank) {
        if (!_sortLowToHigh) _sorting[c] = n - 1 - rank;
        else if (!grouped) _sorting[c] = rank;
        else _sorting[c] = _selection[c] ? rank - (n - k) : rank + k;
    });
}

function leftClickMarkerLabel(m, switchOrder) {
    updateSorting(m, switchOrder);
    drawColumns(500);
    drawSelectionHighlights(500);
}

// --- colours ----------------------------------------------------------------

// The colour scale over the user's bounds. Equal bounds (one cluster, equal
// medians) would make every colour undefined; the lower end's colour is used.
function updateColours() {
    refreshColormap();
    var b = _markerUserBounds;
    if (!(b[0] < b[1])) _color = activeColormapWithCustomDomain([b[0], b[0] + 1]);
}

function cellColor(value) {
    return isNaN(value) ? "none" : _color(value);
}

function formatBound(value) {
    return "\u00a0 " + value.toFixed(2);
}

function updateLegendLabels() {
    d3.select("#legendLabelTop").text(formatBound(_markerUserBounds[1]));
    d3.select("#legendLabelBottom").text(formatBound(_markerUserBounds[0]));
}

function rebuildRangeSlider() {
    if (!_data || numSelectedMarkers() === 0) return;
    var markers = selectedMarkerIndices();
    var low = Infinity, high = -Infinity;
    _data.nodes.forEach(function (node) {
        markers.forEach(function (m) {
            var v = node.expression[m];
            if (isNaN(v)) return;
            low = Math.min(low, v);
            high = Math.max(high, v);
        });
    });
    if (!(low <= high)) return;
    _markerRange = [low, high];

    var lower = Math.max(low, _markerUserBounds[0]);
    var upper = Math.min(high, _markerUserBounds[1]);
    if (_resetBoundsOnData || !(lower <= upper)) {
        lower = low;
        upper = high;
    }
    _resetBoundsOnData = false;
    _markerUserBounds = [lower, upper];
    updateColours();
    updateLegendLabels();

    var slider = document.getElementById("markerRange");
    if (slider.noUiSlider) slider.noUiSlider.destroy();
    noUiSlider.create(slider, {
        start: _markerUserBounds.slice(),
        behaviour: "tap-drag",
        connect: true,
        // Medians below 0 (markers stored without a transform) must be
        // reachable: the slider would clamp the lower bound to 0.
        range: { min: Math.min(low, 0), max: Math.max(high, 5.0) },
        pips: { mode: "positions", values: [0, 25, 50, 75, 100], density: 7, format: wNumb({ decimals: 2 }) }
    });
    slider.noUiSlider.on("slide", function (values, handle) {
        var value = parseFloat(values[handle]);
        if (!isFinite(value)) return;
        _markerUserBounds[handle] = value;
        updateColours();
        updateLegendLabels();
        drawColumns(0);
    });
}

// --- layout -------------------------------------------------------------------

// The drawing keeps clear of the drawer: of its whole height while it is
// open, or the cluster names would lie under it, and of its peek while it is
// hidden.
function drawerReserve() {
    var drawer = document.getElementById("ui");
    return uiActive && drawer ? Math.max(20, drawer.offsetHeight) : 20;
}

function computeSizes() {
    _svgWidth = Math.max(0, width - _legendStripWidth);
    _svgHeight = Math.max(0, height - drawerReserve());
    _heatmapHeight = Math.max(0, _svgHeight - (_isDendrogramActive ? _dendrogramHeight : 0) - _labelStripHeight);
}

function relayout(dur) {
    computeSizes();
    container.attr("width", _svgWidth).attr("height", _svgHeight);
    drawHeatMap(dur);
}

function resize() {
    width = window.innerWidth;
    height = window.innerHeight;
    log("window " + width + ", " + height);
    relayout(0);
}

// The drawer slides in 500 ms; the drawing follows it.
function drawerChanged() {
    relayout(500);
}

// Column width w, row height h and the left offset of the columns; with no
// row or no column the sizes are 0.
function geometry() {
    var n = _data ? _data.nodes.length : 0;
    var rows = _isMakerSelectionActive ? numMarkers() : numSelectedMarkers();
    var offset = _labelColumnWidth + (_isMakerSelectionActive ? _markerSelectWidth : 0);
    return {
        n: n,
        offset: offset,
        w: n > 0 ? Math.max(0, _svgWidth - offset) / n : 0,
        h: rows > 0 ? _heatmapHeight / rows : 0
    };
}

function rowOf(m) {
    return _isMakerSelectionActive ? m : _markerSelectionSAT[m];
}

function translate(x, y) {
    return "translate(" + x + "," + y + ")";
}

// The drawing is rebuilt once per data push; later draws change only what
// differs from what is shown. A column's cells are laid out one unit wide and
// one unit per row, and the column's group scales them to pixels, so a new
// column width or row height touches one transform per column instead of
// every cell.
var _columns = null;
var _shown = {};

function initHeatMapLayout() {
    heatmapGroup.selectAll("*").remove();
    _columns = null;
    _shown = {};
    if (!_data) return;
    var names = _data.names;
    var nodes = _data.nodes;
    // Built detached and added at the end: one layout instead of one per
    // element.
    var columns = d3.select(document.createElementNS(d3.namespaces.svg, "g")).attr("id", "columns");
    _columns = columns;

    var markerLabels = columns.selectAll("g.markerLabel").data(d3.range(names.length)).enter()
        .append("g").attr("class", "markerLabel");
    markerLabels.append("text").attr("class", "markerLabelText")
        .text(function (m) { return names[m]; })
        .on("mousedown", function (m) {
            if (!_isMakerSelectionActive && isMarkerSelected(m) && !_isDendrogramActive) leftClickMarkerLabel(m, true);
        });
    markerLabels.append("circle").attr("class", "markerSelectCirc")
        .attr("id", function (m) { return "markerSelectCirc" + m; })
        .attr("r", 7.5);
    markerLabels.append("rect").attr("class", "markerSelectRectHor").attr("fill", "white");
    markerLabels.append("rect").attr("class", "markerSelectVarBar").attr("fill", "white")
        .attr("id", function (m) { return "markerSelectVarBar" + m; });
    markerLabels.selectAll("circle, rect").on("mousedown", function (m) { toggleMarker(m); });

    var column = columns.selectAll("g.column").data(d3.range(nodes.length)).enter()
        .append("g").attr("class", "column")
        .attr("id", function (c) { return "cluster" + c; })
        .on("contextmenu", pageMenu(heatmapMenu));
    // A column's cells: per marker a colour rect, and beneath it a background
    // rect once cells are shrunk by their spread (see makeCellBounds). The
    // mouse on either counts for the column; the listeners sit on the
    // column's cells, not on each rect.
    column.append("g").attr("class", "cells")
        .on("mouseover", function (c) { reportHighlight(c); })
        .on("mouseout", function () { reportHighlight(-1); })
        .on("click", function (c) { leftClickColumn(c); })
        .selectAll("rect.cellPaint")
        .data(function (c) { return names.map(function (name, m) { return { c: c, m: m }; }); })
        .enter().append("rect").attr("class", "cellPaint");

    var label = column.append("g").attr("class", "subsetLabel")
        .on("click", function (c) { openRenameDialog(c); });
    label.append("rect").attr("class", "subsetLabelRect").attr("width", _labelStripHeight).attr("fill", _backgroundColor);
    label.append("text").attr("class", "subsetLabelText")
        .attr("id", function (c) { return "subsetLabel" + c; })
        .attr("x", _labelStripHeight - 10)
        .text(function (c) { return nodes[c].name; });

    var sides = ["Left", "Right", "Top", "Bottom"];
    var single = columns.selectAll("g.columnSelectSingle").data(d3.range(nodes.length)).enter()
        .append("g").attr("class", "columnSelectSingle");
    sides.forEach(function (side) {
        single.append("line").attr("class", "columnBound columnBound" + side);
    });
    var block = columns.append("g").attr("class", "columnSelect");
    sides.forEach(function (side) {
        block.append("line").attr("class", "columnBound").attr("id", "columnBound" + side);
    });

    drawHeatMap(0);
    heatmapGroup.node().appendChild(columns.node());
}

function drawHeatMap(dur) {
    animate(heatmapGroup, dur).attr("transform", translate(0, _isDendrogramActive ? _dendrogramHeight : 0));
    drawMarkerLabels(dur);
    drawColumns(dur);
    drawSelectionHighlights(dur);
    drawDendrogram(dur);
}

// Applies `draw` to `selection` (over `dur` ms) unless `key` is what the
// part named `part` already shows. While an earlier transition of the part
// runs, everything is drawn again: the running transition stops, and what it
// was changing must not stay half way.
function drawPart(part, key, selection, dur, draw) {
    var shown = _shown[part] || (_shown[part] = { key: null, until: 0 });
    var running = Date.now() < shown.until;
    if (shown.key === key && !running) return;
    var all = running || shown.key === null;
    shown.key = key;
    shown.until = dur > 0 ? Date.now() + dur : 0;
    draw(animate(selection, dur), all);
}

function drawMarkerLabels(dur) {
    if (!_columns) return;
    var g = geometry();
    var mode = _isMakerSelectionActive;
    var cx = _labelColumnWidth + _markerSelectWidth / 2.5;
    var labels = _columns.selectAll("g.markerLabel");
    var key = [g.h, mode, _markerSelection.join(), _labelColumnWidth].join("|");
    drawPart("markerLabels", key, labels, dur, function (t) {
        t.attr("transform", function (m) {
            return translate(mode || isMarkerSelected(m) ? 0 : -500, (rowOf(m) + 0.5) * g.h);
        });
    });
    labels.select("text.markerLabelText")
        .attr("x", function (m) { return _labelColumnWidth - _markerTextWidths[m] - 5; });
    // The marks take the mouse only while they are shown.
    var marks = labels.selectAll("circle, rect").style("pointer-events", mode ? null : "none");
    drawPart("markerMarks", String(mode), marks, dur, function (t) { t.attr("opacity", mode ? 1 : 0); });
    labels.select("circle").attr("cx", cx).attr("cy", -1)
        .attr("fill", function (m) { return isMarkerSelected(m) ? "#d62728" : "#2ca02c"; });
    labels.select("rect.markerSelectRectHor")
        .attr("x", cx - 3.5).attr("y", -1 - 1.25).attr("width", 7).attr("height", 2.5);
    labels.select("rect.markerSelectVarBar").each(function (m) {
        var selected = isMarkerSelected(m);
        d3.select(this)
            .attr("x", cx - (selected ? 3.5 : 1.25)).attr("y", -1 - (selected ? 1.25 : 3.5))
            .attr("width", selected ? 7 : 2.5).attr("height", selected ? 2.5 : 7);
    });
}

function drawColumns(dur) {
    if (!_columns) return;
    var g = geometry();
    var columns = _columns.selectAll("g.column");
    animate(columns, dur).attr("transform", function (c) { return translate(g.offset + _sorting[c] * g.w, 0); });
    drawPart("scale", g.w + "|" + g.h, columns.select("g.cells"), dur, function (t) {
        t.attr("transform", "scale(" + g.w + "," + g.h + ")");
    });

    // The background rects show only around shrunken cells; under full
    // cells they would be painted for nothing.
    _columns.classed("variation", _showVariation);
    if (_showVariation) makeCellBounds();
    var cells = columns.selectAll("g.cells");
    var rows = _isMakerSelectionActive ? "all" : _markerSelectionSAT.join();
    if (_columns.select("rect.cellBound").size() > 0) {
        drawPart("bounds", rows, cells.selectAll("rect.cellBound"), dur, function (t) {
            t.attr("y", function (d) { return rowOf(d.m); });
        });
    }
    var variation = _showVariation;
    var scale = function (d) {
        if (!variation) return 1;
        var node = _data.nodes[d.c];
        var spread = node.stddev ? node.stddev[d.m] : node.expression[d.m];
        return isNaN(spread) ? 1 : _variationScale(spread);
    };
    var geometryKey = rows + "|" + variation;
    var coloursKey = _markerUserBounds.join() + "|" + _activeColormap + "|" + _discreteColormap;
    var shown = _shown.paint || {};
    drawPart("paint", geometryKey + "|" + coloursKey, cells.selectAll("rect.cellPaint"), dur, function (t, all) {
        if (all || shown.geometry !== geometryKey) {
            t.attr("x", function (d) { return (1 - scale(d)) / 2; })
                .attr("y", function (d) { return rowOf(d.m) + (1 - scale(d)) / 2; })
                .attr("width", scale).attr("height", scale);
        }
        if (all || shown.colours !== coloursKey) {
            t.style("fill", function (d) { return cellColor(_data.nodes[d.c].expression[d.m]); });
        }
    });
    _shown.paint.geometry = geometryKey;
    _shown.paint.colours = coloursKey;

    var labels = columns.select("g.subsetLabel");
    drawPart("labels", g.w + "|" + _heatmapHeight, labels, dur, function (t) {
        t.attr("transform", translate(0, _heatmapHeight + _labelStripHeight) + " rotate(-90)");
        t.select("rect").attr("height", g.w);
        t.select("text").attr("y", g.w / 2);
    });
}

// Puts a background rect beneath every colour rect, once per layout: they
// are needed only while cells shrink with their spread, and a large table
// builds and draws faster without them.
function makeCellBounds() {
    if (!_columns || _columns.select("rect.cellBound").size() > 0) return;
    _columns.selectAll("rect.cellPaint").each(function (d) {
        var bound = document.createElementNS(d3.namespaces.svg, "rect");
        this.parentNode.insertBefore(bound, this);
        d3.select(bound).datum(d).attr("class", "cellBound")
            .attr("x", 0).attr("y", rowOf(d.m)).attr("width", 1).attr("height", 1)
            .attr("fill", _backgroundColor).attr("stroke", "black").attr("stroke-width", 0.05)
            .attr("vector-effect", "non-scaling-stroke");
    });
    _shown.bounds = { key: _isMakerSelectionActive ? "all" : _markerSelectionSAT.join(), until: 0 };
}

function drawFrame(frame, width, dur) {
    var h = _heatmapHeight, o = _frameOverhang;
    var set = function (selector, x1, y1, x2, y2) {
        animate(frame.selectAll(selector), dur).attr("x1", x1).attr("y1", y1).attr("x2", x2).attr("y2", y2);
    };
    set(".columnBoundLeft, #columnBoundLeft", 0, 0, 0, h);
    set(".columnBoundRight, #columnBoundRight", width, 0, width, h);
    set(".columnBoundTop, #columnBoundTop", -o, h, width + o, h);
    set(".columnBoundBottom, #columnBoundBottom", -o, 0, width + o, 0);
}

function drawSelectionHighlights(dur) {
    if (!_columns) return;
    var g = geometry();
    var k = numSelected();
    var atPosition = [];
    _sorting.forEach(function (p, c) { atPosition[p] = c; });
    var selectedAt = function (p) { return p >= 0 && p < g.n && !!_selection[atPosition[p]]; };

    var singles = _columns.selectAll("g.columnSelectSingle");
    drawPart("singles", [g.offset, g.w, _heatmapHeight].join("|"), singles, dur, function (t) {
        t.attr("transform", function (p) { return translate(g.offset + p * g.w, 0); });
        drawFrame(singles, g.w, dur);
    });
    singles.each(function (p) {
        var frame = d3.select(this);
        var on = _isDendrogramActive && k !== 1 && selectedAt(p);
        frame.select(".columnBoundTop").classed("selected", on);
        frame.select(".columnBoundBottom").classed("selected", on);
        frame.select(".columnBoundLeft").classed("selected", on && !selectedAt(p - 1));
        frame.select(".columnBoundRight").classed("selected", on && !selectedAt(p + 1));
    });

    var block = _columns.select("g.columnSelect");
    var blockOn = _isDendrogramActive ? k === 1 : k > 0;
    block.selectAll(".columnBound").classed("selected", blockOn);
    var first = k === 1 ? _selection.indexOf(1) : -1;
    animate(block, dur).attr("transform", translate(g.offset + (first >= 0 ? _sorting[first] * g.w : 0), 0));
    drawFrame(block, k * g.w, dur);
}

// --- dendrogram -------------------------------------------------------------

function computeDendrogram() {
    if (!_data) return;
    var markers = selectedMarkerIndices();
    var vectors = _data.nodes.map(function (node) {
        return markers.map(function (m) {
            var v = node.expression[m];
            return isNaN(v) ? 0 : v;
        });
    });
    _dendrogramClusters = clusterTree(vectors);
    if (_dendrogramClusters.length === 0) return;
    var order = [];
    var stack = [_dendrogramClusters[0]];
    while (stack.length > 0) {
        var node = stack.pop();
        if (node.left && node.right) {
            stack.push(node.left);
            stack.push(node.right);
        } else {
            order.push(node.key);
        }
    }
    order.forEach(function (c, position) { _sorting[c] = position; });
}

function mergeDistance(node) {
    return node.dist >= 99999999.9 ? 0 : node.dist;
}

function drawDendrogram(dur) {
    dendrogramGroup.selectAll("*").remove();
    if (!_isDendrogramActive || !_data || _dendrogramClusters.length === 0) return;
    var offset = _labelColumnWidth + (_isMakerSelectionActive ? _markerSelectWidth : 0);
    var width = Math.max(0, _svgWidth - offset);
    dendrogramGroup.attr("transform", translate(offset, 0));

    var top = mergeDistance(_dendrogramClusters[0]);
    // The upper end is the root's height rounded up to a whole number, never
    // below the height itself, so that small heights still spread.
    var y = d3.scaleLinear().domain([0, Math.max(Math.round(top + 0.49), top)])
        .range([_dendrogramHeight, _dendrogramTop]);
    var root = d3.hierarchy(_dendrogramClusters[0], function (d) {
        return d.left && d.right ? [d.right, d.left] : null;
    });
    d3.cluster().separation(function () { return 1; }).size([width, _dendrogramHeight - _dendrogramTop])(root);
    var nodes = root.descendants();

    var links = dendrogramGroup.selectAll("path.dendrogramLink").data(nodes.slice(1)).enter()
        .append("path").attr("class", "dendrogramLink")
        .attr("d", function (d) {
            return "M" + Math.round(d.parent.x) + "," + Math.round(y(mergeDistance(d.parent.data))) +
                "H" + Math.round(d.x) + "V" + Math.round(y(mergeDistance(d.data)));
        });
    if (dur > 0) links.attr("opacity", 0).transition().duration(dur).attr("opacity", 1);

    if (!_isDendrogramLabelsActive) return;
    dendrogramGroup.selectAll("text.dendrogramLabel").data(nodes).enter()
        .append("text").attr("class", "dendrogramLabel")
        .attr("x", function (d) { return Math.round(d.x); })
        .attr("y", function (d) { return Math.round(y(mergeDistance(d.data))); })
        .attr("dy", -2)
        .attr("dx", function (d) {
            if (!d.parent) return 0;
            return d.parent.children[0] === d ? -20 : 20;
        })
        .text(function (d) { return d.children ? d.data.dist.toFixed(2) : ""; });
}

// --- interaction ------------------------------------------------------------

function reportHighlight(cluster) {
    if (isQtAvailable) Qt.js_highlightUpdated(cluster);
}

function reportSelection() {
    if (isQtAvailable) Qt.js_selectionUpdated(_selection);
}

function leftClickColumn(cluster) {
    var state = 1 - (_selection[cluster] ? 1 : 0);
    var add = d3.event && d3.event.shiftKey;
    if (!add) _selection = zeros(_selection.length);
    _selection[cluster] = state;
    reportSelection();
    updateSorting(_sortBy, false);
    drawColumns(500);
    drawSelectionHighlights(500);
}

// 37 one column left, 39 one right, 38 the last column, 40 the first.
function moveSelection(code) {
    if (!_data || _data.nodes.length === 0) return;
    var n = _data.nodes.length;
    var k = numSelected();
    if (k > 1) return;
    var current = _selection.indexOf(1);
    if (k === 0 && (code === 37 || code === 39)) return;
    var target;
    if (code === 37) target = clamp(0, _sorting[current] - 1, n - 1);
    else if (code === 39) target = clamp(0, _sorting[current] + 1, n - 1);
    else if (code === 38) target = n - 1;
    else target = 0;
    if (current >= 0) _selection[current] = 0;
    _selection[_sorting.indexOf(target)] = 1;
    reportSelection();
    drawSelectionHighlights(code === 37 || code === 39 ? 200 : 750);
}

function toggleMarker(m) {
    if (!_data || m < 0 || m >= numMarkers()) return;
    _markerSelection[m] = isMarkerSelected(m) ? 0 : 1;
    rebuildMarkerSAT();
    rebuildRangeSlider();
    if (_isDendrogramActive) {
        updateSorting(_sortBy, false);
        drawHeatMap(500);
        return;
    }
    drawColumns(500);
    drawMarkerLabels(500);
}

function toggleMarkerSelectionMode() {
    if (!_data) return;
    _isMakerSelectionActive = !_isMakerSelectionActive;
    drawHeatMap(500);
}

function toggleVariation() {
    _showVariation = !_showVariation;
    setSwitch("showVariationCheckBox", _showVariation);
    drawColumns(500);
}

function toggleDendrogram() {
    _isDendrogramActive = !_isDendrogramActive;
    setSwitch("useHirarchicalClusteringCheckBox", _isDendrogramActive);
    computeSizes();
    updateSorting(_sortBy, false);
    drawHeatMap(500);
}

function toggleDendrogramLabels() {
    _isDendrogramLabelsActive = !_isDendrogramLabelsActive;
    setSwitch("useHierarchicalLabelCheckBox", _isDendrogramLabelsActive);
    drawDendrogram(0);
}

function toggleDiscreteColormap() {
    _discreteColormap = !_discreteColormap;
    setColormap(_activeColormap, false);
    updateColours();
    drawHeatMap(500);
}

// Called by the legend's map selector.
function leftClickColormap(idx) {
    setColormap(idx, true);
    updateColours();
    drawColumns(500);
}

// --- context menu -------------------------------------------------------------

// Runs a request to the application with the menu closed first (the answer
// may rebuild the drawing the menu belongs to).
function menuRequest(request) {
    return function () {
        d3.contextMenu("close");
        if (isQtAvailable) request();
    };
}

function mergeSelected() {
    _selectedBeforeMerge = _selection.indexOf(1);
    d3.contextMenu("close");
    if (isQtAvailable) Qt.js_mergeClusters(_selection);
}

// The entries are fixed texts: the menu writes its titles as markup.
function heatmapMenu() {
    var items = [];
    if (numSelected() > 1) {
        items.push({ title: "Merge Selected Clusters", action: mergeSelected });
        items.push({ divider: true });
    }
    items.push({ title: "Toggle Marker Selection", action: toggleMarkerSelectionMode });
    items.push({ title: "Toggle Variation", action: toggleVariation });
    items.push({ title: "Toggle Dendrogram", action: toggleDendrogram });
    items.push({ title: "Toggle Dendrogram Labels", action: toggleDendrogramLabels });
    items.push({ divider: true });
    items.push({ title: "Save Clusters as FCS...", action: menuRequest(function () { Qt.js_saveClusters(false); }) });
    items.push({ title: "Save Clusters (per Sample) as FCS...",
                 action: menuRequest(function () { Qt.js_saveClusters(true); }) });
    items.push({ title: "Save Cell Origins as CSV ...", action: menuRequest(function () { Qt.js_saveStatistics(); }) });
    items.push({ divider: true });
    items.push({ title: "Save Heatmap as Image ...", action: menuRequest(printSVG) });
    items.push({ title: "Save Heatmap as CSV ...", action: menuRequest(function () { Qt.js_saveCSV(); }) });
    return items;
}

resize();
window.addEventListener("resize", resize);
document.addEventListener("drawerchange", drawerChanged);
initLegend();
