// Page furniture of the SPADE tree pages: marker choice and colour ranges in
// the drawer, the colour and size legends, detail rings, the context menus
// and the bubble dialog. Functions, which run once spade.globals.js and the
// page script have set up the state; at load only the marker selectors get
// their lists.

// --- markers and colour ranges ---------------------------------------------

var markerSelectorIds = ["leftMarkerSelector", "rightMarkerSelector"];
var markerSliderIds = ["leftMarkerRange", "rightMarkerRange"];

// The marker selectors open lists drawn by the page (../jstools/menus.js).
markerSelectorIds.forEach(function (id) { attachPageList(document.getElementById(id)); });

function buildMarkerSlider(side) {
    var slider = document.getElementById(markerSliderIds[side]);
    if (slider.noUiSlider) slider.noUiSlider.destroy();
    var m = activeMarker[side];
    var bounds = expressionUserBounds[m];
    var hasMarker = !!(graph && bounds);
    var upper = hasMarker ? Math.max(5.0, expressionBounds[m][1]) : 100;
    noUiSlider.create(slider, {
        start: hasMarker ? bounds.slice() : [20, 80],
        behaviour: "tap-drag",
        connect: true,
        range: { min: 0, max: upper },
        pips: { mode: "positions", values: [0, 25, 50, 75, 100], density: 4, format: wNumb({ decimals: 2 }) }
    });
    slider.noUiSlider.on("slide", function (values, handle) {
        markerRangeMoved(side, handle, parseFloat(values[handle]));
    });
    var values = slider.querySelectorAll(".noUi-value");
    for (var k = 1; k < values.length - 1; k += 2) values[k].classList.add("innerValue");
    fitMarkerSlider(slider);
}

// The five labelled marks need about 40 pixels each; a narrower range labels
// every other one.
function fitMarkerSlider(slider) {
    slider.classList.toggle("narrow", slider.getBoundingClientRect().width < 200);
}

function fitMarkerSliders() {
    markerSliderIds.forEach(function (id) { fitMarkerSlider(document.getElementById(id)); });
}

function rebuildMarkerSliders() {
    buildMarkerSlider(0);
    buildMarkerSlider(1);
}

// A handle sets one bound of the marker it shows, for both sides when both
// show that marker.
function markerRangeMoved(side, handle, value) {
    var m = activeMarker[side];
    if (!expressionUserBounds[m] || !isFiniteNumber(value)) return;
    expressionUserBounds[m][handle] = value;
    var other = 1 - side;
    if (activeMarker[other] === m) {
        document.getElementById(markerSliderIds[other]).noUiSlider.set(expressionUserBounds[m].slice());
    }
    refreshSideColormaps();
    recolourNodes();
    recolourRings();
}

function refillMarkerSelectors() {
    markerSelectorIds.forEach(function (id, side) {
        var selector = document.getElementById(id);
        while (selector.options.length > 0) selector.remove(0);
        graph.names.forEach(function (name, m) {
            var option = document.createElement("option");
            option.text = name;
            option.value = String(m);
            selector.add(option);
        });
        if (graph.names.length > 0) selector.selectedIndex = activeMarker[side];
    });
}

function selectMarker(side, value) {
    var m = parseInt(value, 10);
    if (!graph || !(m >= 0 && m < graph.names.length)) return;
    activeMarker[side] = m;
    buildMarkerSlider(side);
    refreshSideColormaps();
    recolourNodes();
}

// --- colour legend hooks ----------------------------------------------------

function leftClickColormap(i) {
    _activeColormap = i;
    updateLegendUi(true);
    refreshSideColormaps();
    recolourNodes();
    recolourRings();
}

function toggleDiscreteColormap() {
    _discreteColormap = !_discreteColormap;
    updateLegendUi(false);
    refreshSideColormaps();
    recolourNodes();
    recolourRings();
}

// --- size legend ------------------------------------------------------------

var sizeLegendRadii = [26, 21, 16, 11, 6];
var sizeLegendShares = [0.2, 0.12, 0.07, 0.03, 0.01];
var sizeLegendPercentLabels = ["> 20%", "12%", "7%", "3%", "< 1%"];
var sizeLegendShowsCounts = false;
var sizeLegend = null;

function sizeLegendLabel(i) {
    if (!sizeLegendShowsCounts) return sizeLegendPercentLabels[i];
    var prefix = i === 0 ? "> " : i === sizeLegendShares.length - 1 ? "< " : "";
    return prefix + Math.round(sizeLegendShares[i] * totalNumberOfCells);
}

function initSizeLegend(svg) {
    sizeLegend = svg.append("g").attr("id", "sizeLegend").attr("transform", translate(10, 10))
        .on("click", function () {
            sizeLegendShowsCounts = !sizeLegendShowsCounts;
            drawSizeLegend();
        });
    var y = 0;
    var centres = sizeLegendRadii.map(function (r, i) {
        y += (i === 0 ? 0 : sizeLegendRadii[i - 1] + 6) + r;
        return y;
    });
    var entry = sizeLegend.selectAll("g.sizeLegendEntry").data(sizeLegendRadii).enter().append("g")
        .attr("class", "sizeLegendEntry")
        .attr("transform", function (r, i) { return translate(sizeLegendRadii[0], centres[i]); });
    entry.append("circle").attr("r", function (r) { return r; })
        .attr("fill", plainHighlightColor).attr("stroke", "#aaa");
    entry.append("text").attr("class", "sizeLegendLabel").attr("x", sizeLegendRadii[0] + 8).attr("dy", "0.35em")
        .attr("font-size", "12px").attr("fill", "#444");
    drawSizeLegend();
}

function drawSizeLegend() {
    if (!sizeLegend) return;
    sizeLegend.selectAll("text.sizeLegendLabel").text(function (r, i) { return sizeLegendLabel(i); });
}

// --- detail rings -----------------------------------------------------------

var ringArc = d3.arc().innerRadius(33).outerRadius(54);

function findRing(d) {
    for (var i = 0; i < detailRings.length; ++i)
        if (detailRings[i].node === d) return detailRings[i];
    return null;
}

function closeRing(ring) {
    ring.group.remove();
    detailRings = detailRings.filter(function (r) { return r !== ring; });
}

// One arc per marker, marker i from i * 2pi / n to (i + 1) * 2pi / n.
function openRing(d) {
    var n = graph.names.length;
    var group = ringLayer.append("g").attr("class", "detailRing")
        .attr("transform", translate(screenX(d), screenY(d)));
    var ring = { node: d, group: group };
    group.on("dblclick", function () {
        d3.event.stopPropagation();
        closeRing(ring);
    });
    group.selectAll("path.ringArc").data(graph.names).enter().append("path").attr("class", "ringArc")
        .attr("d", function (name, i) { return ringArc({ startAngle: i * circ / n, endAngle: (i + 1) * circ / n }); })
        .on("mouseover", function (name, i) { showRingLabel(group, d, i, n); })
        .on("mouseout", function () { group.selectAll("text.ringLabel").remove(); });
    detailRings.push(ring);
    recolourRing(ring);
}

function nodeDoubleClicked(d) {
    if (!nodeHandlersActive) return;
    var ring = findRing(d);
    if (ring) closeRing(ring); else openRing(d);
}

// marker + " (" + value + ")" beside the arc, turned along the arc's
// direction; labels of the second half of the markers read from the left.
function showRingLabel(group, d, i, n) {
    group.selectAll("text.ringLabel").remove();
    var v = markerValue(d, i);
    var angle = (i + 0.5) * circ / n;
    var degrees = angle * 180 / Math.PI;
    var left = i >= n / 2;
    var r = 58;
    group.append("text").attr("class", "ringLabel")
        .attr("font-size", "12px").attr("font-family", "sans-serif").attr("fill", "#444").attr("dy", "0.35em")
        .attr("text-anchor", left ? "end" : "start")
        .attr("transform", translate(r * Math.sin(angle), -r * Math.cos(angle)) +
              " rotate(" + (left ? degrees + 90 : degrees - 90) + ")")
        .text(graph.names[i] + " (" + (v === null ? "n/a" : v.toFixed(2)) + ")");
}

function recolourRing(ring) {
    ring.group.selectAll("path.ringArc").attr("fill", function (name, i) {
        return markerColor(i, markerValue(ring.node, i));
    });
}

function recolourRings() {
    detailRings.forEach(recolourRing);
}

function placeRings() {
    detailRings.forEach(function (ring) {
        ring.group.attr("transform", translate(screenX(ring.node), screenY(ring.node)));
    });
}

// --- context menus ------------------------------------------------------------

// Opened by pageMenu (../jstools/menus.js), inside the page.
var saveImageItems = [{ divider: true }, { title: "Save Image ...", action: function () { printSVG(); } }];

function backgroundMenuItems() {
    return [{ title: "Save Image ...", action: function () { printSVG(); } }];
}

// Built when the menu opens. Names enter the titles escaped: the menu writes
// them as markup.
function nodeMenuItems(d) {
    var selected = selectedNodes();
    var S = selected.length;
    var items = [];
    var item = function (title, action) { items.push({ title: title, action: action }); };
    var divider = function () { items.push({ divider: true }); };

    // These two change the page's selection only; the widget keeps the last
    // selection reported.
    if (S > 0) {
        if (d.selected) {
            item("Remove Node from Selection", function () {
                d.selected = false;
                showSelection();
            });
        } else {
            item("Add Node to Selection", function () {
                d.selected = true;
                showSelection();
            });
        }
        divider();
    }

    if (d.fixed) item("Unfix Node", function () { releaseNodes([d]); });
    else item("Fix Node", function () { pinNodes([d]); });
    if (d.selected) {
        var pinned = selected.filter(function (n) { return n.fixed; }).length;
        if (pinned < S) item("Fix Selection", function () { pinNodes(selected); });
        if (pinned > 0) item("Unfix Selection", function () { releaseNodes([d].concat(selected)); });
    }

    if (d.selected || (S === 0 && subTrees.length > 0)) {
        divider();
        if (d.selected) item("Create Bubble ...", openBubbleDialog);
        if (S === 0) {
            subTrees.forEach(function (b) {
                if (b.name === d.subTree) return;
                item("Add Node to " + escapeHtml(b.name), function () { moveToBubble([d], b.name); });
            });
        }
        var shared = sharedBubble(selected);
        if (d.selected && subTrees.length > 0) {
            subTrees.forEach(function (b) {
                if (b.name === shared) return;
                item("Add Selection to " + escapeHtml(b.name), function () { moveToBubble(selected, b.name); });
            });
        }
        // A removal from the bubble named takes out only nodes still in it;
        // "Phenotree" stands for every bubble.
        var own = d.subTree;
        if (S === 0 && own !== null) {
            item("Remove Node from " + escapeHtml(own), function () { removeFromBubbles([d], own); });
        }
        var inBubbles = selected.some(function (n) { return n.subTree !== null; });
        if (d.selected && inBubbles) {
            item("Remove Selection from " + escapeHtml(shared !== null ? shared : "Phenotree"),
                 function () { removeFromBubbles(selected, shared !== null ? shared : undefined); });
        }
    }
    return items.concat(saveImageItems);
}

var nodeMenu = pageMenu(nodeMenuItems);

function nodeContextMenu(d, i) {
    if (!nodeHandlersActive) return;
    nodeMenu.call(this, d, i);
}

// The bubble is the one whose label was clicked; its name is the label's
// text. The menu closes before the widget opens its file dialog.
function bubbleLabelMenuItems() {
    var exportBubble = function (mode) {
        return function () {
            var name = this.textContent;
            d3.contextMenu("close");
            if (isQtAvailable) Qt.exportSubtree(name, mode);
        };
    };
    return [
        { title: "Save Bubble ...", action: exportBubble(0) },
        { title: "Save Bubble to Separate Files ...", action: exportBubble(1) }
    ].concat(saveImageItems);
}

// --- bubble dialog ------------------------------------------------------------

var bubbleDialogOpen = false;

function bubbleInput() {
    return document.getElementById("bubble-input");
}

function updateBubbleAccept() {
    document.getElementById("bubble-accept").disabled = bubbleInput().value.length === 0;
}

function openBubbleDialog() {
    bubbleDialogOpen = true;
    bubbleInput().value = "";
    updateBubbleAccept();
    d3.select("#d3-cyto-overlay").style("display", "block");
    d3.select("#bubble-modal").transition("slide").duration(500).style("margin-top", "0px");
    bubbleInput().focus();
}

function closeBubbleDialog() {
    bubbleDialogOpen = false;
    bubbleInput().value = "";
    bubbleInput().blur();
    d3.select("#bubble-textfield").classed("is-dirty", false).classed("is-focused", false);
    updateBubbleAccept();
    d3.select("#bubble-modal").transition("slide").duration(500).style("margin-top", "-300px")
        .on("end", function () { d3.select("#d3-cyto-overlay").style("display", "none"); });
}

function acceptBubbleDialog() {
    var name = bubbleInput().value;
    if (!bubbleDialogOpen || name.length === 0) return;
    closeBubbleDialog();
    saveBubble(name);
}

function initBubbleDialog() {
    var input = bubbleInput();
    input.addEventListener("input", updateBubbleAccept);
    input.addEventListener("keyup", updateBubbleAccept);
    document.getElementById("bubble-accept").addEventListener("click", acceptBubbleDialog);
    document.getElementById("bubble-cancel").addEventListener("click", closeBubbleDialog);
}
