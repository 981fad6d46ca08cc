#include "analysis/fc/MCV_MixedTransitionMatrix.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"

void MCV_MixedTransitionMatrix::buildMixedTransitionMatrix(int, MCV_FCTree*, MCV_DerivedDataHierarchy*, SparseMatrix*,
                                                           PointNodes*) {}
void MCV_MixedTransitionMatrix::buildMixedTransitionMatrixStandard(MCV_FCTree*, SparseMatrix*, PointNodes*) {}
void MCV_MixedTransitionMatrix::buildMixedTransitionMatrixPruneDeepest(MCV_FCTree*, MCV_DerivedDataHierarchy*,
                                                                       SparseMatrix*, PointNodes*) {}
void MCV_MixedTransitionMatrix::buildMixedTransitionMatrixPruneDeepestOverwriteContext(MCV_FCTree*,
                                                                                       MCV_DerivedDataHierarchy*,
                                                                                       SparseMatrix*, PointNodes*) {}
void MCV_MixedTransitionMatrix::buildMixedTransitionMatrixPushDown(MCV_FCTree*, MCV_DerivedDataHierarchy*,
                                                                   SparseMatrix*, PointNodes*) {}
void MCV_MixedTransitionMatrix::appendSparseTransitionMatrix(SparseMatrix*, const SparseMatrix*) {}
