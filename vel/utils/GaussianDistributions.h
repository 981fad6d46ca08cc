#pragma once
// Gaussian kernels over one row of distances. All accumulation is in double,
// also for float rows. Ranges are half-open; n is the length of the distance
// range, and every function refuses an empty range or ranges of different
// lengths with std::logic_error "Invalid containers".

#include <cfloat>
#include <cmath>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace vel {
namespace utils {

namespace detail {
template <typename DistIt, typename ProbIt>
std::ptrdiff_t checkedRowLength(DistIt distBegin, DistIt distEnd, ProbIt probBegin, ProbIt probEnd) {
    const std::ptrdiff_t n = std::distance(distBegin, distEnd);
    if (n <= 0 || n != std::distance(probBegin, probEnd)) throw std::logic_error("Invalid containers");
    return n;
}

// Uniform row over the entries other than `ignore`; used when no precision
// was accepted.
template <typename ProbIt>
void uniformRow(ProbIt probBegin, std::ptrdiff_t n, int ignore) {
    using T = typename std::iterator_traits<ProbIt>::value_type;
    const bool ignoreInRange = ignore >= 0 && ignore < n;
    const double value = ignoreInRange ? 1.0 / static_cast<double>(n - 1) : 1.0 / static_cast<double>(n);
    for (std::ptrdiff_t j = 0; j < n; ++j) probBegin[j] = (j == ignore) ? T(0) : static_cast<T>(value);
}

// One bisection step on the precision beta: `raise` when the row is too flat.
inline void bisectPrecision(bool raise, double& beta, double& lower, double& upper) {
    if (raise) {
        lower = beta;
        if (upper == DBL_MAX || upper == -DBL_MAX)
            beta *= 2.0;
        else
            beta = (beta + upper) / 2.0;
    } else {
        upper = beta;
        if (lower == -DBL_MAX || lower == DBL_MAX)
            beta /= 2.0;
        else
            beta = (beta + lower) / 2.0;
    }
}
}  // namespace detail

// Searches by bisection the precision beta of exp(-beta * d) whose conditional
// distribution over the row (without the entry `ignore`) has the given
// perplexity, and writes it. Distances are squared distances. Returns
// sqrt(1 / (2 beta)) of the accepted beta; after `maxIterations` without
// acceptance the row becomes uniform (the ignored entry 0) and 0 is returned.
template <typename DistIt, typename ProbIt>
double computeGaussianDistributionWithFixedPerplexity(DistIt distBegin, DistIt distEnd, ProbIt probBegin,
                                                      ProbIt probEnd, double perplexity, int maxIterations,
                                                      double tolerance, int ignore) {
    using T = typename std::iterator_traits<ProbIt>::value_type;
    const std::ptrdiff_t n = detail::checkedRowLength(distBegin, distEnd, probBegin, probEnd);
    const double target = std::log(perplexity);
    double beta = 1.0;
    double lower = -DBL_MAX;
    double upper = DBL_MAX;
    for (int iteration = 0; iteration < maxIterations; ++iteration) {
        double sum = DBL_MIN;  // never divide by zero, also when all entries underflow
        for (std::ptrdiff_t j = 0; j < n; ++j) {
            if (j == ignore) {
                probBegin[j] = T(0);
                continue;
            }
            const double e = std::exp(-beta * static_cast<double>(distBegin[j]));
            probBegin[j] = static_cast<T>(e);
            sum += e;
        }
        double entropy = 0;
        for (std::ptrdiff_t j = 0; j < n; ++j) {
            if (j != ignore) entropy += beta * static_cast<double>(static_cast<T>(distBegin[j]) * probBegin[j]);
        }
        entropy = entropy / sum + std::log(sum);
        const double diff = entropy - target;
        if (tolerance > diff && tolerance > -diff) {
            for (std::ptrdiff_t j = 0; j < n; ++j)
                probBegin[j] = static_cast<T>(static_cast<double>(probBegin[j]) / sum);
            return std::sqrt(1.0 / (2.0 * beta));
        }
        detail::bisectPrecision(diff > 0, beta, lower, upper);
    }
    detail::uniformRow(probBegin, n, ignore);
    return 0;
}

// Same bisection, aiming at a sum of unnormalised weights equal to `weight`.
// On acceptance the row is normalised and the sum returned; otherwise the row
// becomes uniform and 1 is returned.
template <typename DistIt, typename ProbIt>
double computeGaussianDistributionWithFixedWeight(DistIt distBegin, DistIt distEnd, ProbIt probBegin, ProbIt probEnd,
                                                  double weight, int maxIterations, double tolerance, int ignore) {
    using T = typename std::iterator_traits<ProbIt>::value_type;
    const std::ptrdiff_t n = detail::checkedRowLength(distBegin, distEnd, probBegin, probEnd);
    double beta = 1.0;
    double lower = -DBL_MAX;
    double upper = DBL_MAX;
    for (int iteration = 0; iteration < maxIterations; ++iteration) {
        const double sigma = std::sqrt(1.0 / (2.0 * beta));
        double sum = DBL_MIN;
        for (std::ptrdiff_t j = 0; j < n; ++j) {
            if (j == ignore) {
                probBegin[j] = T(0);
                continue;
            }
            const double e = std::exp(-static_cast<double>(distBegin[j]) / (2.0 * sigma * sigma));
            probBegin[j] = static_cast<T>(e);
            sum += e;
        }
        const double diff = sum - weight;
        if (tolerance > diff && tolerance > -diff) {
            for (std::ptrdiff_t j = 0; j < n; ++j)
                probBegin[j] = static_cast<T>(static_cast<double>(probBegin[j]) / sum);
            return sum;
        }
        detail::bisectPrecision(sum > weight, beta, lower, upper);
    }
    detail::uniformRow(probBegin, n, ignore);
    return 1;
}

// exp(-d^2 / (2 sigma^2)) per entry of plain distances, normalised to sum 1.
// Returns the sum before normalisation.
template <typename DistIt, typename ProbIt>
double computeGaussianDistribution(DistIt distBegin, DistIt distEnd, ProbIt probBegin, ProbIt probEnd, double sigma) {
    using T = typename std::iterator_traits<ProbIt>::value_type;
    const std::ptrdiff_t n = detail::checkedRowLength(distBegin, distEnd, probBegin, probEnd);
    double sum = 0;
    for (std::ptrdiff_t j = 0; j < n; ++j) {
        const double d = static_cast<double>(distBegin[j]);
        const double e = std::exp(-d * d / (2.0 * sigma * sigma));
        probBegin[j] = static_cast<T>(e);
        sum += e;
    }
    for (std::ptrdiff_t j = 0; j < n; ++j) probBegin[j] = static_cast<T>(static_cast<double>(probBegin[j]) / sum);
    return sum;
}

// alpha * exp(-d^2 / (2 sigma^2)) per entry of plain distances, not normalised.
// Returns the sum of the written values.
template <typename DistIt, typename ProbIt>
double computeGaussianFunction(DistIt distBegin, DistIt distEnd, ProbIt probBegin, ProbIt probEnd, double sigma,
                               double alpha) {
    using T = typename std::iterator_traits<ProbIt>::value_type;
    const std::ptrdiff_t n = detail::checkedRowLength(distBegin, distEnd, probBegin, probEnd);
    double sum = 0;
    for (std::ptrdiff_t j = 0; j < n; ++j) {
        const double d = static_cast<double>(distBegin[j]);
        const double v = alpha * std::exp(-d * d / (2.0 * sigma * sigma));
        probBegin[j] = static_cast<T>(v);
        sum += static_cast<double>(probBegin[j]);
    }
    return sum;
}

// Share of a unit mass placed on each vertex that is back on it after five
// propagation steps over the rows of a transition matrix (map rows from
// unsigned key to value). Rows that are not stochastic are reported once on
// standard output as "fmc test(<row>): <sum>".
template <typename Matrix, typename Scalar>
void computeHeterogeneity(const Matrix& matrix, std::vector<Scalar>& result) {
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(matrix.size());
    result.resize(matrix.size());
    for (std::ptrdiff_t r = 0; r < n; ++r) {
        Scalar sum = 0;
        for (const auto& entry : matrix[r]) sum += entry.second;
        if (std::fabs(static_cast<double>(sum) - 1.0) > 0.001)
            std::cout << "fmc test(" << r << "): " << sum << std::endl;
    }
#pragma omp parallel for schedule(static)
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        std::vector<Scalar> v(n, Scalar(0));
        std::vector<Scalar> next(n);
        v[i] = static_cast<Scalar>(n);
        for (int step = 0; step < 5; ++step) {
            std::fill(next.begin(), next.end(), Scalar(0));
            for (std::ptrdiff_t j = 0; j < n; ++j) {
                if (v[j] == 0) continue;
                for (const auto& entry : matrix[j]) next[entry.first] += v[j] * entry.second;
            }
            for (auto& x : next)
                if (x < Scalar(1)) x = 0;
            v.swap(next);
        }
        result[i] = v[i] / static_cast<Scalar>(n);
    }
}

}  // namespace utils
}  // namespace vel
