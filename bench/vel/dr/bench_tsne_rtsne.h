#pragma once
// The outside yardstick of bench_tsne: the R package Rtsne run through
// Rscript on the same input, when both are installed. Only its wall time and
// its embedding are used; its own input normalisation and PCA are switched off
// so that it sees the same points.

#include <string>
#include <vector>

namespace benchtsne {

struct RtsneRun {
    bool ran = false;
    std::string why;               // why it did not run
    std::string version;           // of the R package
    double seconds = 0;            // the Rtsne() call alone, measured inside R
    double processSeconds = 0;     // Rscript from start to exit, reading and writing included
    std::vector<float> embedding;  // N x 2, row-major
};

// Runs Rtsne(X, dims = 2, perplexity, theta, max_iter = iterations,
// num_threads = threads, pca = FALSE, normalize = FALSE) on N x dims floats.
RtsneRun runRtsne(const std::vector<float>& data, unsigned int n, unsigned int dims, double perplexity, double theta,
                  unsigned int iterations, int threads);

}  // namespace benchtsne
