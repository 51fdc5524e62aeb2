// The hourly weather files of a long-term run, one hour per record, in time
// order without gaps:
//
//  - the plain hourly table (HMET_GUV): per line year, month, day, hour
//    (0..23), air pressure (inches of mercury), relative humidity (%), sky
//    cover (tenths), wind speed (knots), air temperature (F), direct and
//    global radiation (W/m2); 999 (radiation above 9999.9) marks a missing
//    value;
//  - SAMSON records (HMET_SAMSON): fixed columns, hours 1..24 (24 is hour 0
//    of the next day), lines beginning with '~' are the station header;
//  - Surface Airways records (HMET_SURFAWAYS): one line per element and day,
//    the element code in columns 12-15, the date in 18-21, 22-23 and 26-27,
//    the number of values in 28-30, then per value a group of 12 columns:
//    the time as HHMM (hour 24 is hour 0 of the next day), the value as a
//    signed integer of six columns and two flag columns;
//  - gridded weather (HMET_ASCII, HMET_ASCII_PET): a list of base names, one
//    per hour, each ending in its date yyyymmddhh; the hour's eight ASCII
//    grids are base + "_Clod.asc" (cloud cover, tenths), "_Prcp.asc"
//    (precipitation, mm/h), "_Pres.asc" (mb), "_RlHm.asc" (%), "_Temp.asc"
//    (deg C), "_Drad.asc" and "_Grad.asc" (W/m2) and "_WndS.asc" (m/s);
//  - the orographic file (HMET_OROG_GAGES): a title line of two words, a line
//    "<word> <elevation of the weather gage> <word> <elevation of the second
//    gage>" (m), a line of five column names, then per hour year, month, day,
//    hour and the temperature at the second gage (deg C, below -998 missing).
//
// The whole file is read and checked when the run is set up; the time loop
// then takes one record per hour. Every value is delivered in model units:
// pressure mb, relative humidity %, cloud cover tenths, wind m/s,
// temperature deg C, radiation W/m2.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/arrays.h"

namespace nivra {

class guarded_file;
struct grid_state;

// The kind of weather file.
namespace weather_format {
inline constexpr int none = 0;
inline constexpr int guv = 1;
inline constexpr int samson = 2;
inline constexpr int surface_airways = 3;
inline constexpr int gridded = 4;
}  // namespace weather_format

// The date of a weather hour.
struct weather_hour {
  int year = 0, month = 0, day = 0, hour = 0;
};
// Its Julian day.
double weather_julian(const weather_hour& h);
// The hour after (or 24 hours rolled into the next day).
weather_hour next_weather_hour(weather_hour h);

// The values of one hour at the weather gage. A missing value is NaN until
// the repairs replace it.
struct weather_values {
  weather_hour date;
  double pressure = 0.0;      // mb
  double rel_humidity = 0.0;  // %
  double cloud_cover = 0.0;   // tenths
  double wind_speed = 0.0;    // m/s
  double temperature = 0.0;   // deg C
  double direct_rad = 0.0;    // W/m2 on level ground; radiation_not_measured: not measured
  double global_rad = 0.0;    // W/m2: the sky's radiation as diffuse_of_global leaves it
};

// A radiation of this or more was not measured: a direct beam the shortwave
// then models from the sun and the cloud cover, or a global radiation the
// file does not give (Surface Airways records without GR lines).
inline constexpr double radiation_not_measured = 9999.0;

// The sky's radiation of a record that gives the global radiation (the
// station table, Surface Airways records, the gridded weather), as the
// shortwave takes it (split_sky_radiation): under a measured beam the
// diffuse part, the global less the beam (none below 0; none when the
// global was not measured); under a beam not measured the global radiation
// whole (or radiation_not_measured). SAMSON records give the diffuse
// radiation itself and a measured beam in every hour.
double diffuse_of_global(double global, double direct);

// The radiation of the sky on level ground, W/m2.
struct sky_radiation {
  double diffuse = 0.0;
  double beam = 0.0;
};
// The record's sky radiation (as diffuse_of_global leaves it) and direct
// radiation split into the diffuse sky and the direct beam on level ground,
// with modelled_beam the beam on level ground that the sun's model gives
// under the hour's cloud. A measured beam is taken as it is; a beam not
// measured is the modelled one, within the measured global radiation, and
// the diffuse sky is the rest of the global: so the two add up to the
// measured global radiation and nothing is counted twice. Without a
// measured global radiation (9999, or 0 under a beam not measured) the
// diffuse sky is 0 and the beam the modelled one.
sky_radiation split_sky_radiation(double sky, double direct, double modelled_beam);

// The repair of missing values: relative humidity, temperature and the two
// radiation values take the last valid value of the same hour of the day
// (else the last valid value of any hour), pressure, cloud cover and wind the
// last valid value. Every replacement is counted.
class weather_repairs {
 public:
  weather_repairs();
  // Repairs v in place; false when a value is missing before any valid value
  // of its quantity was seen (quantity then names it).
  bool repair(weather_values& v, int& repaired, const char*& quantity);

 private:
  static constexpr int hourly = 4;  // humidity, temperature, direct, global
  std::array<std::array<double, 24>, hourly> by_hour_;
  std::array<double, 7> last_;
};

// The per-cell arrays the gridded weather fills (1-based by cell).
struct gridded_cells {
  array1d<double>* cloud_cover = nullptr;
  array1d<double>* precipitation = nullptr;
  array1d<double>* pressure = nullptr;
  array1d<double>* rel_humidity = nullptr;
  array1d<double>* temperature = nullptr;
  array1d<double>* direct_rad = nullptr;
  array1d<double>* global_rad = nullptr;  // the sky's radiation of the global grid (diffuse_of_global)
  array1d<double>* wind_speed = nullptr;
};

// The weather file of a run: read and checked whole at set-up, then served
// one hour at a time.
class weather_reader {
 public:
  // Reads and checks the whole file of the given format (the grid places the
  // cells on gridded weather). False after the fault was printed and reported.
  // header receives the station header of a SAMSON file.
  bool load(int format, guarded_file& file, std::string_view file_name, const grid_state& grid, bool quiet,
            std::string& header);
  // Reads and checks the orographic file; its records must carry the dates
  // of the weather records. False after the fault was reported.
  bool load_orographic(guarded_file& file, std::string_view file_name);

  int records() const { return static_cast<int>(values_.size()); }
  weather_hour first() const { return values_.empty() ? weather_hour{} : values_.front().date; }
  weather_hour last() const { return values_.empty() ? weather_hour{} : values_.back().date; }
  bool orographic() const { return !orographic_.empty(); }
  double base_gage_elevation() const { return orog_elev_[0]; }
  double second_gage_elevation() const { return orog_elev_[1]; }

  // The next hour: 1 read (its values repaired, the gridded cells filled),
  // 0 no hour left, -1 a fault was printed and reported.
  int next(weather_values& out, int& repaired, const gridded_cells* cells);
  // Temperature at the second gage of the hour last read; NaN when missing.
  double second_gage_temperature() const;

 private:
  bool load_guv(guarded_file& file, std::string_view name);
  bool load_samson(guarded_file& file, std::string_view name, std::string& header);
  bool load_surface_airways(guarded_file& file, std::string_view name, bool quiet);
  bool load_gridded_list(guarded_file& file, std::string_view name);
  bool place_cells_on_grid(const grid_state& grid);
  bool read_gridded_hour(int k, weather_values& out, const gridded_cells& cells);

  int format_ = weather_format::none;
  std::string file_name_;
  std::vector<weather_values> values_;
  std::vector<int> lines_;             // the line of each hour in the file
  std::vector<std::string> bases_;     // gridded: the base name of each hour
  std::vector<double> orographic_;     // the second gage's temperature per hour
  std::array<double, 2> orog_elev_{};  // the two gages of the orographic file
  std::string orog_file_name_;
  int next_ = 0;
  weather_repairs repairs_;
  // Gridded weather: the common grid of the eight files, the value each cell
  // takes, and the values of one grid.
  int g_cols_ = 0, g_rows_ = 0;
  double g_x_ = 0.0, g_y_ = 0.0, g_size_ = 0.0;
  std::vector<int> cell_value_;        // 1-based by cell: index into grid_values_
  std::vector<double> grid_values_;
  std::string text_;                   // a grid file read whole
};

}  // namespace nivra
