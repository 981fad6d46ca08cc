#pragma once

#include "render/MCV_ColormapTable.h"
#include "render/MCV_RenderCodes.h"

#include <string>
#include <utility>
#include <vector>

class MCV_Analysis;
class MCV_DerivedDataClusters;
class MCV_GLSLProgram;

// How a rectangle changes the point selection: 0 replace, 1 add, 2 subtract;
// any other value changes nothing.
enum selectionModifier : int { SELECTION_REPLACE = 0, SELECTION_ADD = 1, SELECTION_SUBTRACT = 2 };

// Draws the 2-D embedding of one analysis with OpenGL (3.3 core shaders) into
// any framebuffer: point sprites coloured by a marker through a colormap, by
// sample, by image colour or by a 2-D colormap, or a density landscape with
// contour levels. On a square offscreen grid it computes the density, its
// gradient and a mean-shift walk from every cell, turns the walks' end points
// into density clusters and hands them to the analysis. Rectangles select
// points, clicks select density clusters, hovering highlights them. It also
// renders square print images and video frames.
//
// The renderer keeps its own copies of the embedding, the marker values and
// the selection; the caller's vectors are read only during the calls that
// name them, except the positions of setLocalData after copyLocalVertexData,
// which are read at the next frame, print or rectangle selection (the source
// must live until then or be replaced by setLocalData). It is a plain class
// without signals: results go back as return values and through the
// data-model objects it calls.
//
// Threading and context: GUI thread only. Every call that touches OpenGL (all
// but the plain setters and accessors) needs the same OpenGL context current;
// construction makes no OpenGL call, rebuild() creates every GL object, and
// cleanup() (or the destructor) releases them, again with the context current.
//
// Positions: the embedding is scaled uniformly into [0.1, 0.9]^2 of the
// normalised plot square [0, 1]^2, which the matrix given to setupMatrix maps
// onto a centred square viewport of side min(width, height). Pixel positions
// given to the selection calls are device pixels of the whole view, origin
// bottom-left.
class MCV_PointRenderer {
public:
    MCV_PointRenderer();
    ~MCV_PointRenderer();

    MCV_PointRenderer(const MCV_PointRenderer&) = delete;
    MCV_PointRenderer& operator=(const MCV_PointRenderer&) = delete;

    // ---- Lifecycle (context current) ----
    void cleanup();
    // Releases and recreates every program, buffer and texture, uploads the
    // current data and sets the blending state the passes rely on.
    void rebuild();
    void refreshData();
    // View size in device pixels and the framebuffer frames go to (bound here).
    void resize(unsigned width, unsigned height, unsigned framebuffer);
    // 16 floats, column-major; the plot square [0, 1]^2 onto the viewport.
    void setupMatrix(float* m);

    // ---- Style (plain setters unless stated; none redraws) ----
    // dims 2: the 2-D colormap; dims 1: the points' colormap in points mode,
    // the density colormap in density mode, nothing in other modes. An index
    // outside the table changes nothing. Re-uploads both colormap textures.
    void setColormap(int idx, int dims);
    void setColormapDiscrete(bool on, int dims);
    int activeColormap(int dims) const;
    bool activeColormapDiscrete(int dims) const;
    void setPointSize(float size);
    void setPointOpacity(float opacity);
    void setPointHaloSize(float size);
    void setGreedyPointScaleMode(bool on);
    // An MCV_RenderMode; other values draw no plot. Shows the caller's
    // current selection array again and re-uploads the colormaps.
    void setRenderMode(int mode);
    // Background 50/255 (dark) or 252/255 grey; clears the bound framebuffer.
    void setDarkMode(bool dark);
    void setRecording(bool on);
    // An MCV_DiagnosticMode: DIAGNOSTIC_OFF for normal colouring.
    void setAdvancedMode(int mode);
    void setSelectionActive(bool active);
    // The density parameters: stored, and the density is recomputed.
    void setSaturation(float value);
    void setSigma(float value);
    void setGaussScale(float value);
    // A marker column (>= 0) or an MCV_MarkerCode. Uploads the column for a
    // marker (context current).
    void setActiveMarker(int marker);
    // Display range (min, max) and slider limits per marker; the caller may
    // write ranges through the pointer.
    std::vector<std::pair<float, float>>* markerRanges();
    std::vector<std::pair<float, float>>* markerLimts();

    // ---- Data (context current) ----
    // Takes positions, marker values and file indices from the analysis by its
    // type (t-SNE; the HSNE kinds through the seam in
    // MCV_PointRendererHsne.cpp). Any other analysis is only remembered.
    void setLocalData(MCV_Analysis* analysis, int numMarkers);
    // positions: x, y per point; markers: numMarkers values per point, row
    // per point; fileIdxs (optional): the sample file of each point. Shorter
    // vectors are padded with zeros. A change of the point count clears the
    // selected indices.
    void setLocalData(const std::vector<float>* positions, const std::vector<float>* markers, int numPoints,
                      int numMarkers, const std::vector<int>* fileIdxs, bool useScales);
    // Copies everything again from the sources of the last setLocalData.
    void copyLocalData();
    // The marker source's rows now hold `markers` values per point (variables
    // were appended to the data): takes the marker values again at that
    // width, with their ranges, limits and image colours, and uploads the
    // active marker's column. Positions, selection and density stay as they
    // are.
    void setMarkerCount(int markers);
    int markerCount() const { return numMarkers; }
    // The active marker's value per point as last uploaded (empty for a
    // negative marker before any upload).
    const std::vector<float>& activeMarkerValues() const { return markerColumn; }
    // New positions in the source of the last setLocalData (used after every
    // iteration of a running embedding): they are read, normalised and
    // uploaded at the next frame, print or rectangle selection, so that the
    // iterations between two frames cost nothing here. Needs no context.
    void copyLocalVertexData();
    // The positions as last taken from the source (by copyLocalData, a
    // frame, a print or a rectangle selection): x, y per point.
    const std::vector<float>& positions() const { return localPositions; }
    // The same in the plot square [0, 1]^2, as drawn and picked.
    const std::vector<float>& plotPositions() const { return normalizedPositions; }
    // One flag per sample file; for a t-SNE embedding the points of cleared
    // samples are hidden (samples beyond the count known at construction
    // are always shown).
    void setSampleSelection(std::vector<bool>* samples);
    // Red, green, blue bytes per sample file.
    void setSampleColors(std::vector<unsigned char>* colors);

    // ---- Frames (context current) ----
    void draw(unsigned framebuffer);
    // The current mode drawn at the print size (default 4096): RGB bytes,
    // rows bottom-up. The first print makes the print framebuffer (a new
    // view has none, as most are never printed). Empty, with width = height
    // = 0, when there can be no print framebuffer.
    std::vector<unsigned char> print(int& width, int& height);
    // The frames recorded while recording was on (one per draw).
    std::vector<std::vector<unsigned char>>* video(int& width, int& height);
    // Serial prints: (min, max) marker range (may be empty) and RGBA background.
    void setPrintParameters(std::vector<float> range, std::vector<float> background);
    void setSerialPrintMode(bool on);

    // ---- Density clustering ----
    // Side of the offscreen grid (default 128); a new value rebuilds it.
    void setMsGrid(int value);
    // Non-zero: cluster after every density computation.
    void setOtfClustering(int active);
    // Clusters once now by drawing a frame into the current target.
    void clusterOnce();
    // After a change of a cluster set in the data model (merges): follows it
    // when it is this renderer's density cluster set.
    void clusterRefreshed(void* data);
    // Name of the density cluster set while it belongs to the current
    // density field, else "".
    std::string meanShiftClustersName() const;
    // How many clusterings this renderer has formed itself; each refilled its
    // analysis' one density cluster set.
    unsigned clusterings() const { return clusteringCount; }
    // Takes over the clustering `source` (another renderer of the same
    // analysis) formed last and put into the analysis' set, which its own
    // earlier clustering no longer describes: the cluster grid with its
    // centres and walk ends, the set, and the sigma and grid side they were
    // formed with. Its density is then computed again at that sigma, without
    // clustering anew. The clustering stays current until the embedding or a
    // setting changes: new positions from the source that are those it was
    // formed on (the source plot may have drawn them first) leave it current.
    // Needs no context (the next frame or print uploads). False, with nothing
    // changed, for a source of another analysis or without a clustering of
    // its set.
    bool followClustering(const MCV_PointRenderer& source);
    float densitySigma() const { return sigma; }
    int msGridSide() const { return static_cast<int>(msGrid); }
    // Per point, the density cluster it is drawn in: the cluster grid's
    // index at the point's cell, as the hue shader and picking read it; -1
    // for none. Empty while there is no cluster grid.
    std::vector<int> pointClusterIds() const;

    // ---- Selection and cluster picking (device pixels, origin bottom-left) ----
    // rect = (x0, y0, x1, y1), any two opposite corners; edges are inside.
    std::vector<int>* selectRectangularArea(std::vector<int> rect, selectionModifier modifier);
    std::vector<int>* selectClusterAt(int x, int y, bool add);
    void setMousePositionInView(int x, int y);
    std::vector<int>* selectNone();
    std::vector<int>* selectAll();
    // A selection from elsewhere: one value per point, non-zero selected.
    // fromIdxs: the shown selection is the current index list instead.
    void setSelection(std::vector<short>* selection, bool fromIdxs);
    void setHighlight(void* data);
    void mergeClusters();
    int numSelectedClusters() const;
    void resetSelectedClusters();

    // ---- Utilities ----
    // Same length and every |a[i] - b[i]| < eps.
    static bool equal(const std::vector<float>& a, const std::vector<float>& b, float eps);
    // Breadth-first fill of the cells whose `channel` is below 0.5 with the
    // value of the nearest seed (cells above 0) in 4-neighbour steps.
    static void floodFillLevels(std::vector<float>& values, int width, int height, int channels, int channel);

private:
    // ---- Programs, buffers and textures (MCV_PointRendererResources.cpp) ----
    bool loadShaderPrograms();
    void compileShaderPrograms();
    void releaseShaderPrograms();
    void createBuffers();
    void createVertexBuffers();
    void createOffscreenBuffers();
    // Makes the print framebuffer at the print size unless it exists; false
    // when the size is beyond the OpenGL limits (a line says so).
    bool ensurePrintFramebuffer();
    void createColormapTextureBuffer();
    void createGaussTextureBuffer();
    void createSampleSelectionTextureBuffer();
    void createSampleColorTextureBuffer();
    void refreshBuffers();
    // Normalises the positions, then uploads them.
    void refreshVertexBuffers();
    // localPositions into normalizedPositions; the buffer is due for upload.
    void normalizePositions();
    // Takes pending positions from their source (normalised, not uploaded).
    void takePendingPositions();
    // Takes pending positions and uploads a due position buffer (context
    // current): what every frame and print starts with.
    void syncPositions();
    void refreshDataBuffers();
    void refreshClusterBuffers();
    void refreshMarkerBuffer();
    void refreshSelectionBuffer(bool fromIndices);
    void refreshScaleBuffer();
    void refreshSampleIdBuffer();
    void refreshSampleSelectionTextureBuffer();
    void refreshSampleColorTextureBuffer();
    void refreshVertexRGBColorBuffer();
    void refreshColormapTextureBuffer();
    void releaseVertexBuffers();
    void releaseOffscreenBuffers();
    void releaseColormapTextureBuffer();
    void releaseGaussTextureBuffer();
    void releaseSampleSelectionTextureBuffer();
    void releaseSampleColorTextureBuffer();
    void releaseBuffers();
    void rebuildBuffers();
    void rebuildVertexBuffers();
    void rebuildOffscreenBuffers();
    // The active marker's column of localMarkers into markerColumn.
    void extractMarkerColumn(const char* problem);
    // Disables every vertex attribute array of the vertex array, so that a
    // pass reads only the arrays it enables.
    void resetAttributes();
    void bindFloatAttribute(MCV_GLSLProgram* program, const char* name, unsigned buffer, int components);
    void bindIntAttribute(MCV_GLSLProgram* program, const char* name, unsigned buffer, unsigned type);

    // ---- Passes (MCV_PointRendererPasses.cpp) ----
    void drawPoints(bool print);
    void drawDensity(bool print);
    void drawSelectionUI();
    void drawScreenGrab();
    void drawFocusAndContextBackground();
    void printVideoFrame();
    void plotViewport();
    // Whether anything shown needs the density field.
    bool densityNeeded() const;

    // ---- Density and clustering (MCV_PointRendererDensity.cpp) ----
    void drawDensityOffscreen();
    void drawGradientOffscreen();
    void drawMeanShiftOffscreen();
    void splatPointsOffscreen();
    void cluster();
    // The GL side of a followed clustering (context current): the offscreen
    // grid at its side, its walk ends.
    void takeFollowedClustering();
    // The positions the current clustering was formed on.
    const std::vector<float>& clusteredPositions() const;
    // A current followed clustering was formed on exactly the positions the
    // source holds now, so taking them leaves it current.
    bool followedClusteringFits() const;
    // New positions from the source: the density is due, and the clusters
    // are stale unless they were formed on these positions.
    void positionsChanged();
    // Binds the offscreen framebuffer with `attachment` as draw buffer, the
    // grid as viewport, clears it to (r, g, b, a) and turns blending off.
    void beginOffscreenPass(unsigned attachment, float r, float g, float b, float a);
    // Draws the unit quad with `p` (bound) through its "position" attribute;
    // the vertex array stays bound.
    void drawQuad(MCV_GLSLProgram* p);
    // Restores the target framebuffer, blending and clear colour after an
    // offscreen pass.
    void endOffscreenPass();
    // Grid cell of a pixel of the view for picking, or -1.
    int clusterCellAt(int x, int y) const;
    // Index of the cell of a side x side grid over the plot square that holds
    // plot position (u, v); positions outside go to the nearest edge cell.
    // Clustering and picking both use it, so a click on a point finds the
    // point's cluster.
    static size_t gridCellOf(float u, float v, unsigned side);

    // ---- HSNE analyses (MCV_PointRendererHsne.cpp) ----
    // Types 2 and 3: takes the embedding like the t-SNE path; false while
    // these analyses are not available.
    bool setHsneLocalData(MCV_Analysis* analysis, int numMarkers);
    // Fills pointScales (4 floats per point) and the scale divisors for the
    // selected samples; leaves scaleActive false while not available.
    void computeHsnePointScales();
    // Whether a level analysis shows the data level (scale 0), where sample
    // selection hides points as for t-SNE.
    bool hsneLevelIsDataScale() const;
    // Point scales for analyses of types 2 and 3, then the scale buffer.
    void computePointScales();

    // ---- Data helpers (MCV_PointRenderer.cpp) ----
    // The marker source into localMarkers (numMarkers per point), then the
    // ranges, limits and image colours.
    void takeMarkers();
    void computeMarkerRanges();
    void computeImageColors();
    void copySelectionSource();
    int numSampleFiles() const;

    // Shader programs.
    MCV_GLSLProgram* glslProgramSingleColor = nullptr;
    MCV_GLSLProgram* glslProgramSimplePoints = nullptr;
    MCV_GLSLProgram* glslProgramSimplePointsMarkers = nullptr;
    MCV_GLSLProgram* glslProgramSimplePointsDensity = nullptr;
    MCV_GLSLProgram* glslProgramSimplePointsDensityOffscreen = nullptr;
    MCV_GLSLProgram* glslProgramGradientOffscreen = nullptr;
    MCV_GLSLProgram* glslProgramMeanShiftOffscreen = nullptr;
    MCV_GLSLProgram* glslProgramSplatPointsOffscreen = nullptr;
    MCV_GLSLProgram* glslProgramFocusAndContextBackground = nullptr;
    bool shadersLoaded = false;

    int renderMode = RENDER_POINTS;
    float mvpMatrix[16] = {};
    unsigned viewWidth = 100;
    unsigned viewHeight = 100;
    unsigned viewSide = 100;
    float viewAspect = 1.0f;
    unsigned targetFramebuffer = 0;

    // GL objects (0 while they do not exist).
    unsigned vertexArray = 0;
    unsigned positionBuffer = 0;
    unsigned drawOrderBuffer = 0;
    unsigned clusterPositionBuffer = 0;
    unsigned quadBuffer = 0;
    unsigned selectionRectBuffer = 0;
    unsigned markerBuffer = 0;
    unsigned selectionBuffer = 0;
    unsigned scaleBuffer = 0;
    unsigned sampleIdBuffer = 0;
    unsigned imageColorBuffer = 0;
    unsigned colormapTexture = 0;
    unsigned colormap2DTexture = 0;
    unsigned gaussTexture = 0;
    unsigned activeSampleTexture = 0;
    unsigned sampleColorTexture = 0;
    unsigned clusterIdTexture = 0;
    unsigned fcBackgroundTexture = 0;
    unsigned offscreenFramebuffer = 0;
    unsigned pdfTexture = 0;
    unsigned gradientTexture = 0;
    unsigned meanShiftTexture = 0;
    unsigned splatTexture = 0;
    unsigned printFramebuffer = 0;
    unsigned printTexture = 0;
    // Point count the vertex buffers were sized for.
    int bufferPoints = 0;
    std::vector<unsigned> drawOrder;

    unsigned msGrid = 128;
    std::vector<float> meanShiftEnds;
    std::vector<float> clusterCenters;
    std::vector<int> clusterIdGrid;
    std::vector<int> clusterIdGridRaw;
    // Side of the grid clusterIdGrid was formed on (msGrid may change since).
    unsigned clusterGridSide = 128;
    // The cluster grid changed without a current context (clusterRefreshed);
    // the next frame uploads it.
    bool clusterBuffersDirty = false;
    bool densityDirty = true;
    bool clustersStale = true;
    unsigned clusteringCount = 0;
    // A followed clustering's grid side differs from the offscreen grid's, or
    // its walk ends are not in the walk-end texture yet.
    bool followedGridDue = false;
    bool followedWalkEndsDue = false;
    // The source positions (x, y per point) a followed clustering was formed
    // on; empty while the clustering is this renderer's own.
    std::vector<float> followedPositions;
    float maxDensity = 0.0f;
    float maxLevel = 0.0f;

    MCV_Analysis* analysis = nullptr;
    const std::vector<float>* positionSource = nullptr;
    // The source holds positions not yet taken (copyLocalVertexData).
    bool positionsPending = false;
    // normalizedPositions are newer than the position buffer.
    bool positionUploadDue = false;
    const std::vector<float>* markerSource = nullptr;
    const std::vector<int>* fileIdxSource = nullptr;
    std::vector<float> localPositions;
    std::vector<float> localMarkers;
    std::vector<float> normalizedPositions;
    int activeMarker = 0;
    std::vector<std::pair<float, float>> markerRangesVec;
    std::vector<std::pair<float, float>> markerLimitsVec;
    std::vector<short>* selectionSource = nullptr;
    std::vector<short> localSelection;
    std::vector<float> markerColumn;
    std::vector<float> pointScales;
    bool hasFileIdxs = false;
    std::vector<int> fileIdxs;
    std::vector<bool>* sampleSelectionSource = nullptr;
    std::vector<bool> sampleSelection;
    std::vector<int> activeSamples;
    std::vector<unsigned char>* sampleColorsSource = nullptr;
    std::vector<unsigned char> sampleColors;
    std::vector<float> imageColors;
    bool scaleActive = false;
    int scaleLevels = 0;
    float pointScale = -1.0f;
    float greedyPointScale = -1.0f;
    bool greedyPointScaleMode = false;
    int numMarkers = 0;
    int numPoints = 0;

    float saturation = 0.0001f;
    float sigma = 0.15f;
    float gaussScale = 1.0f;
    float backgroundColor[4] = {252.0f / 255.0f, 252.0f / 255.0f, 252.0f / 255.0f, 1.0f};
    float offscreenClearColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float pointSize = 0.01f;
    float pointOpacity = 0.6f;
    float pointHaloSize = 0.2f;
    int colormapIdx = MCV_ColormapTable::kDefault1D;
    int densityColormapIdx = 0;
    int colormapDiscrete = 0;
    int densityColormapDiscrete = 1;
    int colormap2DIdx = 0;
    int colormap2DDiscrete = 0;
    int advancedMode = DIAGNOSTIC_OFF;
    int otfClustering = 0;

    bool selectionActive = false;
    int selectionRect[6] = {};
    float selectionRectNorm[4] = {};
    std::vector<int> selectionIdxs;
    MCV_DerivedDataClusters* clusters = nullptr;
    int highlightClusterId = -1;

    unsigned printSize = 4096;
    unsigned videoFrameSize = 1024;
    bool isRecording = false;
    std::vector<std::vector<unsigned char>> videoFrames;
    bool serialPrintMode = false;
    std::vector<float> printRange;
    std::vector<float> printBackground = {1.0f, 1.0f, 1.0f, 1.0f};
    int savedActiveMarker = 0;
};
