// The pair matrix of a block as an SVG picture: the photographs along both axes (in the
// order given), each stored pair a cell in the row of its first and the column of its
// second photograph, coloured by outcome and shaded by inlier count (more inliers darker),
// a mark on pairs with warnings, a legend and a title with the counts. Readable from a
// handful of photographs to several hundred: the cells shrink and the labels are thinned.
#pragma once

#include <string>
#include <vector>

#include "block/store.h"

namespace block {

std::string PairMatrixSvg(const std::vector<Photograph>& photographs,
                          const std::vector<StoredPair>& pairs);

// The fill of an outcome at full strength (no inliers: the colour mixed with white).
const char* OutcomeColour(const std::string& outcome);

}  // namespace block
