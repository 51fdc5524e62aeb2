// Julian dates and a few small numeric routines. Model time is the
// astronomical Julian date in days (days begin at noon): 2451545.0 is noon
// of 1 January 2000.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"

namespace nivra {

double julian_date(int year, int month, int day, int hour, int minute, double seconds);

// The years a date of an input may name.
inline constexpr int first_calendar_year = 1;
inline constexpr int last_calendar_year = 9999;

// Days of a month of the Gregorian calendar (0 for a month outside 1..12).
int days_in_month(int year, int month);

// True for a date and time of the Gregorian calendar: a year from 1 to
// 9,999, a month 1..12, a day of that month, hour 0..23 and minute 0..59.
bool is_calendar_date(int year, int month, int day, int hour, int minute);

struct calendar {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double second = 0.0;
};

// The inverse of julian_date (0.01 s is added so that a time a hair below
// a whole second prints as that second); also sets the process-wide week day.
// A time that is not finite or lies beyond the years an int holds gives all
// zeros.
void calendar_date(double jd, int& year, int& month, int& day, int& hour, int& minute,
                   double& seconds);
calendar calendar_date(double jd);

// Places defaults strictly inside their bounds: for item i the bounds come
// from the tables at index[i], or from the per-item arrays when per_item is 1.
void clamp_between_bounds(int n, const double* upper_table, double* out, const double* lower_table,
                          const int* index, const double* upper_item, const double* lower_item,
                          int per_item, double default_value);

// out[i] = element k of row index[i] of the table (row 1 for all when single_row).
void gather_from_index_table(int k, int single_row, const int* index,
                             const jagged_array<double>& table, double* out, int n);

// Thomas algorithm on rows 1..n; the solution replaces rhs, main is overwritten.
void tridiag_solve(int n, const double* upper, double* main, const double* lower, double* rhs);

// Finds the cell number of location k (row_list[k], col_list[k]) by counting
// the active cells of the mask in row-major order; prints "cell location k: row r, column c is cell n".
// Returns false when the location is outside the grid or the watershed.
bool locate_cells(const array2d<int>& mask, int rows, int cols, const int* row_list,
                  const int* col_list, int* cell_list, int k);

}  // namespace nivra
