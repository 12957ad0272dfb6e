// The text report and the tie points' CSV of `orient` (its JSON document is
// pair_run/json_report.h), each a function of the result and the run information alone, so
// that the same run always gives the same bytes whatever the thread count.
//
// Units: the result holds angles in radians; every output shows degrees. The base is
// (1, by, bz), bx = 1 setting the scale.
#pragma once

#include <string>

#include "pair_run/run_info.h"
#include "robust_orientation/result.h"

namespace orient {

// The text report for standard output. For an outcome other than `oriented` its first
// line is "no reliable orientation: <reason>", followed by what was found.
std::string TextReport(const ro::OrientationResult& result, const pair_run::RunInfo& run);

// One CSV row per tie point after a header line; fields that are not finite are empty.
std::string PointsCsv(const ro::OrientationResult& result);

// The header line of PointsCsv, without its line end.
inline constexpr char kPointsCsvHeader[] =
    "match,row1,col1,row2,col2,x1_um,y1_um,x2_um,y2_um,ratio,status,sampson_px,"
    "y_parallax_px,w,redundancy,mdb_px";

}  // namespace orient
