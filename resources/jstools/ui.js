// Page furniture shared by the data pages: the bottom drawer, a busy mark,
// the colour legend with its map selector, and the SVG export.

var uiActive = true;

// Pages that keep their drawing clear of the open drawer listen for
// "drawerchange" on the document; `uiActive` tells the new state.
function announceDrawer() {
    var event = document.createEvent("Event");
    event.initEvent("drawerchange", false, false);
    document.dispatchEvent(event);
}

function showUi() {
    uiActive = true;
    announceDrawer();
    d3.select("#ui").transition().duration(500).style("bottom", "0px");
    d3.select("#leftDrawerHandle").transition().duration(500)
        .styleTween("transform", function () { return d3.interpolateString("rotate(-15deg)", "rotate(0deg)"); });
    d3.select("#rightDrawerHandle").transition().duration(500)
        .styleTween("transform", function () { return d3.interpolateString("rotate(15deg)", "rotate(0deg)"); });
}

function hideUi() {
    uiActive = false;
    announceDrawer();
    d3.select("#ui").transition().duration(500).style("bottom", "-110px");
    d3.select("#leftDrawerHandle").transition().duration(500)
        .styleTween("transform", function () { return d3.interpolateString("rotate(0deg)", "rotate(-15deg)"); });
    d3.select("#rightDrawerHandle").transition().duration(500)
        .styleTween("transform", function () { return d3.interpolateString("rotate(0deg)", "rotate(15deg)"); });
}

function toggleUi() {
    if (uiActive) hideUi(); else showUi();
}

function initDrawer() {
    d3.select("#uihover")
        .on("mouseenter", function () {
            if (!uiActive) d3.select("#ui").transition().duration(300).style("bottom", "-95px");
        })
        .on("mouseleave", function () {
            if (!uiActive) d3.select("#ui").transition().duration(300).style("bottom", "-110px");
        });
    d3.select("#drawer").on("mousedown", toggleUi);
}

if (document.readyState == "loading") {
    document.addEventListener("DOMContentLoaded", initDrawer);
} else {
    initDrawer();
}

// A busy mark that pages attach where they want one.
var spinner = document.createElement("div");
spinner.className = "spinner";

// --- colour legend --------------------------------------------------------

var _paletteWidth = 24;
var _paletteHeight = 168;
var _paletteGap = 10;

function showLegendSelector() {
    d3.select("#legendWrapper").transition().duration(500).style("right", "10px");
    d3.selectAll("#legendSelector, #legend").transition().duration(500)
        .style("background", "rgba(255,255,255,0.75)");
}

function hideLegendSelector() {
    d3.select("#legendWrapper").transition().duration(500).style("right", "-490px");
    d3.selectAll("#legendSelector, #legend").transition().duration(500)
        .style("background", "rgba(255,255,255,0.25)");
}

function toggleLegendSelector() {
    var wrapper = document.getElementById("legendWrapper");
    var right = wrapper ? parseInt(wrapper.style.right || window.getComputedStyle(wrapper).right, 10) : 0;
    if (right > 0) hideLegendSelector(); else showLegendSelector();
}

function _appendGradients(svg) {
    var defs = svg.append("defs");
    var gradients = defs.selectAll("linearGradient").data(_colormapDefs).enter()
        .append("linearGradient")
        .attr("id", function (d) { return d.id; })
        .attr("x1", "0%").attr("y1", "100%")
        .attr("x2", "0%").attr("y2", "0%")
        .attr("spreadMethod", "pad");
    gradients.selectAll("stop").data(function (d) { return d.stops; }).enter()
        .append("stop")
        .attr("offset", function (s) { return s.offset; })
        .attr("stop-color", function (s) { return s.color; })
        .attr("stop-opacity", 1);
}

function _paletteFill(idx) {
    return "url(#" + _colormapNames[idx] + (_discreteColormap ? "_discrete" : "") + ")";
}

function initLegend() {
    var active = d3.select("#legendActive");
    active.selectAll("*").remove();
    _appendGradients(active);
    active.append("rect").attr("class", "palette activePalette")
        .attr("width", _paletteWidth).attr("height", _paletteHeight)
        .attr("fill", _paletteFill(_activeColormap));
    d3.select("#legend").on("mousedown", toggleLegendSelector);

    var n = _colormapNames.length;
    var all = d3.select("#legendAll");
    all.selectAll("*").remove();
    all.attr("width", (_paletteWidth + _paletteGap) * n);
    _appendGradients(all);
    all.selectAll("rect.palette").data(d3.range(n)).enter()
        .append("rect").attr("class", "palette")
        .attr("x", function (i) { return 5 + (_paletteWidth + _paletteGap) * i; })
        .attr("width", _paletteWidth).attr("height", _paletteHeight)
        .on("mouseup", function (i) { leftClickColormap(i); });
    updateLegendUi(true);
}

function updateLegendUi(hide) {
    d3.select("#legendActive").selectAll("rect.palette").attr("fill", _paletteFill(_activeColormap));
    d3.select("#legendAll").selectAll("rect.palette").attr("fill", function (i) { return _paletteFill(i); });
    if (hide) hideLegendSelector();
}

// --- export ---------------------------------------------------------------

function printSVG() {
    if (isQtAvailable) {
        Qt.js_saveSVG(document.getElementById("mainView").innerHTML);
    }
}
