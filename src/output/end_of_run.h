// The files that carry the watershed's state beyond the run: bed
// elevations, the optimisation line, the flood maps, dataset end cards,
// channel state and hotstart files, groundwater hotstart, adjusted
// elevations, the saturated-source map, the PAV hydrograph file, the
// overland and soil-moisture hotstart maps and the snow-temperature
// dataset's end card.
#pragma once

namespace nivra {

struct model_state;

// "new_bed_elevations.txt" after channel sediment transport. False (after
// its message) when the file cannot be opened; the caller reports error
// 4000 once the summary text is complete.
bool write_bed_elevations(model_state& ms);

// Everything after the summary text, in order. A groundwater hotstart,
// adjusted elevation or saturated-source map that cannot be written stops
// the rest with error 4000 (reported); a hotstart map that cannot be
// opened is skipped.
void write_end_of_run_files(model_state& ms);

}  // namespace nivra
