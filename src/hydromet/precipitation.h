// Services of the weather readers that the time loop calls: the weather
// records of long-term runs and the elevation bands. Each works on the
// run's record. The precipitation file, the gages, the radar grids and the
// canopy have their own headers (precip_file.h, gage_rain.h, radar.h,
// interception.h).
#pragma once

namespace nivra {

struct model_state;

// Reads the next weather record of a long-term run; -1 when none is left.
int read_hmet(model_state& ms);

// Elevation bands of the cells and the surface normals of the radiation model.
void elev_band_assign(model_state& ms);
void slope_normals(model_state& ms);

}  // namespace nivra
