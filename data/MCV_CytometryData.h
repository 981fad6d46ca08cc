#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class MCV_DerivedData;
class MCV_DerivedDataClusters;
class MCV_DerivedDataImage;
class MCV_DerivedDataPoints;
class MCV_FCTree;
class MCV_FcsHeader;
class MCV_UiInterface;

// The one process-wide data set: every loaded file with its header and float
// event matrix (events x variables, row-major), the combined header of all
// files, the sample tags and the callback interface. File indices are load
// positions. A failed load leaves the object exactly as it was.
//
// It also keeps the registry of named derived data (point subsets, cluster
// sets, images ...), which it owns: entries are only ever added, and a name is
// taken by at most one entry of any kind, so that no registration can destroy
// an object that views and analyses hold. The current user selection is a
// separate point set, "Selection", outside the registry.
class MCV_CytometryData {
public:
    static MCV_CytometryData* Instance();
    // A new, empty data set that is not the process-wide one: files load into
    // it while the current instance stays in use and unchanged.
    static std::unique_ptr<MCV_CytometryData> createDetached();
    // Makes `fresh` the process-wide data set and destroys the previous one,
    // which nothing may hold any more. Returns the new instance.
    static MCV_CytometryData* replaceInstance(std::unique_ptr<MCV_CytometryData> fresh);
    ~MCV_CytometryData();

    void init(MCV_UiInterface* ui);

    // Result codes of MCV_LoadCode: 0 loaded, -1 loaded with differing marker
    // names, a positive code when nothing was added.
    int loadFromFile(std::string path);
    // Why the last loadFromFile or loadFromFiles was refused, with the file,
    // page or numbers that decide it; empty after a load that succeeded.
    std::string loadRefusal() const;
    // Image-stack input; the first path names the record.
    int loadFromFiles(std::vector<std::string>* paths);

    int numFiles() const;
    // File i's path as it was loaded; with `shortName` its file name without
    // folder and extension (MCV_ExportNames::fileName and base). Empty for a
    // bad index.
    std::string fileName(int i, bool shortName) const;
    // The folder of file i with its trailing '/', whatever the file's name.
    // The folder of a relative path is taken from the working folder at the
    // time the file was loaded, so that files written beside the data later
    // land beside it even when the working folder has changed. Empty for a bad
    // index.
    std::string fileFolder(int i) const;
    // fileFolder(0): where the files of the whole data set are kept (the
    // caches of analyses over all files).
    std::string filePath() const;
    MCV_FcsHeader* header(int i);
    float* rawData(int i);
    MCV_FcsHeader* combinedHeader();
    // How many of the combined header's variables the loaded files bring:
    // those before the first one the program appended (addDimensions).
    int fileVariableCount() const;

    // Appends variables to every file. A fill above -0.5 is the value of every
    // event; otherwise each event gets its file index.
    void addDimensions(std::vector<std::string> names, float fill);
    // Appends variables whose value for event e of any file is values[k][e].
    void addDimensions(std::vector<std::string> names, std::vector<std::vector<float>> values);

    void applyArcSinTransform(int cofactor, std::vector<bool> markers);
    void applyMeanNormalization(std::vector<bool> markers);
    // Event values changed in place (the operations above, an analysis
    // writing its output variables): every cached statistic of the selection
    // and of the registered point and cluster sets is computed afresh when
    // next asked for. Whoever writes into rawData() calls it afterwards.
    void valuesChanged();

    std::string sampleTags() const;

    // ---- Derived-data registry ----
    // Kind codes are those of MCV_DerivedData (1 points, 2 clusters, 4 tree,
    // 5 image). HSNE hierarchies (kind 3) are never registered: the analyses
    // that build them share them among themselves and their levels.
    //
    // Focus-and-context trees are analysis classes: the analysis layer
    // installs their TreeKind at start-up (MCV_FCTree::registerKind). Until
    // then the data set makes no tree: the tree look-up returns null with an
    // "[ERROR]" line, and addDerivedDataTree refuses.
    struct TreeKind {
        std::function<MCV_DerivedData*()> create;  // a new empty tree of kind 4
        std::function<MCV_FCTree*(MCV_DerivedData*)> tree;
        std::function<MCV_DerivedData*(MCV_FCTree*)> derivedData;
    };
    // Replaces the process-wide TreeKind; an empty one removes it.
    static void setTreeKind(TreeKind kind);
    // Whether an entry of any kind bears `name`: a new object asked for
    // under it is registered under another name (see the look-ups below).
    bool nameTaken(const std::string& name) const;
    // Typed lists, in registration order.
    std::vector<MCV_DerivedDataPoints*> derivedDataPoints();
    std::vector<MCV_DerivedDataClusters*> derivedDataClusters();
    std::vector<MCV_DerivedDataImage*> derivedDataImage();
    std::vector<MCV_FCTree*> derivedDataTrees();
    // Look-up or creation. With `create`, an existing object of that kind and
    // name is returned. Otherwise, and when none exists, a new empty object is
    // created and registered: under `name`, or, when any entry already bears
    // it, under `name` + "-" + the first free k (1, 2, ...). "Selection" asks
    // for selectionPoints() and registers nothing.
    MCV_DerivedDataPoints* derivedDataPoints(std::string name, bool create);
    MCV_DerivedDataClusters* derivedDataClusters(std::string name, bool create);
    MCV_DerivedDataImage* derivedDataImage(std::string name, bool create);
    MCV_FCTree* derivedDataTrees(std::string name, bool create);
    // The cluster set that `owner` (an analysis's MCV_Analysis::serial(),
    // never 0) fills under `name`. With `reuse`, the set this look-up last
    // made for that owner and name, while the data set holds it. Otherwise,
    // and when there is none, a new set, registered under `name` or, when any
    // entry already bears it, under `name` + "-" + the first free k, which
    // the owner keeps from then on. A set registered by anyone else (another
    // analysis, one a closed analysis left, a SPADE analysis named so) is
    // never handed out, so no set serves two analyses.
    MCV_DerivedDataClusters* ownedClusters(const std::string& name, std::uint64_t owner, bool reuse);
    // Registers `object` (whose type() must be `kind`) under `name`, gives it
    // the callback interface and announces newDerivedDataAdded. Refused, with
    // the "[ERROR] Tried to add new dervied data" line and no notification,
    // when the name is taken by an entry of any kind, the object is already
    // registered or is of another kind; a refused object stays the caller's.
    // Returns whether the data set took the object.
    bool addDerivedData(int kind, std::string name, MCV_DerivedData* object);
    // Register the object under its own name.
    bool addDerivedDataPoints(MCV_DerivedDataPoints* points);
    bool addDerivedDataClusters(MCV_DerivedDataClusters* clusters);
    bool addDerivedDataImage(MCV_DerivedDataImage* image);
    bool addDerivedDataTree(MCV_FCTree* tree);
    // A new point set holding a random subset of `source`, targets[f] points
    // of file f (see MCV_DerivedDataPoints::downsample), registered under
    // `name` or, when that is taken, the first free `name` + "-" + k. Returns
    // the new set (null without a source).
    MCV_DerivedDataPoints* addDownsampledData(std::string name, MCV_DerivedDataPoints* source,
                                              std::vector<int> targets);
    // The current user selection, created on first use; not in the registry.
    MCV_DerivedDataPoints* selectionPoints();
    // Builds "All Points" (every event of every file, file by file) and, when
    // the first file's header gives an image size, "All Points - Image" as a
    // dependent of it.
    void initAllDerviedDataPointer();

    // ---- Exports ----
    // Writes point set `name` to `path`: as a raw binary matrix of `markers`
    // when the extension (after the last '.' of the file name, see
    // MCV_ExportNames) is exactly "bin" (MCV_BinWriter: 1 written, 0 not),
    // otherwise as FCS with every variable (MCV_FcsWriter: 0 written, -1 not).
    // With mode 1 an FCS export writes one file per sample holding points of
    // the set, named path-without-extension + "-" + sample name + ".fcs".
    // An empty name returns 0; an unknown one the chosen writer's failure.
    int writeToFile(std::string name, std::string path, int mode, std::vector<int>* markers);
    // Writes every cluster of cluster set `name` as FCS files named from
    // `path` (which must end in ".fcs", in any case): path-without-extension + "-" +
    // cluster name (+ "-" + sample name with `perFile`) + ".fcs". Returns 1
    // and prints "Clusters exported succesfully." when every file was written,
    // 0 otherwise. Every file replaces an existing one only once it is whole.
    int writeClustersToFiles(std::string name, std::string path, bool perFile);
    // The files writeClustersToFiles(name, path, perFile) would write now, in
    // the order it writes them (two clusters or samples of one name get
    // "-2", "-3", ... as there); none when it would write nothing.
    std::vector<std::string> clusterFileNames(const std::string& name, const std::string& path, bool perFile) const;
    // Why the last writeToFile or writeClustersToFiles did not write every
    // file: one line per file not written, its path, ": " and what failed
    // (the writer's reason, e.g. "writing failed (No space left on device)"
    // or "it is a named pipe, not a regular file"); empty after an export
    // that wrote every file.
    std::string exportFailure() const;

private:
    MCV_CytometryData();
    MCV_CytometryData(const MCV_CytometryData&) = delete;
    MCV_CytometryData& operator=(const MCV_CytometryData&) = delete;

    struct FileRecord {
        std::string path;
        std::string folder;  // absolute (unless the working folder was unknown), with its trailing '/'
        MCV_FcsHeader* header;
        float* data;
    };

    void addFileRecord(const std::string& path, MCV_FcsHeader* header, float* data);
    // Rebuilds every file's matrix with `count` new columns filled by `value`
    // (file index, event index, column) and adds the names to all headers.
    template <typename Fill>
    void appendColumns(const std::vector<std::string>& names, Fill value);

    struct RegistryEntry {
        int kind;
        std::string name;
        MCV_DerivedData* object;  // owned
        // Set by ownedClusters: the analysis the set belongs to (0: none)
        // and the name it asked for (the entry's name, or the name of which
        // the entry's is a "-k" variant).
        std::uint64_t owner = 0;
        std::string ownedAs;
    };

    // One file of a cluster export: its path, its cluster and, with perFile,
    // the sample file whose events of the cluster it holds (-1: all).
    struct ClusterFile {
        std::string path;
        int cluster;
        int sample;
    };
    std::vector<ClusterFile> clusterFiles(const std::string& name, const std::string& path, bool perFile) const;

    std::string freeName(const std::string& name) const;
    MCV_DerivedData* find(int kind, const std::string& name) const;
    template <typename T>
    std::vector<T*> listOf(int kind) const;
    template <typename T>
    T* lookUp(int kind, const std::string& name, bool create);
    // Each kind's own invalidateStatistics (they hide the base's).
    static void invalidateStatistics(MCV_DerivedData* object);

    MCV_FcsHeader* m_combinedHeader = nullptr;
    std::vector<FileRecord> m_files;
    std::vector<RegistryEntry> m_registry;
    MCV_DerivedDataPoints* m_selection = nullptr;
    MCV_UiInterface* m_ui = nullptr;
    std::string m_sampleTags;
    std::string m_loadRefusal;
    int m_addedVariables = 0;
    std::string m_exportFailure;

    static MCV_CytometryData* s_instance;
};
