#include "data/MCV_FcsWriter.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_MatrixFile.h"
#include "data/MCV_PointStatistics.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "The FCS writer declares $BYTEORD 1,2,3,4 and writes the machine's floats as they are."
#endif

namespace {

constexpr char kDelimiter = '\\';
constexpr int64_t kMaxOffset = 99999999;  // the HEADER's 8-character fields

// A TEXT value: the delimiter doubled. A value may not be empty (two adjacent
// delimiters end the pair list for standard readers) and may not begin with
// the delimiter (a reader would take the doubled delimiter for part of the
// keyword), so such a value gets a leading blank.
std::string value(const std::string& v) {
    std::string out;
    out.reserve(v.size() + 2);
    if (v.empty() || v.front() == kDelimiter) out += ' ';
    for (char c : v) {
        out += c;
        if (c == kDelimiter) out += c;
    }
    return out;
}

std::string pair(const std::string& key, const std::string& v) {
    return std::string(1, kDelimiter) + key + kDelimiter + v;
}

// The text after the last '/' or '\' of the path (the whole path without).
std::string lastComponent(const std::string& path) {
    const size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string field8(int64_t n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%8lld", static_cast<long long>(n));
    return buf;
}

// Per variable, the largest finite value of the rows (lowest() when none).
std::vector<float> largestValues(const std::vector<const float*>& rows, int V) {
    std::vector<float> largest(static_cast<size_t>(V), std::numeric_limits<float>::lowest());
    const long n = static_cast<long>(rows.size());
#pragma omp parallel
    {
        std::vector<float> local(static_cast<size_t>(V), std::numeric_limits<float>::lowest());
#pragma omp for schedule(static)
        for (long p = 0; p < n; ++p) {
            const float* row = rows[static_cast<size_t>(p)];
            for (int v = 0; v < V; ++v) {
                const float x = row[v];
                if (std::isfinite(x) && x > local[static_cast<size_t>(v)]) local[static_cast<size_t>(v)] = x;
            }
        }
#pragma omp critical(mcv_fcs_writer_largest)
        for (int v = 0; v < V; ++v)
            largest[static_cast<size_t>(v)] = std::max(largest[static_cast<size_t>(v)], local[static_cast<size_t>(v)]);
    }
    return largest;
}

// $PnR: the header's range, raised to cover every value written, at least 1.
int64_t rangeFor(int64_t range, float largest) {
    const double needed = std::ceil(static_cast<double>(largest));
    const double cap = 9.2e18;  // below INT64_MAX, exactly representable
    const int64_t fromData = needed >= cap  ? std::numeric_limits<int64_t>::max()
                             : needed > 1.0 ? static_cast<int64_t>(needed)
                                            : 1;
    return std::max<int64_t>({range, fromData, 1});
}

}  // namespace

void MCV_FcsWriter::fail(const std::string& path, const std::string& why) {
    std::cout << "[ERROR] The FCS file " << path << " was not written: " << why << ".\n";
    m_error = path + ": " + why;
}

MCV_FcsWriter::MCV_FcsWriter() = default;

MCV_FcsWriter::~MCV_FcsWriter() = default;

void MCV_FcsWriter::setData(MCV_DerivedDataPoints* data) { m_data = data; }

void MCV_FcsWriter::setHeader(MCV_FcsHeader* header) { m_header = header; }

std::string MCV_FcsWriter::text(const std::string& path, const std::vector<const float*>& rows,
                                const std::string& versionText) const {
    const int V = m_header->numVariables();
    const int64_t N = static_cast<int64_t>(rows.size());
    const int64_t D = 4 * N * V;
    const std::vector<float> largest = largestValues(rows, V);

    std::string t = "\\$BEGINANALYSIS\\0\\$ENDANALYSIS\\0\\$BEGINSTEXT\\0\\$ENDSTEXT\\0\\$NEXTDATA\\0";
    t += pair("$TOT", std::to_string(N));
    t += pair("$PAR", std::to_string(V));
    t += pair("FCSversion", versionText) + pair("CREATOR", "Quillmaren FCS writer") +
         pair("$COM", "Quillmaren FCS writer");
    t += pair("FILENAME", value(lastComponent(path)));
    t += pair("GUID", "1.fcs") + pair("ORIGINALGUID", "1.fcs");
    t += pair("$BYTEORD", "1,2,3,4");
    t += pair("$DATATYPE", "F");
    t += pair("$MODE", "L");
    for (int i = 0; i < V; ++i) {
        const fcsVariable& var = (*m_header->variables())[static_cast<size_t>(i)];
        const std::string p = "$P" + std::to_string(i + 1);
        // Each of name and label stands in for the other when missing.
        const std::string name = !var.name.empty() ? var.name : !var.label.empty() ? var.label : p;
        const std::string label = !var.label.empty() ? var.label : name;
        t += pair(p + "B", "32");
        t += pair(p + "N", value(label));
        t += pair(p + "S", value(name));
        t += pair(p + "R", std::to_string(rangeFor(var.range, largest[static_cast<size_t>(i)])));
        t += pair(p + "E", "0,0");
    }
    const int64_t L = static_cast<int64_t>(t.size());
    // Without events there is no DATA segment: both offsets 0.
    t += pair("$BEGINDATA", std::to_string(D ? L + 164 : 0));
    t += pair("$ENDDATA", std::to_string(D ? L + 163 + D : 0));
    t += kDelimiter;
    t.resize(static_cast<size_t>(L + 64), ' ');
    return t;
}

int MCV_FcsWriter::write(const std::string& path, const std::vector<const float*>& rows, const std::string& version,
                         const std::string& versionText) {
    const std::string t = text(path, rows, versionText);
    const int64_t textEnd = 100 + static_cast<int64_t>(t.size()) - 1;
    if (textEnd > kMaxOffset) {
        fail(path, "its TEXT segment does not fit the 8-digit offsets of the HEADER");
        return Failed;
    }

    std::string head = version.substr(0, 6);
    head.resize(10, ' ');
    head += field8(100) + field8(textEnd) + field8(0) + field8(0) + field8(0) + field8(0);
    head.resize(100, ' ');

    MCV_MatrixFile file;
    if (file.open(path) && file.write(head.data(), head.size()) && file.write(t.data(), t.size()) &&
        file.writeRows(rows, static_cast<size_t>(m_header->numVariables()), nullptr) && file.commit())
        return Written;
    fail(path, file.error());
    file.discard();
    return Failed;
}

int MCV_FcsWriter::writeToFile(std::string path) {
    m_error.clear();
    std::cout << "\n\nWriting to " << path << ".\n\n";
    if (!m_data || !m_header) {
        fail(path, "no points or no header were given");
        return Failed;
    }
    MCV_CytometryData* dataSet = MCV_CytometryData::Instance();
    const int V = m_header->numVariables();
    for (int f = 0; f < dataSet->numFiles(); ++f)
        if (dataSet->header(f)->numVariables() != V) {
            fail(path, "the header has " + std::to_string(V) + " variables, the loaded file " + std::to_string(f) +
                           " has " + std::to_string(dataSet->header(f)->numVariables()));
            return Failed;
        }
    const std::vector<std::pair<int, int>>& points = m_data->data();
    const std::vector<const float*> rows = MCV_PointStatistics::rows(points);
    for (size_t p = 0; p < rows.size(); ++p)
        if (!rows[p]) {
            fail(path, "point " + std::to_string(p) + " (file " + std::to_string(points[p].first) + ", event " +
                           std::to_string(points[p].second) + ") names no loaded event");
            return Failed;
        }
    return write(path, rows, "FCS3.1", "3.1");
}

int MCV_FcsWriter::writeToFileFromRaw(std::string path, float* values, int count) {
    m_error.clear();
    std::cout << "\n\nWriting to " << path << ".\n\n";
    if (!m_header || (!values && count > 0) || count < 0) {
        fail(path, "no values or no header were given");
        return Failed;
    }
    const size_t V = static_cast<size_t>(m_header->numVariables());
    std::vector<const float*> rows(static_cast<size_t>(count));
    for (size_t e = 0; e < rows.size(); ++e) rows[e] = values + e * V;
    const std::string own = m_header->fcsVersion();
    const bool known = own == "FCS2.0" || own == "FCS3.0" || own == "FCS3.1";
    return write(path, rows, known ? own : "FCS3.1", "3");
}
