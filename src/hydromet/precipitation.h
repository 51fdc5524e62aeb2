// Services of the precipitation and weather readers that the time loop
// calls: the event reader of the precipitation file, the radar grids, the
// spreading of gage values over the cells, canopy interception, the weather
// records of long-term runs and the elevation bands. Each works on the
// run's record.
#pragma once

#include <string>

namespace nivra {

struct model_state;

// Reads the next event of the open precipitation file into the record
// (num_gages, num_rain_periods, the data kind, gage positions and values,
// the period dates, the radar file names). 1 an event was read, 0 no
// further event (or an error was reported), -1 the file ended unexpectedly.
int read_precip_file(model_state& ms);

// The grid header of the radar files of the event; one radar grid moved
// onto the cells' intensities, with its peak reported.
void read_radar_header(model_state& ms, const std::string& file_name);
void read_radar_precip(model_state& ms, const std::string& file_name);
void report_peak_rainfall(model_state& ms);

// rain_depth of every cell for a period by inverse-distance weighting of
// the gages; the nearest gage of every cell.
void gage_to_grid_precip(model_state& ms, int period);
void find_neighbor(model_state& ms);

// Nonzero when the event's start lies within the weather data.
int check_gage_hmet_dates(model_state& ms);

// Fills ri_eff from rain_depth for a step of dt seconds, keeping the
// intercepted volume in total_interception.
void canopy_interception(model_state& ms, double dt);

// Reads the next weather record of a long-term run; -1 when none is left.
int read_hmet(model_state& ms);

// Elevation bands of the cells and the surface normals of the radiation model.
void elev_band_assign(model_state& ms);
void slope_normals(model_state& ms);

}  // namespace nivra
