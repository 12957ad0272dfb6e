// The stored pairs as text for other programs: JSON lines (one pair's `orient --json`
// document on one line each) and CSV (one row of figures per pair). Columns and fields are
// documented in docs/block-database.md.
#pragma once

#include <string>
#include <vector>

#include "block/store.h"

namespace block {

// One JSON object per pair and line: {"pair": {"photo1": NAME, "photo2": NAME}, then the
// fields of the pair's stored report in their order}. A report that cannot be read gives
// the pair and its outcome code only.
std::string PairsJsonLines(const std::vector<Photograph>& photographs,
                           const std::vector<StoredPair>& pairs);

// A header line (kPairsCsvHeader) and one row per pair; figures that are not defined
// (not finite, or no adjusted orientation) are empty, warnings are separated by spaces,
// names are quoted when they hold a comma, a quote or a line end.
std::string PairsCsv(const std::vector<Photograph>& photographs,
                     const std::vector<StoredPair>& pairs);

inline constexpr char kPairsCsvHeader[] =
    "photo1,photo2,outcome,matches,inliers,snooped,by,by_sigma,bz,bz_sigma,omega_deg,"
    "omega_sigma_deg,phi_deg,phi_sigma_deg,kappa_deg,kappa_sigma_deg,base_x,base_y,base_z,"
    "base_x_sigma,base_y_sigma,base_z_sigma,sigma0_px,chi2_ratio,chi2_accepted,warnings,"
    "seconds";

}  // namespace block
