// Colour maps of the pages. Maps 0 to 12 are continuous interpolators (d3 and
// d3-scale-chromatic); map 13 is a qualitative list of ten colours. Every map
// also has ten discrete colours, used when the page's discrete switch is on.

var _colormapNames = ["spectral", "RdYlBu", "PiYG", "PuOr", "Magma", "Plasma", "Viridis",
                      "RdPu", "YlGnBu", "GnBu", "BuPu", "YlOrRd", "Reds", "Qual"];

var _colormapInterpolators = [d3.interpolateSpectral, d3.interpolateRdYlBu, d3.interpolatePiYG,
                              d3.interpolatePuOr, d3.interpolateMagma, d3.interpolatePlasma,
                              d3.interpolateViridis, d3.interpolateRdPu, d3.interpolateYlGnBu,
                              d3.interpolateGnBu, d3.interpolateBuPu, d3.interpolateYlOrRd,
                              d3.interpolateReds];

// The four diverging maps run from their blue (green, purple) end for low
// values to their red end for high values, the reverse of their interpolators.
var _reversedColormaps = 4;
var _qualitativeColormap = 13;
var _numDiscreteColors = 10;

var _discreteColormaps = (function () {
    var lists = [];
    for (var i = 0; i < _colormapInterpolators.length; ++i) {
        var colors = [];
        for (var j = 0; j < _numDiscreteColors; ++j) {
            colors.push(_colormapInterpolators[i](j / (_numDiscreteColors - 1)));
        }
        if (i < _reversedColormaps) colors.reverse();
        lists.push(colors);
    }
    lists.push(d3.schemeSet3.slice(0, _numDiscreteColors));
    return lists;
})();

var _activeColormap = 6;
var _discreteColormap = false;

var _color = d3.scaleSequential(_colormapInterpolators[6]).domain([0.0, 5.0]);
var _colors = [d3.scaleSequential(_colormapInterpolators[6]).domain([0.0, 5.0]),
               d3.scaleSequential(_colormapInterpolators[6]).domain([0.0, 5.0])];

function activeColormapWithCustomDomain(domain) {
    if (_discreteColormap || _activeColormap == _qualitativeColormap) {
        return d3.scaleQuantize().domain(domain).range(_discreteColormaps[_activeColormap]);
    }
    if (_activeColormap < _reversedColormaps) domain.reverse();
    return d3.scaleSequential(_colormapInterpolators[_activeColormap]).domain(domain);
}

function setColormap(idx, hide) {
    _activeColormap = idx;
    updateLegendUi(hide);
    refreshColormap();
}

function refreshColormap() {
    _color = activeColormapWithCustomDomain(_markerUserBounds.slice());
}

function refreshColormaps() {
    for (var k = 0; k < 2; ++k) {
        _colors[k] = activeColormapWithCustomDomain(expressionUserBounds[activeMarker[k]].slice());
    }
}

// n evenly spaced values from start, the last exactly end.
function linspace(start, end, n) {
    var values = [];
    if (n < 2) return n == 1 ? [end] : values;
    var step = (end - start) / (n - 1);
    for (var i = 0; i < n - 1; ++i) values.push(start + i * step);
    values.push(end);
    return values;
}

// Band edges of n equal bands: start + i*d, start + (i+1)*d for each band.
function discspace(start, end, n) {
    var values = [];
    var d = (end - start) / n;
    for (var i = 0; i < n; ++i) {
        values.push(start + i * d);
        values.push(start + (i + 1) * d);
    }
    return values;
}

function _smoothStops(colors) {
    var offsets = linspace(0, 100, colors.length);
    return colors.map(function (c, i) { return { offset: offsets[i] + "%", color: c }; });
}

function _steppedStops(colors) {
    var offsets = discspace(0, 100, colors.length);
    var stops = [];
    for (var i = 0; i < colors.length; ++i) {
        stops.push({ offset: offsets[2 * i] + "%", color: colors[i] });
        stops.push({ offset: offsets[2 * i + 1] + "%", color: colors[i] });
    }
    return stops;
}

// Gradient definitions for the legend: entries 0..13 plain, 14..27 "_discrete".
var _colormapDefs = (function () {
    var defs = [];
    var n = _colormapNames.length;
    for (var i = 0; i < n; ++i) {
        var colors = _discreteColormaps[i];
        var stops = (i == _qualitativeColormap) ? _steppedStops(colors) : _smoothStops(colors);
        defs.push({ id: _colormapNames[i], stops: stops });
    }
    for (var k = 0; k < n; ++k) {
        defs.push({ id: _colormapNames[k] + "_discrete", stops: _steppedStops(_discreteColormaps[k]) });
    }
    return defs;
})();
