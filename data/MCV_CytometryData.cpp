#include "data/MCV_CytometryData.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_ExportNames.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_FcsLoader.h"
#include "data/MCV_ImageLoader.h"
#include "data/MCV_Messages.h"
#include "data/MCV_UiInterface.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <new>

MCV_CytometryData* MCV_CytometryData::s_instance = nullptr;

MCV_CytometryData* MCV_CytometryData::Instance() {
    if (!s_instance) s_instance = new MCV_CytometryData();
    return s_instance;
}

std::unique_ptr<MCV_CytometryData> MCV_CytometryData::createDetached() {
    return std::unique_ptr<MCV_CytometryData>(new MCV_CytometryData());
}

MCV_CytometryData* MCV_CytometryData::replaceInstance(std::unique_ptr<MCV_CytometryData> fresh) {
    MCV_CytometryData* previous = s_instance;
    s_instance = fresh.release();
    delete previous;  // no longer the instance: its destructor leaves s_instance alone
    return Instance();
}

MCV_CytometryData::MCV_CytometryData() = default;

MCV_CytometryData::~MCV_CytometryData() {
    for (RegistryEntry& entry : m_registry) delete entry.object;
    delete m_selection;
    for (FileRecord& f : m_files) {
        delete f.header;
        delete[] f.data;
    }
    delete m_combinedHeader;
    if (s_instance == this) s_instance = nullptr;
}

void MCV_CytometryData::init(MCV_UiInterface* ui) {
    m_ui = ui;
    m_sampleTags.clear();
}

namespace {
// The folder of `path`, a relative one resolved against the working folder of
// now (kept relative when that cannot be told).
std::string absoluteFolder(const std::string& path) {
    const std::string folder = MCV_ExportNames::folder(path);
    if (!path.empty() && path.front() == '/') return folder;
    std::error_code error;
    std::string working = std::filesystem::current_path(error).string();
    if (error || working.empty()) return folder.empty() ? "./" : folder;
    if (working.back() != '/') working += '/';
    return working + folder;
}
}  // namespace

void MCV_CytometryData::addFileRecord(const std::string& path, MCV_FcsHeader* header, float* data) {
    m_files.push_back(FileRecord{path, absoluteFolder(path), header, data});
    m_sampleTags += path + ": " + std::to_string(m_files.size() - 1) + "\n";
}

std::string MCV_CytometryData::loadRefusal() const { return m_loadRefusal; }

int MCV_CytometryData::loadFromFile(std::string path) {
    MCV_FcsHeader* header = new MCV_FcsHeader(nullptr);
    header->setFileName(path);
    float* data = nullptr;
    int result;
    {
        MCV_FcsLoader loader;
        loader.init();
        result = loader.loadFromFile(&data, header);
        m_loadRefusal = loader.refusal();
    }
    if (result != MCV_LoadCode::Success) {
        delete header;
        delete[] data;
        return result;
    }
    if (!data) {
        delete header;
        m_loadRefusal = "The reader handed back no events.";
        return MCV_LoadCode::NoMatrix;
    }

    if (!m_combinedHeader) {
        m_combinedHeader = new MCV_FcsHeader(header);
        addFileRecord(path, header, data);
        return MCV_LoadCode::Success;
    }

    if (header->numVariables() != m_combinedHeader->numVariables()) {
        m_loadRefusal = "This file has " + std::to_string(header->numVariables()) +
                        " parameters; the files loaded before it have " +
                        std::to_string(m_combinedHeader->numVariables()) + ".";
        delete header;
        delete[] data;
        return MCV_LoadCode::DifferentMarkerSets;
    }

    result = MCV_LoadCode::Success;
    std::vector<fcsVariable>& combined = *m_combinedHeader->variables();
    const std::vector<fcsVariable>& fresh = *header->variables();
    for (size_t i = 0; i < combined.size(); ++i) {
        const fcsVariable& a = combined[i];
        const fcsVariable& b = fresh[i];
        if (a.name != b.name || a.bits != b.bits || a.exponent != b.exponent) {
            fcsVariable merged;
            merged.name = "- multiple -";
            merged.label = "- multiple -";
            merged.range = 0;
            merged.bits = 0;
            merged.exponent = 0.0;
            m_combinedHeader->setVariable(static_cast<int>(i), merged);
            result = MCV_LoadCode::DifferentMarkerNames;
        }
    }

    MCV_FcsHeader* c = m_combinedHeader;
    if (c->fileName() != header->fileName()) c->setFileName("multiple files");
    if (c->numEvents() != header->numEvents()) c->setNumEvents(-1);
    const std::string multiple = "multiple";
    if (c->startTime() != header->startTime()) c->setStartTime(multiple);
    if (c->stopTime() != header->stopTime()) c->setStopTime(multiple);
    if (c->cytometry() != header->cytometry()) c->setCytometry(multiple);
    if (c->date() != header->date()) c->setDate(multiple);
    if (c->byteOrder() != header->byteOrder()) c->setByteOrder(multiple);
    if (c->dataType() != header->dataType()) c->setDataType(multiple);
    if (c->system() != header->system()) c->setSystem(multiple);
    if (c->project() != header->project()) c->setProject(multiple);
    if (c->experiment() != header->experiment()) c->setExperiment(multiple);
    if (c->cells() != header->cells()) c->setCells(multiple);
    if (c->creator() != header->creator()) c->setCreator(multiple);
    if (c->fcsVersion() != header->fcsVersion()) c->setFcsVersion(multiple);

    addFileRecord(path, header, data);
    return result;
}

int MCV_CytometryData::loadFromFiles(std::vector<std::string>* paths) {
    if (!paths || paths->empty()) return MCV_LoadCode::NoMatrix;
    MCV_FcsHeader* header = nullptr;
    float* data = nullptr;
    MCV_ImageLoader loader;
    loader.init();
    const int result = loader.loadFromFiles(paths, &header, &data);
    m_loadRefusal = result == MCV_LoadCode::Success ? std::string() : loader.message();
    if (result != MCV_LoadCode::Success) {
        delete header;
        delete[] data;
        return result;
    }
    if (!header || !data) {
        delete header;
        delete[] data;
        return MCV_LoadCode::NoMatrix;
    }
    delete m_combinedHeader;
    m_combinedHeader = new MCV_FcsHeader(header);
    m_addedVariables = 0;
    addFileRecord(paths->front(), header, data);
    return MCV_LoadCode::Success;
}

int MCV_CytometryData::numFiles() const { return static_cast<int>(m_files.size()); }

std::string MCV_CytometryData::fileName(int i, bool shortName) const {
    if (i < 0 || i >= numFiles()) return std::string();
    const std::string& path = m_files[static_cast<size_t>(i)].path;
    return shortName ? MCV_ExportNames::base(MCV_ExportNames::fileName(path)) : path;
}

std::string MCV_CytometryData::fileFolder(int i) const {
    if (i < 0 || i >= numFiles()) return std::string();
    return m_files[static_cast<size_t>(i)].folder;
}

std::string MCV_CytometryData::filePath() const { return fileFolder(0); }

MCV_FcsHeader* MCV_CytometryData::header(int i) {
    if (i < 0 || i >= numFiles()) return nullptr;
    return m_files[static_cast<size_t>(i)].header;
}

float* MCV_CytometryData::rawData(int i) {
    if (i < 0 || i >= numFiles()) return nullptr;
    return m_files[static_cast<size_t>(i)].data;
}

MCV_FcsHeader* MCV_CytometryData::combinedHeader() { return m_combinedHeader; }

int MCV_CytometryData::fileVariableCount() const {
    return m_combinedHeader ? m_combinedHeader->numVariables() - m_addedVariables : 0;
}

template <typename Fill>
void MCV_CytometryData::appendColumns(const std::vector<std::string>& names, Fill value) {
    if (names.empty() || !m_combinedHeader) return;
    const size_t oldWidth = static_cast<size_t>(m_combinedHeader->numVariables());
    const size_t added = names.size();
    const size_t newWidth = oldWidth + added;

    // Build every new matrix before releasing any old one, so running out of
    // memory half way leaves the data set unchanged.
    std::vector<float*> rebuilt(m_files.size(), nullptr);
    try {
        for (size_t f = 0; f < m_files.size(); ++f) {
            const int n = m_files[f].header->numEvents();
            rebuilt[f] = new float[static_cast<size_t>(n > 0 ? n : 0) * newWidth];
        }
    } catch (const std::bad_alloc&) {
        for (float* p : rebuilt) delete[] p;
        std::cout << "[ERROR] Not enough memory to add " << added << " variables.\n";
        return;
    }

    for (size_t f = 0; f < m_files.size(); ++f) {
        const int64_t n = m_files[f].header->numEvents();
        const float* src = m_files[f].data;
        float* dst = rebuilt[f];
#pragma omp parallel for schedule(static)
        for (int64_t e = 0; e < n; ++e) {
            const float* row = src + static_cast<size_t>(e) * oldWidth;
            float* out = dst + static_cast<size_t>(e) * newWidth;
            for (size_t v = 0; v < oldWidth; ++v) out[v] = row[v];
            for (size_t k = 0; k < added; ++k) out[oldWidth + k] = value(f, static_cast<size_t>(e), k);
        }
        delete[] m_files[f].data;
        m_files[f].data = dst;
    }

    for (const std::string& name : names) {
        m_combinedHeader->addDimension(name);
        for (FileRecord& f : m_files) f.header->addDimension(name);
    }
    m_addedVariables += static_cast<int>(added);
    // Every cached statistic now misses the new variables.
    valuesChanged();
    if (m_ui) m_ui->dimensionsAdded();
}

void MCV_CytometryData::valuesChanged() {
    if (m_selection) m_selection->invalidateStatistics();
    for (RegistryEntry& entry : m_registry) invalidateStatistics(entry.object);
}

void MCV_CytometryData::addDimensions(std::vector<std::string> names, float fill) {
    const bool byFile = !(fill > -0.5f);
    appendColumns(names,
                  [fill, byFile](size_t file, size_t, size_t) { return byFile ? static_cast<float>(file) : fill; });
}

void MCV_CytometryData::addDimensions(std::vector<std::string> names, std::vector<std::vector<float>> values) {
    // A value vector shorter than a file's event count would be read past its
    // end; refuse the whole call instead.
    if (values.size() < names.size()) {
        std::cout << "[ERROR] addDimensions: " << names.size() << " names but " << values.size() << " value lists.\n";
        return;
    }
    for (const FileRecord& f : m_files)
        for (size_t k = 0; k < names.size(); ++k)
            if (values[k].size() < static_cast<size_t>(std::max(0, f.header->numEvents()))) {
                std::cout << "[ERROR] addDimensions: values of " << names[k] << " are fewer than the "
                          << f.header->numEvents() << " events of " << f.path << ".\n";
                return;
            }
    appendColumns(names, [&values](size_t, size_t event, size_t k) { return values[k][event]; });
}

void MCV_CytometryData::applyArcSinTransform(int cofactor, std::vector<bool> markers) {
    if (cofactor < 1) {
        std::cout << "[ERROR] The arcsine cofactor must be at least 1, not " << cofactor << ".\n";
        return;
    }
    const float c = static_cast<float>(cofactor);
    for (FileRecord& f : m_files) {
        const size_t width = static_cast<size_t>(f.header->numVariables());
        const size_t chosen = std::min(width, markers.size());
        const int64_t n = f.header->numEvents();
        float* data = f.data;
#pragma omp parallel for schedule(static)
        for (int64_t e = 0; e < n; ++e) {
            float* row = data + static_cast<size_t>(e) * width;
            for (size_t v = 0; v < chosen; ++v)
                if (markers[v]) row[v] = std::asinh(row[v] / c);
        }
    }
    valuesChanged();
}

void MCV_CytometryData::applyMeanNormalization(std::vector<bool> markers) {
    if (!m_combinedHeader) return;
    const size_t width = static_cast<size_t>(m_combinedHeader->numVariables());
    const size_t chosen = std::min(width, markers.size());
    double total = 0;
    for (const FileRecord& f : m_files) total += std::max(0, f.header->numEvents());
    if (total == 0) return;

    for (size_t v = 0; v < chosen; ++v) {
        if (!markers[v]) continue;
        // Sums in double: single-precision sums of millions of events drift.
        double sum = 0;
        for (const FileRecord& f : m_files)
            for (int64_t e = 0; e < f.header->numEvents(); ++e) sum += f.data[static_cast<size_t>(e) * width + v];
        const double mean = sum / total;
        double squares = 0;
        for (const FileRecord& f : m_files)
            for (int64_t e = 0; e < f.header->numEvents(); ++e) {
                const double d = f.data[static_cast<size_t>(e) * width + v] - mean;
                squares += d * d;
            }
        const double deviation = std::sqrt(squares / total);
        for (FileRecord& f : m_files)
            for (int64_t e = 0; e < f.header->numEvents(); ++e) {
                float& x = f.data[static_cast<size_t>(e) * width + v];
                // A constant variable has no spread to divide by: it becomes 0.
                x = deviation > 0 ? static_cast<float>((x - mean) / deviation) : 0.0f;
            }
    }
    valuesChanged();
}

std::string MCV_CytometryData::sampleTags() const { return m_sampleTags; }
