// The hourly weather of a long-term run as the run sees it: the set-up of
// the weather file, the albedo map, the elevation bands and the surface
// normals, the weather step that gives every cell its weather each hour,
// and the hourly output line.
#pragma once

namespace nivra {

struct model_state;

// Set-up (hmet_record_count 1): reads and checks the weather file and its
// orographic file and keeps the dates of the first and last records; then
// the next hour's record into the record's weather fields. -1 when no
// record is left or after a fault was reported.
int read_hmet(model_state& ms);

// The elevation band of every cell, and the unit surface normals of the
// radiation model (from the centred slopes, which it makes).
void elev_band_assign(model_state& ms);
void slope_normals(model_state& ms);
// The centred slopes of every cell (made by slope_normals, their reader).
void compute_centred_slopes(model_state& ms);

// The weather step: when the weather clock is due, the next record (after
// skipping the records before START_DATE), the cells' weather, the gage
// record, the sun, the terrain shading and the elevation-band driver. At the
// end of the weather data the clocks of the weather wait out the last
// event, or the run ends.
void update_hydromet(model_state& ms);

// Once an hour: the cells' soil and infiltration averages on the console
// and in the evaporation output file.
void longterm_hourly_output(model_state& ms);

// Specific humidity (kg/kg) of air at pressure P (mb), temperature T (deg C)
// and relative humidity RH (%).
double specific_humidity(double P, double T, double RH);

}  // namespace nivra
