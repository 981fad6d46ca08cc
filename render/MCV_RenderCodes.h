#pragma once

// The numbers the point renderer, the scatter plot and its settings panel pass
// for what is drawn and how points are coloured. Signals and stored settings
// carry these values, so they never change.

// What a frame shows (MCV_PointRenderer::setRenderMode); other values draw no
// plot.
enum MCV_RenderMode : int { RENDER_POINTS = 0, RENDER_DENSITY = 3 };

// Diagnostic colours (MCV_PointRenderer::setAdvancedMode). The cluster hue
// colours points; the others colour the discrete density landscape.
enum MCV_DiagnosticMode : int {
    DIAGNOSTIC_OFF = -1,
    DIAGNOSTIC_CLUSTER_HUE = 0,
    DIAGNOSTIC_WALK_ENDS = 1,
    DIAGNOSTIC_INVERTED_DENSITY = 2,
    DIAGNOSTIC_GRADIENT = 3
};

// How points are coloured (MCV_PointRenderer::setActiveMarker): a value of 0
// or more is a marker column through the 1D colormap; the negative codes are
// these, and every value below MARKER_COLORMAP_2D means the 2D colormap too.
enum MCV_MarkerCode : int { MARKER_SAMPLE_COLOUR = -1, MARKER_IMAGE_COLOUR = -2, MARKER_COLORMAP_2D = -3 };
