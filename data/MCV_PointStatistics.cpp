#include "data/MCV_PointStatistics.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <iostream>

namespace {

// Splits V variables into contiguous blocks, one per thread.
int blockCount(int V, bool parallel) { return parallel ? std::max(1, std::min(V, omp_get_max_threads())) : 1; }
int blockBegin(int V, int blocks, int b) { return static_cast<int>(static_cast<long long>(V) * b / blocks); }

// Per variable, in point order: the single-precision sum of term(v, x) over
// the non-NaN values x and their count. Each thread takes a contiguous block
// of variables and walks all rows once for them, so each variable's sum is
// formed in the same order as by a serial loop, and a thread reads only its
// part of each row.
template <typename Term>
void sums(const MCV_PointStatistics::Rows& rows, int V, bool parallel, std::vector<float>* sum,
          std::vector<size_t>* count, Term term) {
    sum->assign(static_cast<size_t>(V), 0.0f);
    count->assign(static_cast<size_t>(V), 0);
    float* s = sum->data();
    size_t* k = count->data();
    const int blocks = blockCount(V, parallel);
#pragma omp parallel for schedule(static) if (parallel)
    for (int b = 0; b < blocks; ++b) {
        const int v0 = blockBegin(V, blocks, b);
        const int n = blockBegin(V, blocks, b + 1) - v0;
        // Thread-local accumulators: no two threads write near each other.
        std::vector<float> localSum(static_cast<size_t>(n), 0.0f);
        std::vector<size_t> localCount(static_cast<size_t>(n), 0);
        float* ls = localSum.data();
        size_t* lk = localCount.data();
        for (const float* row : rows) {
            if (!row) continue;
            const float* x = row + v0;
            for (int j = 0; j < n; ++j) {
                if (std::isnan(x[j])) continue;
                ls[j] += term(v0 + j, x[j]);
                ++lk[j];
            }
        }
        for (int j = 0; j < n; ++j) {
            s[v0 + j] = ls[j];
            k[v0 + j] = lk[j];
        }
    }
}

}  // namespace

int MCV_PointStatistics::numVariables() {
    MCV_FcsHeader* h = MCV_CytometryData::Instance()->combinedHeader();
    return h ? h->numVariables() : 0;
}

MCV_PointStatistics::Rows MCV_PointStatistics::rows(const std::vector<std::pair<int, int>>& points) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const int files = data->numFiles();
    const int V = numVariables();
    std::vector<const float*> matrix(static_cast<size_t>(files), nullptr);
    std::vector<int> events(static_cast<size_t>(files), 0);
    for (int f = 0; f < files; ++f) {
        MCV_FcsHeader* h = data->header(f);
        // A file whose width differs from the combined header cannot be read
        // with its stride; its points are left out.
        if (!h || h->numVariables() != V) continue;
        matrix[static_cast<size_t>(f)] = data->rawData(f);
        events[static_cast<size_t>(f)] = std::max(0, h->numEvents());
    }
    Rows out(points.size(), nullptr);
    for (size_t p = 0; p < points.size(); ++p) {
        const int f = points[p].first;
        const int e = points[p].second;
        if (f < 0 || f >= files || e < 0 || e >= events[static_cast<size_t>(f)]) continue;
        const float* m = matrix[static_cast<size_t>(f)];
        if (m) out[p] = m + static_cast<size_t>(e) * static_cast<size_t>(V);
    }
    return out;
}

void MCV_PointStatistics::median(const Rows& rows, int V, std::vector<float>* out, bool parallel) {
    out->assign(static_cast<size_t>(std::max(0, V)), 0.0f);
    float* result = out->data();
#pragma omp parallel if (parallel)
    {
        std::vector<float> values;
        values.reserve(rows.size());
        // One variable per thread at a time (chunks of 1): the threads gather
        // neighbouring columns and so share the cache lines of each row.
#pragma omp for schedule(static, 1)
        for (int v = 0; v < V; ++v) {
            values.clear();
            for (const float* row : rows) {
                if (!row) continue;
                const float x = row[v];
                if (!std::isnan(x)) values.push_back(x);
            }
            if (values.empty()) continue;
            // The element a full sort would put at floor(k / 2).
            auto mid = values.begin() + static_cast<long>(values.size() / 2);
            std::nth_element(values.begin(), mid, values.end());
            result[v] = *mid;
        }
    }
}

void MCV_PointStatistics::mean(const Rows& rows, int V, std::vector<float>* out, bool parallel) {
    out->assign(static_cast<size_t>(std::max(0, V)), 0.0f);
    if (V <= 0) return;
    std::vector<float> sum;
    std::vector<size_t> count;
    sums(rows, V, parallel, &sum, &count, [](int, float x) { return x; });
    for (size_t v = 0; v < static_cast<size_t>(V); ++v)
        (*out)[v] = count[v] ? sum[v] / static_cast<float>(count[v]) : 0.0f;
}

void MCV_PointStatistics::deviation(const Rows& rows, int V, const std::vector<float>& mean, std::vector<float>* out,
                                    bool parallel) {
    out->assign(static_cast<size_t>(std::max(0, V)), 0.0f);
    if (V <= 0 || mean.size() < static_cast<size_t>(V)) return;
    std::vector<float> squares;
    std::vector<size_t> count;
    const float* centre = mean.data();
    sums(rows, V, parallel, &squares, &count, [centre](int v, float x) {
        const float d = centre[v] - x;
        return d * d;
    });
    for (size_t v = 0; v < static_cast<size_t>(V); ++v) {
        if (!count[v]) continue;
        const float value = std::sqrt(squares[v] / static_cast<float>(count[v]));
        (*out)[v] = value;
        if (std::isnan(value)) {
            // Cluster statistics run this from several threads at once.
#pragma omp critical(mcv_point_statistics_log)
            {
                std::cout << "numPoints " << rows.size() << std::endl;
                std::cout << "stdDev " << squares[v] << std::endl;
                std::cout << "value " << value << std::endl;
            }
        }
    }
}
