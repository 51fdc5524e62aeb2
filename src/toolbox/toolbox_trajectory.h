// The trajectory repulsion search (-t): random samples scored by one model
// run each, then local searches one after another, each from the
// well-ranked sample that lies farthest from the points earlier searches
// visited, each ended as soon as its path comes near a point visited
// before it began.
#pragma once

#include <vector>

#include "toolbox/toolbox_control.h"
#include "toolbox/toolbox_global.h"

namespace nivra {

// The start of the next local search among the first `candidates` samples
// of rank (sample numbers, best first) that are not used yet (used is
// indexed by sample number): with no point stored, the first of them;
// otherwise the one with the largest bounded_distance_sq to any one stored
// point, the first in rank order on ties, or the first of them when none
// lies at a positive distance. 0 when every candidate has been used.
int tr_choose_start(const pest_control& pc, const std::vector<int>& rank, int candidates,
                    const std::vector<bool>& used, const point_store& samples, const point_store& points);

}  // namespace nivra
