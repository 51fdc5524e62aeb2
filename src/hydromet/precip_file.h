// The precipitation event file: one or more storm events, each with a title,
// its gages and their coordinates, and a dated sequence of period lines
// holding one value per gage (or naming one radar grid file per line):
//
//   EVENT <title>
//   NRGAG <gages, or FILES>   NRPDS <period lines>
//   COORD <easting> <northing> <description>      (one per gage)
//   GAGES|ACCUM|RATES|RADAR <year> <month> <day> <hour> <minute> <values or file name>
//
// GAGES gives the depth (mm) fallen since the line before, ACCUM the
// depth accumulated since any origin, RADAR the rate (mm/h) over the
// interval that ends at the line, RATES the rate from the line on. Card
// words are matched on their first four letters in any case; EVENT and the
// period lines begin their lines. Words between the cards are skipped, but
// not a line of an event outside the counts of its NRGAG and NRPDS; the
// last period line holds nothing after its values. Lines pass through
// bracket-key replacement.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "run/clock_state.h"

namespace nivra {

class guarded_file;
struct hydromet_state;

// What read_precip_file found.
namespace precip_read {
inline constexpr int event_read = 1;
inline constexpr int no_event = 0;        // no further event, or a fault was reported
inline constexpr int unexpected_end = -1; // the file ended inside an event, or a gage value is not a number
}  // namespace precip_read

// The most gages and period lines of one event, and the most values.
inline constexpr int precip_max_gages = 100000;
inline constexpr int precip_max_periods = date_table_capacity - 1;  // a RATES event adds a period
inline constexpr long long precip_max_values = 50000000;

// Reads the next event of the file from where the last call stopped into
// the record's event fields (num_gages, num_rain_periods, the data kind,
// gage_x and gage_y, gage_values, radar_file_names, event_title) and the
// period dates. A RATES event's last period ends one interval (that of its
// last two lines) after its last line: its end goes to dates[periods + 1].
// Format faults are printed, reported (code 4000) and give no_event; the
// end of the file inside an event and unreadable gage values give
// unexpected_end for the caller to report.
int read_precip_file(guarded_file& file, hydromet_state& hm, array1d<date_entry>& dates);

// Back to the start of the file, for the first event.
void rewind_precip_file(guarded_file& file, hydromet_state& hm);

// Grows the table to at least rows x columns (it never shrinks), keeping
// its values and filling new entries. False when the table is damaged.
bool resize_value_table(jagged_array<double>& table, int rows, int columns, double fill);

// The Julian day of a period date, and the length of the period between
// two dates (s).
double julian_of(const date_entry& d);
double period_seconds(const date_entry& from, const date_entry& to);

// Turns the event's values into intensities (mm/h) per period: each RADAR
// period takes the value recorded at its end, a GAGES period the depth at
// its end spread over it, an ACCUM period the difference of the cumulative
// depths; RATES values are used as read. A period over 24 hours is warned
// of. False after the report of a negative intensity (event_number names
// the event).
bool precip_to_intensities(hydromet_state& hm, const array1d<date_entry>& dates, int event_number);

// A date of the weather data (year, month, day, hour).
struct hour_date {
  int year = 0, month = 0, day = 0, hour = 0;
};

// 1 when the rain's start lies within the weather data from start to end,
// else 0 after printing why.
int check_gage_hmet_dates(const hour_date& start, const hour_date& end, const hour_date& rain);

}  // namespace nivra
