#pragma once

#include <string>
#include <vector>

class MCV_FcsHeader;
class MCV_UiInterface;

// The one process-wide data set: every loaded file with its header and float
// event matrix (events x variables, row-major), the combined header of all
// files, the sample tags and the callback interface. File indices are load
// positions. A failed load leaves the object exactly as it was.
class MCV_CytometryData {
public:
    static MCV_CytometryData* Instance();
    ~MCV_CytometryData();

    void init(MCV_UiInterface* ui);

    // Result codes of MCV_LoadCode: 0 loaded, -1 loaded with differing marker
    // names, a positive code when nothing was added.
    int loadFromFile(std::string path);
    // Image-stack input; the first path names the record.
    int loadFromFiles(std::vector<std::string>* paths);

    int numFiles() const;
    std::string fileName(int i, bool shortName) const;
    std::string filePath() const;
    MCV_FcsHeader* header(int i);
    float* rawData(int i);
    MCV_FcsHeader* combinedHeader();

    // Appends variables to every file. A fill above -0.5 is the value of every
    // event; otherwise each event gets its file index.
    void addDimensions(std::vector<std::string> names, float fill);
    // Appends variables whose value for event e of any file is values[k][e].
    void addDimensions(std::vector<std::string> names, std::vector<std::vector<float>> values);

    void applyArcSinTransform(int cofactor, std::vector<bool> markers);
    void applyMeanNormalization(std::vector<bool> markers);

    std::string sampleTags() const;

private:
    MCV_CytometryData();
    MCV_CytometryData(const MCV_CytometryData&) = delete;
    MCV_CytometryData& operator=(const MCV_CytometryData&) = delete;

    struct FileRecord {
        std::string path;
        MCV_FcsHeader* header;
        float* data;
    };

    void addFileRecord(const std::string& path, MCV_FcsHeader* header, float* data);
    // Rebuilds every file's matrix with `count` new columns filled by `value`
    // (file index, event index, column) and adds the names to all headers.
    template <typename Fill>
    void appendColumns(const std::vector<std::string>& names, Fill value);

    MCV_FcsHeader* m_combinedHeader = nullptr;
    std::vector<FileRecord> m_files;
    MCV_UiInterface* m_ui = nullptr;
    std::string m_sampleTags;

    static MCV_CytometryData* s_instance;
};
