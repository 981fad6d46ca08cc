#include "data/MCV_BinWriter.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_ExportNames.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_MatrixFile.h"
#include "data/MCV_PointStatistics.h"

#include <iostream>

int MCV_BinWriter::refuse(const std::string& path, const std::string& why) {
    std::cout << "[ERROR] The binary file " << path << " was not written: " << why << ".\n";
    m_error += (m_error.empty() ? "" : "\n") + path + ": " + why;
    return 0;
}

bool MCV_BinWriter::writeMatrix(const std::string& path, const std::vector<const float*>& rows, size_t V,
                                const std::vector<int>& columns) {
    MCV_MatrixFile file;
    if (file.open(path) && file.writeRows(rows, V, &columns) && file.commit()) return true;
    refuse(path, file.error());
    file.discard();
    return false;
}

MCV_BinWriter::MCV_BinWriter() = default;

MCV_BinWriter::~MCV_BinWriter() = default;

void MCV_BinWriter::setData(MCV_DerivedDataPoints* data) { m_data = data; }

void MCV_BinWriter::setHeader(MCV_FcsHeader* header) { m_header = header; }

int MCV_BinWriter::writeToFile(std::string path, std::vector<int>* markers, int mode) {
    m_error.clear();
    std::cout << "\n\nWriting to " << path << ".\n\n";
    if (!m_data || !m_header) return refuse(path, "no points or no header were given");
    if (mode != 0 && mode != 1) return refuse(path, "unknown mode " + std::to_string(mode));

    MCV_CytometryData* dataSet = MCV_CytometryData::Instance();
    const int V = m_header->numVariables();
    for (int f = 0; f < dataSet->numFiles(); ++f)
        if (dataSet->header(f)->numVariables() != V)
            return refuse(path, "the header's variable count differs from the loaded files");

    std::vector<bool> chosen(static_cast<size_t>(V), false);
    if (markers)
        for (int m : *markers) {
            if (m < 0 || m >= V) return refuse(path, "marker " + std::to_string(m) + " is not a variable");
            chosen[static_cast<size_t>(m)] = true;
        }
    std::vector<int> columns;
    for (int v = 0; v < V; ++v)
        if (chosen[static_cast<size_t>(v)]) columns.push_back(v);
    const size_t W = columns.size();

    const std::vector<std::pair<int, int>>& points = m_data->data();
    const std::vector<const float*> rows = MCV_PointStatistics::rows(points);
    for (size_t p = 0; p < rows.size(); ++p)
        if (!rows[p]) return refuse(path, "point " + std::to_string(p) + " names no loaded event");

    if (mode == 0) {
        if (!writeMatrix(path, rows, static_cast<size_t>(V), columns)) return 0;
        std::cout << "File written succesfully (total of " << rows.size() << " " << W << "D points).\n";
        return 1;
    }

    // One file per loaded file, each with that file's points in set order.
    std::vector<std::vector<const float*>> perFile(static_cast<size_t>(dataSet->numFiles()));
    for (size_t p = 0; p < rows.size(); ++p) perFile[static_cast<size_t>(points[p].first)].push_back(rows[p]);
    const std::string base = MCV_ExportNames::base(path);
    MCV_ExportNames names;
    bool all = true;
    for (int f = 0; f < dataSet->numFiles(); ++f) {
        const std::string name =
            names.unique(base + "-" + MCV_ExportNames::component(dataSet->fileName(f, true)), ".bin");
        if (!writeMatrix(name, perFile[static_cast<size_t>(f)], static_cast<size_t>(V), columns)) {
            all = false;
            continue;
        }
        std::cout << "File " << name << " written succesfully (total of " << perFile[static_cast<size_t>(f)].size()
                  << " " << W << "D points).\n";
    }
    return all ? 1 : 0;
}
