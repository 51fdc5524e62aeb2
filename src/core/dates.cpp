#include "core/dates.h"

#include <cstdio>

#include "core/process.h"

namespace nivra {

// Julian day number of a Gregorian date by the integer method of Algorithm
// 199 (Comm. ACM), all divisions truncating, plus the time of day.
double julian_date(int year, int month, int day, int hour, int minute, double seconds) {
  double s = minute * 60.0 + hour * 3600.0 + seconds;
  // In long arithmetic: the year before the least int is still a number.
  long y, m;
  if (month <= 2) {
    y = static_cast<long>(year) - 1;
    m = static_cast<long>(month) + 9;
  } else {
    y = year;
    m = static_cast<long>(month) - 3;
  }
  long c = y / 100;
  long ya = y - 100 * c;
  long j = (146097L * c) / 4 + (153L * m + 2) / 5 + day + (1461L * ya) / 4 + 1721119L;
  if (s < 43200.0) return static_cast<double>(j) - 1.0 + (s + 43200.0) / 86400.0;
  return static_cast<double>(j) + (s - 43200.0) / 86400.0;
}

void calendar_date(double jd, int& year, int& month, int& day, int& hour, int& minute,
                   double& seconds) {
  // A time that is no date (not finite, or beyond the years an int holds)
  // gives the zero date rather than an integer overflow.
  if (!(jd > -7.0e11 && jd < 7.0e11)) {
    year = month = day = hour = minute = 0;
    seconds = 0.0;
    process.week_day = 0;
    return;
  }
  double t = jd + 1.1574074074074074e-7;
  long j = static_cast<long>(t);
  double f = t - static_cast<double>(j);
  if (f >= 0.5) {
    j += 1;
    f -= 0.5;
  } else {
    f += 0.5;
  }
  process.week_day = static_cast<int>((j + 1) % 7);
  long k = 4 * (j - 1721119L);
  long c = (k - 1) / 146097L;
  long d = (k - 1 - 146097L * c) / 4;
  long y = (4 * d + 3) / 1461;
  d = (4 * d + 7 - 1461 * y) / 4;
  long m = (5 * d - 3) / 153;
  day = static_cast<int>((5 * d + 2 - 153 * m) / 5);
  year = static_cast<int>(100 * c + y);
  if (m >= 10) {
    month = static_cast<int>(m - 9);
    year += 1;
  } else {
    month = static_cast<int>(m + 3);
  }
  double s = f * 86400.0;
  hour = static_cast<int>(s / 3600.0);
  s -= 3600.0 * hour;
  minute = static_cast<int>(s / 60.0);
  seconds = s - 60.0 * minute;
}

int days_in_month(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

bool is_calendar_date(int year, int month, int day, int hour, int minute) {
  return year >= first_calendar_year && year <= last_calendar_year && month >= 1 && month <= 12 &&
         day >= 1 && day <= days_in_month(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
         minute <= 59;
}

calendar calendar_date(double jd) {
  calendar c;
  calendar_date(jd, c.year, c.month, c.day, c.hour, c.minute, c.second);
  return c;
}

void clamp_between_bounds(int n, const double* upper_table, double* out, const double* lower_table,
                          const int* index, const double* upper_item, const double* lower_item,
                          int per_item, double default_value) {
  for (int i = 1; i <= n; ++i) {
    double lo, hi;
    if (per_item == 1) {
      lo = lower_item[i];
      hi = upper_item[i];
    } else {
      lo = lower_table[index[i]];
      hi = upper_table[index[i]];
    }
    double v = default_value;
    if (lo > v) v = lo + 0.01;
    if (v > hi) v = hi - 0.01;
    out[i] = v;
  }
}

void gather_from_index_table(int k, int single_row, const int* index,
                             const jagged_array<double>& table, double* out, int n) {
  for (int i = 1; i <= n; ++i) {
    int r = single_row == 1 ? 1 : index[i];
    const double* row = table.row(r);
    // A row outside the table has no value to give: the cell gets 0.
    out[i] = (row && k >= 0 && k <= table.row_length()) ? row[k] : 0.0;
  }
}

void tridiag_solve(int n, const double* upper, double* main, const double* lower, double* rhs) {
  for (int i = 2; i <= n; ++i) {
    double factor = lower[i] / main[i - 1];
    main[i] -= factor * upper[i - 1];
    rhs[i] -= factor * rhs[i - 1];
  }
  rhs[n] /= main[n];
  for (int i = n - 1; i >= 1; --i) rhs[i] = (rhs[i] - upper[i] * rhs[i + 1]) / main[i];
}

bool locate_cells(const array2d<int>& mask, int rows, int cols, const int* row_list,
                  const int* col_list, int* cell_list, int k) {
  int r0 = row_list[k], c0 = col_list[k];
  if (r0 < 1 || r0 > rows || c0 < 1 || c0 > cols) return false;
  int count = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      if (mask(r, c) == 0) continue;
      ++count;
      if (r == r0 && c == c0) {
        cell_list[k] = count;
        std::printf("cell location %d: row %d, column %d is cell %d\n", k, r, c, count);
        return true;
      }
    }
  return false;
}

}  // namespace nivra
