// Cluster sets: the JSON document of the web pages, the median table and the
// per-cluster origin tables. Each text is rebuilt only while its stale mark is
// set; the statistics it reads are brought up to date the same way.
//
// Floats are written in fixed notation with six decimals. In JSON a
// non-finite value is written as null and every string is escaped, so that
// any cluster or marker name gives a document the pages can parse.
#include "data/MCV_DerivedDataClusters.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_TextFormat.h"

#include <algorithm>

namespace {

std::string joinJson(const std::vector<float>& values) {
    std::string out;
    for (size_t v = 0; v < values.size(); ++v) {
        if (v) out += ',';
        out += MCV_TextFormat::jsonNumber(values[v]);
    }
    return out;
}

std::vector<std::string> variableNames() {
    std::vector<std::string> names;
    MCV_FcsHeader* h = MCV_CytometryData::Instance()->combinedHeader();
    if (!h) return names;
    for (int v = 0; v < h->numVariables(); ++v) names.push_back(h->variableName(v));
    return names;
}

// A share in percent in single precision; 0 when there is nothing to share.
float percent(float part, float whole) { return whole != 0.0f ? (part * 100.0f) / whole : 0.0f; }

}  // namespace

std::string& MCV_DerivedDataClusters::jsonObject() {
    createJson();
    return m_json;
}

std::string& MCV_DerivedDataClusters::jsonString() {
    createJson();
    return m_jsonEscaped;
}

void MCV_DerivedDataClusters::createJson() {
    if (!m_jsonStale) return;
    computeMedianExpression();
    computeStandardDeviation();

    std::string json = "{\n\"nodes\":[\n";
    const size_t n = m_clusters.size();
    for (size_t i = 0; i < n; ++i) {
        json += "{\"name\":" + MCV_TextFormat::jsonQuoted(i < m_names.size() ? m_names[i] : std::string()) + ", ";
        json += "\"size\":" + std::to_string(m_clusters[i].size()) + ", ";
        json += "\"expression\":[" + joinJson(m_median[i]) + "], \"stddev\":[" + joinJson(m_stdDev[i]);
        json += i + 1 < n ? "]},\n" : "]}\n]";
    }
    if (n == 0) json += "]";

    if (!m_edges.empty()) {
        json += ",\n\"links\":[\n";
        for (size_t j = 0; j < m_edges.size(); ++j) {
            json += "{\"source\":" + std::to_string(std::get<0>(m_edges[j]));
            json += ", \"target\":" + std::to_string(std::get<1>(m_edges[j]));
            json += ", \"value\":" + MCV_TextFormat::jsonNumber(std::get<2>(m_edges[j])) + "}";
            if (j + 1 < m_edges.size()) json += ",";
            json += "\n";
        }
        json += "]";
    }

    json += ",\n\"names\":[";
    const std::vector<std::string> names = variableNames();
    for (size_t v = 0; v < names.size(); ++v) {
        if (v) json += ",";
        json += MCV_TextFormat::jsonQuoted(names[v]);
    }
    json += "]\n}";

    m_json = std::move(json);
    m_jsonEscaped = MCV_TextFormat::scriptEscaped(m_json);
    m_jsonStale = false;
}

std::string& MCV_DerivedDataClusters::csvString() {
    createCsv();
    return m_csv;
}

void MCV_DerivedDataClusters::createCsv() {
    if (!m_csvStale) return;
    computeMedianExpression();
    std::string csv = "Subset,";
    const std::vector<std::string> names = variableNames();
    for (size_t v = 0; v < names.size(); ++v) {
        if (v) csv += ",";
        csv += MCV_TextFormat::csvField(names[v]);
    }
    csv += "\n";
    for (size_t i = 0; i < m_clusters.size(); ++i) {
        csv += MCV_TextFormat::csvField(i < m_names.size() ? m_names[i] : std::string()) + ",";
        for (size_t v = 0; v < m_median[i].size(); ++v) {
            if (v) csv += ",";
            csv += MCV_TextFormat::fixed6(m_median[i][v]);
        }
        csv += "\n";
    }
    m_csv = std::move(csv);
    m_csvStale = false;
}

std::vector<int> MCV_DerivedDataClusters::originTotals() {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const std::vector<int>* counts = m_hasReference ? &m_referenceCounts : nullptr;
    if (!counts)
        for (MCV_DerivedDataPoints* p : data->derivedDataPoints())
            if (p->name() == "All Points") counts = &p->pointsPerFile();
    std::vector<int> totals(static_cast<size_t>(std::max(0, data->numFiles())), 0);
    if (counts) {
        for (size_t f = 0; f < totals.size() && f < counts->size(); ++f) totals[f] = (*counts)[f];
    } else {
        for (int f = 0; f < data->numFiles(); ++f)
            totals[static_cast<size_t>(f)] = std::max(0, data->header(f)->numEvents());
    }
    return totals;
}

std::string& MCV_DerivedDataClusters::originCsvString(int i) {
    createOriginCsv();
    if (i < 0 || static_cast<size_t>(i) >= m_originTables.size()) {
        m_emptyText.clear();
        return m_emptyText;
    }
    return m_originTables[static_cast<size_t>(i)];
}

void MCV_DerivedDataClusters::createOriginCsv() {
    if (!m_originStale) return;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const std::vector<int> totals = originTotals();
    const size_t files = totals.size();

    m_originTables.assign(m_clusters.size(), std::string());
    for (size_t c = 0; c < m_clusters.size(); ++c) {
        std::vector<int> inCluster(files, 0);
        for (const auto& p : m_clusters[c])
            if (p.first >= 0 && static_cast<size_t>(p.first) < files) ++inCluster[static_cast<size_t>(p.first)];
        const float N = static_cast<float>(m_clusters[c].size());

        std::vector<float> ofFile(files), ofCluster(files);
        float sum = 0.0f;
        for (size_t f = 0; f < files; ++f) {
            ofFile[f] = percent(static_cast<float>(inCluster[f]), static_cast<float>(totals[f]));
            ofCluster[f] = percent(static_cast<float>(inCluster[f]), N);
            sum += ofFile[f];
        }

        std::string& t = m_originTables[c];
        t = "Idx, Filename, Total events, in selection, % in selection, % of selection, % of selection normalized\n";
        for (size_t f = 0; f < files; ++f) {
            t += std::to_string(f + 1) + ", ";
            t += MCV_TextFormat::csvField(data->header(static_cast<int>(f))->fileName()) + ", ";
            t += MCV_TextFormat::fixed6(static_cast<float>(totals[f])) + ", ";
            t += MCV_TextFormat::fixed6(static_cast<float>(inCluster[f])) + ", ";
            t += MCV_TextFormat::fixed6(ofFile[f]) + ", ";
            t += MCV_TextFormat::fixed6(ofCluster[f]) + ", ";
            t += MCV_TextFormat::fixed6(percent(ofFile[f], sum)) + "\n";
        }
    }
    m_originStale = false;
}
