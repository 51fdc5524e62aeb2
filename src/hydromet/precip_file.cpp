#include "hydromet/precip_file.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/tokens.h"
#include "core/value_range.h"
#include "hydromet/hydromet_state.h"

namespace nivra {

namespace {

using namespace precip_read;

// The words of the file, taken across lines from where the last call
// stopped (the record keeps the line being read and its number).
class precip_words {
 public:
  precip_words(guarded_file& f, hydromet_state& hm) : f_(f), hm_(hm) {}

  // The next word; false at the end of the file.
  bool next(std::string& word) {
    for (;;) {
      if (next_token(hm_.precip_line, word)) {
        first_ = fresh_;
        fresh_ = false;
        return true;
      }
      if (!read_line(hm_.precip_line, f_)) {
        hm_.precip_line = std::string_view();
        return false;
      }
      ++hm_.precip_line_no;
      fresh_ = true;
    }
  }
  // True when the last word began its line (a line this call read).
  bool first_on_line() const { return first_; }
  // What is left of the current line; the line is used up.
  std::string rest_of_line() {
    std::string rest(hm_.precip_line.rest());
    hm_.precip_line = std::string_view();
    return rest;
  }
  int line_no() const { return hm_.precip_line_no; }

 private:
  guarded_file& f_;
  hydromet_state& hm_;
  bool fresh_ = false;  // a line was read and none of its words taken
  bool first_ = false;
};

// A card word of the file: its first four letters, in any case.
bool is_card(std::string_view word, const char* four) {
  if (word.size() < 4) return false;
  for (int i = 0; i < 4; ++i)
    if (std::tolower(static_cast<unsigned char>(word[i])) != four[i]) return false;
  return true;
}

std::string trimmed(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

int reported_fault() {
  set_error(own_message_code);
  report_error();
  return no_event;
}

void data_error_head(const hydromet_state& hm) {
  std::printf("\nERROR:\n");
  std::printf("There is a data error in the precipitation file.  This error occurred in the\n");
  std::printf("EVENT titled:\n %s\n", hm.event_title.c_str());
}

void data_error_tail() {
  std::printf("This error in your precipitation input file must be corrected before NIVRA\n");
  std::printf("can continue.  Program exiting on error.\n\n");
}

// A number of a card that is missing, not a number or out of its range.
int bad_value(const hydromet_state& hm, int line_no, const char* what, const std::string& token,
              const char* takes) {
  data_error_head(hm);
  std::printf("Line %d of the file gives %s for %s; it takes %s.\n", line_no,
              token.empty() ? "no value" : ("\"" + token + "\"").c_str(), what, takes);
  data_error_tail();
  return reported_fault();
}

void card_type_error(const char* problem, const char* list) {
  std::printf("\nERROR:\n");
  std::printf("\nThere is a problem in the precipitation input file.\n");
  std::printf("%s", problem);
  std::printf("There may only be one of the following card types per event:\n\n");
  std::printf("%s", list);
  std::printf("Check the precipitation input file.  NIVRA exiting\n");
}

bool is_period_date(const date_entry& d) {
  return d.year >= first_calendar_year && d.year <= last_calendar_year && d.month >= 1 && d.month <= 12 &&
         d.day >= 1 && d.day <= days_in_month(d.year, d.month) && d.hour >= 0 && d.hour <= 24 &&
         d.minute >= 0 && d.minute <= 59;
}

// Strictly earlier, comparing year, month, day, hour and minute in order.
bool is_earlier(const date_entry& a, const date_entry& b) {
  const int x[5] = {a.year, a.month, a.day, a.hour, a.minute};
  const int y[5] = {b.year, b.month, b.day, b.hour, b.minute};
  for (int i = 0; i < 5; ++i)
    if (x[i] != y[i]) return x[i] < y[i];
  return false;
}

date_entry date_of(double jd) {
  const calendar c = calendar_date(jd);
  return date_entry{c.year, c.month, c.day, c.hour, c.minute};
}

// A card word that belongs inside an event: the counts, a gage's
// coordinates or a period line.
bool is_event_line(std::string_view word) {
  for (const char* card : {"nrga", "nrpd", "coor", "gage", "rate", "accu", "rada"})
    if (is_card(word, card)) return true;
  return false;
}

bool is_period_card(std::string_view word) {
  return is_card(word, "rada") || is_card(word, "gage") || is_card(word, "rate") || is_card(word, "accu");
}

// The data kind of a period line's card word; false for any other word.
bool set_kind(hydromet_state& hm, const std::string& word) {
  if (is_card(word, "rada")) hm.radar_rain = 1;
  else if (is_card(word, "gage")) hm.rain_gages = 1;
  else if (is_card(word, "rate")) hm.rain_rates = 1;
  else if (is_card(word, "accu")) hm.rain_accum = 1;
  else return false;
  return true;
}

}  // namespace

int read_precip_file(guarded_file& file, hydromet_state& hm, array1d<date_entry>& dates) {
  hm.radar_rain = hm.rain_gages = hm.rain_rates = hm.rain_accum = 0;
  precip_words words(file, hm);
  std::string word;

  // The EVENT card and the title after it.
  bool found = false;
  for (int n = 0; n < 10000 && !found; ++n) {
    if (!words.next(word)) return no_event;
    // The EVENT card begins its line: a note between events that says
    // "event" is no card.
    found = is_card(word, "even") && words.first_on_line();
    // Words between events are skipped, but not a line of an event: a
    // period line past the count of NRPDS would be lost.
    if (!found && words.first_on_line() && is_event_line(word)) {
      std::printf("\nERROR:\n");
      if (hm.precip_events_read > 0)
        std::printf("Line %d of the precipitation file is a %s line after the %d period lines (NRPDS) of the "
                    "EVENT titled:\n %s\nThe NRPDS card must count every period line of its event.\n",
                    words.line_no(), word.c_str(), hm.precip_periods_read, hm.event_title.c_str());
      else
        std::printf("Line %d of the precipitation file is a %s line before the first EVENT card.\n",
                    words.line_no(), word.c_str());
      data_error_tail();
      return reported_fault();
    }
  }
  if (!found) {
    std::printf("There is a problem with your rainfall input file.  NIVRA cannot\n");
    std::printf("find the first event card.  Check the format of the rainfall input for event %d\n",
                hm.precip_events_read);
    std::printf("file.\n\n");
    return reported_fault();
  }
  ++hm.precip_events_read;
  hm.event_title = trimmed(words.rest_of_line());

  // NRGAG and NRPDS, in either order.
  int gages = 0, periods = 0;
  bool have_gages = false, have_periods = false;
  for (int n = 0; !(have_gages && have_periods); ++n) {
    if (n >= 10000) {
      std::printf("\nThere is a problem with your rainfall input file.  NIVRA cannot\n");
      std::printf("find the NRPDS or NRGAG card for the event entitled:\n");
      std::printf("   %s\n\n", hm.event_title.c_str());
      std::printf("Check the format of the rainfall input file.\n");
      return reported_fault();
    }
    if (!words.next(word)) return unexpected_end;
    if (is_card(word, "nrga")) {
      if (!words.next(word)) return unexpected_end;
      double v = 0.0;
      if (to_lower(word).find("files") != std::string::npos) {
        gages = -1;
      } else if (token_in_range(word, true, from_to(1, precip_max_gages), v)) {
        gages = static_cast<int>(v);
      } else {
        return bad_value(hm, words.line_no(), "the number of gages (NRGAG)", word,
                         "a whole number from 1 to 100000, or FILES for one radar file per line");
      }
      have_gages = true;
    } else if (is_card(word, "nrpd")) {
      if (!words.next(word)) return unexpected_end;
      double v = 0.0;
      if (!token_in_range(word, true, from_to(1, precip_max_periods), v))
        return bad_value(hm, words.line_no(), "the number of period lines (NRPDS)", word,
                         "a whole number from 1 to 99999");
      periods = static_cast<int>(v);
      have_periods = true;
    }
  }
  const int rows = (gages < 1 ? 1 : gages) + 1;
  if (static_cast<long long>(rows) * (periods + 1) > precip_max_values) {
    data_error_head(hm);
    std::printf("Its %d gages on %d period lines make more than %lld values.\n", gages, periods, precip_max_values);
    data_error_tail();
    return reported_fault();
  }
  if (!resize_value_table(hm.gage_values, rows, periods + 1, 0.0)) return reported_fault();

  // One COORD card per gage.
  if (gages < 1) {
    hm.gage_x.alloc(1);
    hm.gage_y.alloc(1);
  } else {
    if (hm.gage_x.size() != gages) hm.gage_x.alloc(gages);
    if (hm.gage_y.size() != gages) hm.gage_y.alloc(gages);
    for (int g = 1; g <= gages; ++g) {
      if (!words.next(word)) return unexpected_end;
      if (!is_card(word, "coor")) {
        std::printf("\nCannot find gage coordinate card in rainfall input file for event entitled:\n");
        std::printf("       %s\n\n", hm.event_title.c_str());
        std::printf("Check rainfall input file format.\n");
        return reported_fault();
      }
      double* xy[2] = {&hm.gage_x[g], &hm.gage_y[g]};
      const char* what[2] = {"the easting of a gage (COORD)", "the northing of a gage (COORD)"};
      for (int i = 0; i < 2; ++i) {
        if (!words.next(word)) return unexpected_end;
        if (!token_in_range(word, false, any_number, *xy[i]))
          return bad_value(hm, words.line_no(), what[i], word, "a number (m)");
      }
      words.rest_of_line();
    }
  }

  // The period lines.
  hm.radar_file_names.assign(gages == -1 ? static_cast<std::size_t>(periods) + 1 : 0, std::string());
  int values_line = 0;  // the line of the last gage value read
  for (int k = 1; k <= periods; ++k) {
    int field[5] = {};
    bool complete = words.next(word);
    const std::string card = word;
    if (complete && is_card(card, "even")) {
      data_error_head(hm);
      std::printf("Its NRPDS card gives %d period lines, but line %d of the file begins the next EVENT after %d of "
                  "them.\nThe NRPDS card must count every period line of its event.\n",
                  periods, words.line_no(), k - 1);
      data_error_tail();
      return reported_fault();
    }
    if (complete && k > 1 && !is_period_card(card) && words.line_no() == values_line) {
      // A value beyond the gages on the line before: it would be read as
      // the card of the next period line.
      data_error_head(hm);
      std::printf("Line %d of the file holds \"%s\" after its date and one value per gage (NRGAG %d); a period "
                  "line holds its card, its date and one value per gage.\n",
                  values_line, card.c_str(), gages);
      data_error_tail();
      return reported_fault();
    }
    if (complete && !is_period_card(card)) {
      card_type_error("At least one precipitation data card type must be specified.\n",
                      "     1) RADAR\n     2) GAGES\n     3) RATES    4) ACCUM\n\n");
      std::printf("Line %d of the file begins with \"%s\" where period line no. %d of the %d (NRPDS) of the EVENT "
                  "titled\n %s\nshould begin.\n",
                  words.line_no(), card.c_str(), k, periods, hm.event_title.c_str());
      return reported_fault();
    }
    for (int i = 0; i < 5 && complete; ++i) {
      complete = words.next(word);
      if (complete && !whole_token_int(word, field[i]))
        return bad_value(hm, words.line_no(), "a date of a period line", word,
                         "whole numbers: year, month, day, hour and minute");
    }
    if (!complete) {
      const date_entry last = k > 1 ? dates[k - 1] : date_entry{};
      std::printf("\n last year %d last month %d last day %d last hour %d last minute %d \n", last.year, last.month,
                  last.day, last.hour, last.minute);
      return unexpected_end;
    }
    set_kind(hm, card);
    if ((hm.radar_rain != 0) + hm.rain_gages + hm.rain_rates + hm.rain_accum > 1) {
      card_type_error("More than one precipitation data card type has been specified.\n",
                      "     1) RADAR\n     2) GAGES\n     3) RATES\n\n");
      return reported_fault();
    }
    date_entry d{field[0] < 100 ? field[0] + 1900 : field[0], field[1], field[2], field[3], field[4]};
    if (!is_period_date(d)) {
      data_error_head(hm);
      std::printf("Line %d of the file (period line no. %d) gives the date %d/%d/%d %d:%2.2d, which is not a date "
                  "of the calendar (hours run from 0 to 24, minutes from 0 to 59).\n",
                  words.line_no(), k, d.year, d.month, d.day, d.hour, d.minute);
      data_error_tail();
      return reported_fault();
    }
    dates[k] = d;
    if (k >= 2 && is_earlier(d, dates[k - 1])) {
      const date_entry& p = dates[k - 1];
      data_error_head(hm);
      std::printf("On line no. %d (line %d of the file), the given time of the recorded data is:    %d/%d/%d "
                  "%d:%2.2d\n",
                  k, words.line_no(), d.year, d.month, d.day, d.hour, d.minute);
      std::printf("Which is earlier than the date/time on the previous line:  %d/%d/%d %d:%2.2d\n", p.year,
                  p.month, p.day, p.hour, p.minute);
      data_error_tail();
      return reported_fault();
    }
    if (k >= 2 && (hm.rain_gages || hm.rain_accum) && period_seconds(dates[k - 1], d) <= 0.0) {
      // A depth cannot fall in no time.
      data_error_head(hm);
      std::printf("On line no. %d (line %d of the file), the time of the recorded data, %d/%d/%d %d:%2.2d, is the "
                  "time of the previous line:\n",
                  k, words.line_no(), d.year, d.month, d.day, d.hour, d.minute);
      std::printf("%s period of no length cannot hold a depth of rain.  Give every line of a GAGES\n",
                  hm.rain_gages ? "a GAGES" : "an ACCUM");
      std::printf("or ACCUM event a later time than the line before it.\n");
      data_error_tail();
      return reported_fault();
    }

    if (gages == -1) {
      if (!hm.radar_rain) {
        data_error_head(hm);
        std::printf("Its NRGAG card says FILES, which takes RADAR lines naming one radar file each; line %d of "
                    "the file is a %s line.\n",
                    words.line_no(), card.c_str());
        data_error_tail();
        return reported_fault();
      }
      const int line_no = words.line_no();
      card_line rest(words.rest_of_line());
      std::string name;
      if (!next_token(rest, name)) {
        data_error_head(hm);
        std::printf("Line %d of the file (period line no. %d) names no radar file.\n", line_no, k);
        data_error_tail();
        return reported_fault();
      }
      std::string more;
      if (next_token(rest, more)) {
        data_error_head(hm);
        std::printf("Line %d of the file (period line no. %d) holds \"%s\" after its radar file; a RADAR line names "
                    "one file.\n",
                    line_no, k, more.c_str());
        data_error_tail();
        return reported_fault();
      }
      hm.radar_file_names[static_cast<std::size_t>(k)] = name;
      continue;
    }
    const int period_line = words.line_no();
    for (int g = 1; g <= gages; ++g) {
      if (!words.next(word)) return unexpected_end;
      double v = 0.0;
      if (words.line_no() != period_line && (is_period_card(word) || is_card(word, "even"))) {
        // The values may go on over the next lines; a word that is no
        // number there is the line after a period line short of values.
        data_error_head(hm);
        std::printf("Line %d of the file (period line no. %d) gives %d value(s) for the %d gages (NRGAG); a period "
                    "line holds one value per gage.\n",
                    period_line, k, g - 1, gages);
        data_error_tail();
        return reported_fault();
      }
      if (!token_in_range(word, false, any_number, v)) {
        const std::string what = "gage " + std::to_string(g) + " of period line no. " + std::to_string(k) + " (" +
                                 card + ")";
        return bad_value(hm, words.line_no(), what.c_str(), word,
                         hm.rain_rates ? "a finite number (mm/h)" : "a finite number (mm)");
      }
      values_line = words.line_no();
      double* row = hm.gage_values[g];
      row[k] = v;
      if (hm.rain_accum && k >= 3 && v < row[k - 1]) {
        data_error_head(hm);
        std::printf("On line no. %d (line %d of the file), the accumulated precip. for gage number %d is: %8.5lf "
                    "mm\n",
                    k, words.line_no(), g, v);
        std::printf("Which is less than the accumulated precip. on the previous line: %8.5lf mm\n", row[k - 1]);
        std::printf("This error in your precipitation input file must be corrected before NIVRA\n");
        std::printf("can continue.  Accumulated precip is CUMULATIVE.  The values should increase\n");
        std::printf("monotonically.  Program exiting on error.\n\n");
        return reported_fault();
      }
    }
  }

  // The last period line holds its date and one value per gage, nothing more.
  const int last_line = words.line_no();
  if (!trimmed(words.rest_of_line()).empty()) {
    data_error_head(hm);
    std::printf("Line %d of the file, its last period line, holds more than %s.\n", last_line,
                gages == -1 ? "the name of one radar file" : "its date and one value per gage (NRGAG)");
    data_error_tail();
    return reported_fault();
  }
  if (gages == -1) {
    hm.radar_rain = 2;
    gages = 1;
  }
  if (hm.rain_rates) {
    // The last rate lasts as long as the interval of the last two lines.
    if (periods < 2) {
      data_error_head(hm);
      std::printf("It is a RATES event of one line: its last rate lasts as long as the interval between its\n");
      std::printf("last two lines, so a RATES event takes two lines at least.\n");
      data_error_tail();
      return reported_fault();
    }
    const double last = julian_of(dates[periods]);
    dates[periods + 1] = date_of(last + (last - julian_of(dates[periods - 1])));
  }
  hm.num_gages = gages;
  hm.num_rain_periods = periods;
  hm.precip_periods_read = periods;
  return event_read;
}

void rewind_precip_file(guarded_file& file, hydromet_state& hm) {
  if (file.fp) std::rewind(file.fp);
  hm.precip_line = std::string_view();
  hm.precip_line_no = 0;
}

bool resize_value_table(jagged_array<double>& table, int rows, int columns, double fill) {
  if (!table.check()) return false;
  if (table.empty()) {
    table.grow_fill(rows, fill, columns);
    return true;
  }
  if (columns > table.row_length()) {
    // Every row is rebuilt wider, keeping its values.
    const int count = table.count(), old = table.row_length();
    std::vector<double> kept(static_cast<std::size_t>(count) * old);
    for (int i = 1; i <= count; ++i)
      for (int j = 1; j <= old; ++j) kept[static_cast<std::size_t>(i - 1) * old + j - 1] = table(i, j);
    table.destroy();
    table.grow_fill(count, fill, columns);
    for (int i = 1; i <= count; ++i)
      for (int j = 1; j <= old; ++j) table(i, j) = kept[static_cast<std::size_t>(i - 1) * old + j - 1];
  }
  if (rows > table.count()) table.grow_fill(rows - table.count(), fill);
  return true;
}

double julian_of(const date_entry& d) { return julian_date(d.year, d.month, d.day, d.hour, d.minute, 0.0); }

double period_seconds(const date_entry& from, const date_entry& to) {
  // Dates are whole minutes: the difference is a whole number of seconds.
  return std::round((julian_of(to) - julian_of(from)) * 86400.0);
}

bool precip_to_intensities(hydromet_state& hm, const array1d<date_entry>& dates, int event_number) {
  const bool radar = hm.radar_rain == 1;
  const bool depths = hm.rain_gages || hm.rain_accum;
  if (!radar && !depths) return true;
  for (int p = 1; p <= hm.num_rain_periods - 1; ++p) {
    const double seconds = depths ? period_seconds(dates[p], dates[p + 1]) : 0.0;
    if (depths) hm.rain_period_hours = seconds / 3600.0;
    if (!radar && seconds > 86400.0) {
      const date_entry& a = dates[p];
      const date_entry& b = dates[p + 1];
      std::printf("Warning: period line no. %d of event %d of the precipitation file (%d/%d/%d %d:%2.2d) ends a "
                  "period of %.2f days from the line before (%d/%d/%d %d:%2.2d); its depths fall evenly over "
                  "it.\n",
                  p + 1, event_number, b.year, b.month, b.day, b.hour, b.minute, seconds / 86400.0, a.year, a.month,
                  a.day, a.hour, a.minute);
    }
    for (int g = 1; g <= hm.num_gages; ++g) {
      double* v = hm.gage_values[g];
      if (radar) {
        v[p] = v[p + 1];
      } else {
        v[p] = hm.rain_gages ? v[p + 1] / hm.rain_period_hours : (v[p + 1] - v[p]) / hm.rain_period_hours;
      }
      if (v[p] < -1e-16) {
        std::printf("You have a negative precip value for gage %d, rain period %d\n", g, p);
        std::printf("Check your rainfall inputs for event %d \n", event_number);
        set_error(own_message_code);
        report_error();
        return false;
      }
    }
  }
  return true;
}

int check_gage_hmet_dates(const hour_date& s, const hour_date& e, const hour_date& r) {
  const char* dates_end = "Program terminating.  Check your dates.\n";
  const char* times_end = "Program terminating.  Check your times and dates.\n";
  if (r.year < s.year) {
    std::printf("\nRaingage Data starts in %d, hydromet data doesn't start until %d.\n", r.year, s.year);
    std::printf("%s", dates_end);
    return 0;
  }
  if (r.year > e.year) {
    std::printf("\nRaingage Data starts in %d, hydromet data ends in %d.\n", r.year, e.year);
    std::printf("%s", dates_end);
    return 0;
  }
  // Within the first year of the weather data: not before its start.
  if (r.year == s.year) {
    if (r.month < s.month) {
      std::printf("\nRaingage Data starts in month %d of %d while hmet data starts in\n", r.month, r.year);
      std::printf("month %d of %d\n", s.month, s.year);
      std::printf("%s", dates_end);
      return 0;
    }
    if (r.month == s.month && r.day < s.day) {
      std::printf("\nRaingage data starts on day %d of month %d in year %d\n", r.day, r.month, r.year);
      std::printf("while the hmet data begins on day %d of month %d in year %d\n", s.day, s.month, s.year);
      std::printf("%s", dates_end);
      return 0;
    }
    if (r.month == s.month && r.day == s.day && r.hour < s.hour) {
      std::printf("\nRaingage data starts on hour %d day %d month %d in year %d\n", r.hour, r.day, r.month, r.year);
      std::printf("while the hmet data begins on hour %d day %d of month %d in year %d\n", s.hour, s.day, s.month,
                  s.year);
      std::printf("%s", times_end);
      return 0;
    }
  }
  // Within the last year of the weather data: not after its end.
  if (r.year == e.year) {
    if (r.month > e.month) {
      std::printf("\nRaingage Data starts in month %d of %d while hmet data ends in\n", r.month, r.year);
      std::printf("month %d of %d\n", e.month, e.year);
      std::printf("%s", dates_end);
      return 0;
    }
    if (r.month == e.month && r.day > e.day) {
      std::printf("\nRaingage data starts on day %d of month %d in year %d\n", r.day, r.month, r.year);
      std::printf("while the hmet data ends on day %d of month %d in year %d\n", e.day, e.month, e.year);
      std::printf("%s", dates_end);
      return 0;
    }
    if (r.month == e.month && r.day == e.day && r.hour > e.hour) {
      std::printf("\nRaingage data starts on hour %d day %d month %d in year %d\n", r.hour, r.day, r.month, r.year);
      std::printf("while the hmet data ends on hour %d day %d of month %d in year %d\n", e.hour, e.day, e.month,
                  e.year);
      std::printf("%s", times_end);
      return 0;
    }
  }
  return 1;
}

}  // namespace nivra
