#pragma once
// Codes of the kNN back ends and metrics, stored as int32 in parameter records.

namespace vel {
namespace utils {

// Any other value is not a back end.
enum knn_library { KNN_FLANN = -1, KNN_HNSW = 0, KNN_ANNOY = 1 };

// Other values mean Euclidean. FLANN always uses squared L2; hnswlib uses its
// inner-product space for KNN_METRIC_INNER_PRODUCT and L2 otherwise; Annoy has
// Angular, Manhattan and DotProduct for the codes 1, 3 and 5 and Euclidean
// otherwise.
enum knn_distance_metric {
    KNN_METRIC_EUCLIDEAN = 0,
    KNN_METRIC_COSINE = 1,
    KNN_METRIC_INNER_PRODUCT = 2,
    KNN_METRIC_MANHATTAN = 3,
    KNN_METRIC_DOT = 5
};

}  // namespace utils
}  // namespace vel
