// The project file reader: the header check, the reset of the sub-records
// and their defaults, and one action per card kind of the card table.
#include "model/project.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/elevation_series.h"
#include "core/errors.h"
#include "core/platform.h"
#include "core/process.h"
#include "core/replace.h"
#include "core/time_series.h"
#include "core/tokens.h"
#include "hydromet/hydromet_state.h"
#include "surface/overland_state.h"
#include "model/card_table.h"

namespace nivra {

namespace {

std::string upper_word(std::string_view word) {
  std::string s(word);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

template <std::size_t N>
void store_text_into(fixed_text<N>& field, std::string_view word, const std::string& value) {
  if (field.assign(value)) return;
  // A value cut to the field would name another file: refuse it instead.
  std::printf("Warning: the value of the %s card is longer than %zu characters and was not used.\n",
              upper_word(word).c_str(), N - 1);
  field.clear();
}

std::string lower_prefix(const std::string& token, std::size_t n) {
  return to_lower(std::string_view(token).substr(0, n));
}

// Stops the run after the reader printed its own message; false, so that
// the reading ends there.
bool stop_reading() {
  set_error(own_message_code);
  report_error();
  return false;
}

// A card that needs a reader this version does not have: say so, naming
// its line, and stop.
bool card_not_available(const card_entry& e, int line_no) {
  report_card_not_available(upper_word(e.word), line_no);
  return false;
}

// A value the card cannot take: names the card, what it holds and what it
// takes, and stops.
bool refuse_value(const card_entry& e, std::string_view held, const std::string& takes) {
  if (held.empty())
    std::printf("Error: the %s card holds no value; it takes %s.\n", upper_word(e.word).c_str(),
                takes.c_str());
  else
    std::printf("Error: the %s card holds %.*s; it takes %s.\n", upper_word(e.word).c_str(),
                static_cast<int>(held.size()), held.data(), takes.c_str());
  return stop_reading();
}

// One number of a card from its token: finite, whole when asked, and within
// the card's range. An absent token (empty) is refused as well.
bool number_in_range(const card_entry& e, const std::string& token, bool whole, double& out) {
  if (token_in_range(token, whole, e.range, out)) return true;
  return refuse_value(e, token, e.range.describe(whole));
}

// The fields of a date card: the first `required` must be there; the rest
// default to 0. Each is a whole number.
bool read_date_fields(const card_entry& e, card_line& line, int* fields, int count, int required,
                      const char* takes) {
  std::string held, token;
  for (int k = 0; k < count; ++k) {
    fields[k] = 0;
    if (!next_token(line, token)) {
      if (k < required) return refuse_value(e, held, takes);
      continue;
    }
    if (!held.empty()) held += ' ';
    held += token;
    if (!whole_token_int(token, fields[k])) return refuse_value(e, held, takes);
  }
  return true;
}

// Whether a token is one of the words, in any case.
bool word_among(const std::string& token, std::initializer_list<std::string_view> words) {
  const std::string w = to_lower(token);
  for (std::string_view x : words)
    if (w == x) return true;
  return false;
}

// What a card's line holds after the values the card takes. A note
// (starting with #) is left to the reader. A flag followed by 1, on, yes or
// true alone is taken as given, with a warning; followed by 0, off, no or
// false it says the opposite of what its line does (a flag is switched on by
// its line), and that stops the run. Anything else (a second value, a unit)
// would be lost or contradict the value read, and stops the run too.
bool nothing_left_on_line(const card_entry& e, card_line& line, int line_no, project_options& po, int quiet) {
  std::string extra;
  if (e.kind == card_kind::skip || !next_token(line, extra) || extra[0] == '#') return true;
  const bool flag = e.kind == card_kind::flag || e.kind == card_kind::nutrients;
  const std::string card = card_on_line(e.word, line_no);
  std::string more;
  const bool alone = !next_token(line, more) || more[0] == '#';
  if (flag && alone && word_among(extra, {"1", "on", "yes", "true"})) {
    warn_card(po, card + " takes no value; the " + extra + " after it changes nothing (the card is on).", quiet);
    return true;
  }
  if (flag && word_among(extra, {"0", "off", "no", "false"})) {
    std::printf("Error: %s is followed by %s, but a flag is switched on by its line: remove the line to leave "
                "it off, or the %s to switch it on.\n",
                card.c_str(), extra.c_str(), extra.c_str());
    return stop_reading();
  }
  std::printf("Error: %s takes %s, but the line goes on with %s; remove it (a note starts with #).\n",
              card.c_str(), flag ? "no value" : "no more values", extra.c_str());
  return stop_reading();
}

const char* const nsm_group_item[] = {"AQ_ENV",     "OV_INIT_XXX", "ST_INIT_XXX",
                                      "OUT_OV_XXX", "OUT_ST_XXX",  "OUT_HYD_XXX"};

class card_reader {
 public:
  card_reader(project_records r, int quiet) : r_(r), quiet_(quiet) {}

  // Acts on one card on its line of the project file; false when the
  // reading must end.
  bool apply(const card_entry& e, card_line& line, int line_no) {
    line_no_ = line_no;
    if (!e.available) return card_not_available(e, line_no);
    if (!act(e, line)) return false;
    if (e.unused) note_no_effect(e);
    return true;
  }

 private:
  bool act(const card_entry& e, card_line& line) {
    switch (e.kind) {
      case card_kind::skip: note_ignored(e); return true;
      case card_kind::flag: store_sets(e); return true;
      case card_kind::integer: {
        double v = 0.0;
        if (!read_number(e, line, true, v)) return false;
        if (int* f = card_field_of<int>(r_, e.target)) *f = static_cast<int>(v);
        store_sets(e);
        if (e.echo) std::printf(e.echo, static_cast<int>(v));
        note_ignored(e);
        return true;
      }
      case card_kind::real: {
        double v = 0.0;
        if (!read_number(e, line, false, v)) return false;
        if (double* f = card_field_of<double>(r_, e.target)) *f = v;
        store_sets(e);
        if (e.echo) std::printf(e.echo, v);
        note_ignored(e);
        return true;
      }
      case card_kind::text:
      case card_kind::text_optional: {
        std::string v;
        next_token(line, v);
        store_text(e, v);
        store_sets(e);
        return true;
      }
      case card_kind::text_optional_keep: {
        std::string v;
        if (next_token(line, v)) store_text(e, v);
        store_sets(e);
        return true;
      }
      case card_kind::text_if_value: {
        std::string v;
        if (next_token(line, v)) {
          store_text(e, v);
          store_sets(e);
        }
        return true;
      }
      case card_kind::integer_or_none: {
        std::string token;
        double v = -1.0;
        if (next_token(line, token) && !number_in_range(e, token, true, v)) return false;
        *card_field_of<int>(r_, e.target) = static_cast<int>(v);
        store_sets(e);
        return true;
      }
      case card_kind::overtype_word: return read_overtype(e, line);
      case card_kind::richards_k_word:
      case card_kind::richards_c_word:
      case card_kind::richards_upper_word: return read_richards_word(e, line);
      case card_kind::calib_comp_data_word: return read_calib_comp_data(line) && card_not_available(e, line_no_);
      case card_kind::calib_obj_func_word: return read_calib_obj_func(line) && card_not_available(e, line_no_);
      case card_kind::reten_depth: return read_reten_depth(e, line);
      case card_kind::init_swe_depth: return read_init_swe_depth(e, line);
      case card_kind::start_date: {
        int d[3];
        if (!read_date_fields(e, line, d, 3, 3, date_takes)) return false;
        if (!is_calendar_date(d[0], d[1], d[2], 0, 0)) return refuse_date(e, d, 3, date_takes);
        r_.rc.start_year = d[0];
        r_.rc.start_month = d[1];
        r_.rc.start_day = d[2];
        return true;
      }
      case card_kind::start_time: {
        int t[2];
        if (!read_date_fields(e, line, t, 2, 1, time_takes)) return false;
        if (!is_calendar_date(2000, 1, 1, t[0], t[1])) return refuse_date(e, t, 2, time_takes);
        r_.rc.start_hour = t[0];
        r_.rc.start_minute = t[1];
        return true;
      }
      case card_kind::end_time: {
        int d[5];
        if (!read_date_fields(e, line, d, 5, 3, end_takes)) return false;
        if (!is_calendar_date(d[0], d[1], d[2], d[3], d[4])) return refuse_date(e, d, 5, end_takes);
        r_.rc.end_year = d[0];
        r_.rc.end_month = d[1];
        r_.rc.end_day = d[2];
        r_.rc.end_hour = d[3];
        r_.rc.end_minute = d[4];
        return true;
      }
      case card_kind::time_series_file: {
        std::string v;
        next_token(line, v);
        return read_time_series_file(v);
      }
      case card_kind::elev_series_file: {
        std::string v;
        next_token(line, v);
        return read_elev_series_file(v);
      }
      case card_kind::replace_params: {
        std::string v;
        next_token(line, v);
        return read_replace_param_file(v) == 0 || stop_reading();
      }
      case card_kind::replace_vals: {
        std::string v;
        next_token(line, v);
        return read_replace_value_file(v) == 0 || stop_reading();
      }
      case card_kind::replace_line: {
        double v = 0.0;
        if (!read_number(e, line, true, v)) return false;
        process.replace_line = static_cast<int>(v) - 1;
        return true;
      }
      case card_kind::output_folder: {
        std::string v;
        next_token(line, v);
        set_output_folder(v);
        return true;
      }
      case card_kind::project_folder: {
        std::string v;
        next_token(line, v);
        store_text_into(r_.po.project_folder, e.word, v);
        if (!r_.po.project_folder.empty()) set_project_folder(v);
        return true;
      }
      case card_kind::xy_input_file: {
        std::string v;
        next_token(line, v);
        store_sets(e);
        return read_xy_input_card(e.item, v);
      }
      case card_kind::nutrients:
        // Given again, it keeps the nutrient cards read since the first.
        r_.po.nutrients = 1;
        if (!r_.po.nsm_model) r_.po.nsm_model = std::make_unique<nsm>();
        return true;
      case card_kind::nsm_aq_env:
      case card_kind::nsm_ov_init:
      case card_kind::nsm_st_init:
      case card_kind::nsm_out_ov:
      case card_kind::nsm_out_st:
      case card_kind::nsm_out_hyd: return read_nutrient_card(e, line);
      case card_kind::partition_coeff: {
        double v = 0.0;
        if (!read_number(e, line, false, v)) return false;
        if (!r_.po.partition_coeffs) r_.po.partition_coeffs = std::make_unique<nsm_partition_coeffs>();
        *card_field_of<double>(r_, e.target) = v;
        // The nutrient kinetics that would read them are not built.
        note_no_effect(e);
        return true;
      }
    }
    return true;
  }

  static constexpr const char* date_takes = "a date: year (1 to 9999), month and day";
  static constexpr const char* time_takes = "a time of day: hour (0 to 23) and minute (0 to 59)";
  static constexpr const char* end_takes =
      "a date and time: year (1 to 9999), month, day, and hour (0 to 23) and minute (0 to 59) when "
      "given";

  // The next token of the line as the card's number.
  static bool read_number(const card_entry& e, card_line& line, bool whole, double& v) {
    std::string token;
    next_token(line, token);
    return number_in_range(e, token, whole, v);
  }

  static bool refuse_date(const card_entry& e, const int* fields, int count, const char* takes) {
    std::string held;
    for (int k = 0; k < count; ++k) {
      if (k) held.push_back(' ');
      held.append(std::to_string(fields[k]));
    }
    return refuse_value(e, held, takes);
  }

  // The five XY boundary cards read their files at once.
  bool read_xy_input_card(int item, const std::string& name) {
    xy_input& xy = r_.po.xy_input;
    switch (item) {
      case 1:
        return read_xy_boundary_file(xy, name, "overland", "XY_OV_DEPTH", xy.ovpts, xy.num_ovpts, xy.ov_series, true);
      case 2:
        return read_xy_boundary_file(xy, name, "groundwater", "XY_GW_HEAD", xy.gwpts, xy.num_gwpts, xy.gw_series,
                                     true);
      case 3: return read_xy_stream_boundary_file(xy, name);
      case 4: return read_xy_stream_ts_file(xy, name);
      default:
        return read_xy_boundary_file(xy, name, "groundwater", "XY_GW_HEAD_INTERP", xy.gw_interp_pts,
                                     xy.num_gw_interp_pts, xy.gw_series, false);
    }
  }

  void store_sets(const card_entry& e) {
    for (const card_set* s : {&e.set1, &e.set2})
      if (int* f = card_field_of<int>(r_, s->field)) *f = s->value;
  }

  void store_text(const card_entry& e, const std::string& value) {
    if (auto* f = card_field_of<file_name_text>(r_, e.target))
      store_text_into(*f, e.word, value);
    else if (auto* g = card_field_of<fixed_text<1024>>(r_, e.target))
      store_text_into(*g, e.word, value);
  }

  // A scheme by its number (1 to 3) or its word.
  bool read_overtype(const card_entry& e, card_line& line) {
    std::string v;
    next_token(line, v);
    int n = 0;
    const std::string w = to_lower(v);
    if (whole_token_int(v, n) && n >= overland_scheme::explicit_faces && n <= overland_scheme::ade_pc)
      r_.po.overtype = n;
    else if (w == "explicit") r_.po.overtype = overland_scheme::explicit_faces;
    else if (w == "ade") r_.po.overtype = overland_scheme::ade;
    else if (w == "ade-pc") r_.po.overtype = overland_scheme::ade_pc;
    else return refuse_value(e, v, "EXPLICIT, ADE or ADE-PC, or their numbers 1, 2 or 3");
    return true;
  }

  // A Richards option by its word, of which the first four letters count
  // in any case; another word (or none) is refused naming the card.
  bool read_richards_word(const card_entry& e, card_line& line) {
    struct option {
      card_kind kind;
      const char* prefix;
      int value;
    };
    static constexpr option options[] = {
        {card_kind::richards_k_word, "geom", richards_k_mean::geometric},
        {card_kind::richards_k_word, "arit", richards_k_mean::arithmetic},
        {card_kind::richards_c_word, "have", richards_retention::haverkamp},
        {card_kind::richards_c_word, "broo", richards_retention::brooks_corey},
        {card_kind::richards_upper_word, "gree", richards_upper_face::green_ampt},
        {card_kind::richards_upper_word, "aver", richards_upper_face::averaged},
    };
    std::string v;
    next_token(line, v);
    const std::string w = lower_prefix(v, 4);
    for (const option& o : options) {
      if (o.kind != e.kind || w != o.prefix) continue;
      *card_field_of<int>(r_, e.target) = o.value;
      return true;
    }
    const char* takes = e.kind == card_kind::richards_k_word ? "GEOMETRIC or ARITHMETIC (the first four letters count)"
                        : e.kind == card_kind::richards_c_word ? "BROOKS or HAVERCAMP (the first four letters count)"
                                                               : "GREEN or AVERAGE (the first four letters count)";
    return refuse_value(e, v, takes);
  }

  bool read_calib_comp_data(card_line& line) {
    std::string_view rest = line.rest();
    if (rest.substr(0, 5) == "DAILY") {
      r_.po.calib_comp_data = calib_data::daily;
    } else if (rest.substr(0, 5) == "EVENT") {
      r_.po.calib_comp_data = calib_data::event;
    } else {
      r_.po.calib_comp_data = calib_data::unset;
      set_error(103);
      return false;
    }
    return true;
  }

  bool read_calib_obj_func(card_line& line) {
    std::string_view rest = line.rest();
    if (rest == "RMSE") {
      r_.po.calib_obj_func = calib_objective::rmse;
    } else if (rest == "HMLE") {
      r_.po.calib_obj_func = calib_objective::hmle;
    } else {
      r_.po.calib_obj_func = calib_objective::unset;
      set_error(104);
      return false;
    }
    return true;
  }

  bool read_reten_depth(const card_entry& e, card_line& line) {
    std::string v;
    r_.po.reten_depth.clear();
    if (!next_token(line, v)) {
      r_.po.reten_depth_given = 1;
      return true;
    }
    store_text(e, v);
    double depth = 0.0;
    if (whole_token_double(v, depth)) {
      if (!number_in_range(e, v, false, depth)) return false;
      std::printf("Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH "
                  "<filename>-or-\nRETENTION <value>  -or-\nRETEN_DEPTH \n  Using %lf for the "
                  "uniform retention depth\n\n",
                  depth);
      r_.po.retention_given = 1;
      r_.po.retention = depth;
    } else {
      r_.po.reten_depth_given = 1;
    }
    return true;
  }

  bool read_init_swe_depth(const card_entry& e, card_line& line) {
    std::string v;
    next_token(line, v);
    double depth = 0.0;
    r_.po.init_swe_depth = 0.0;
    r_.po.init_swe_file.clear();
    if (whole_token_double(v, depth)) {
      if (!number_in_range(e, v, false, depth)) return false;
      r_.po.init_swe_mode = initial_swe::uniform_depth;
      r_.po.init_swe_depth = depth;
    } else {
      r_.po.init_swe_mode = initial_swe::from_map;
      store_text_into(r_.po.init_swe_file, "init_swe_depth", v);
    }
    return true;
  }

  // The cards that write into the nutrient container.
  bool read_nutrient_card(const card_entry& e, card_line& line) {
    nsm* model = r_.po.nsm_model.get();
    int group = static_cast<int>(e.kind) - static_cast<int>(card_kind::nsm_aq_env);
    if (!model) {
      set_error(79, nsm_group_item[group]);
      return false;
    }
    std::string v;
    bool has_value = next_token(line, v) != 0;
    const int i = e.item;
    switch (e.kind) {
      case card_kind::nsm_aq_env: store_text_into(model->aq_env.file_name, e.word, v); break;
      case card_kind::nsm_ov_init:
        // The overland dissolved organic carbon and its fraction: kept, but
        // no process of this version reads them.
        if (i == nsm_ov_doc_item || i == nsm_ov_doc_foc_item) note_no_effect(e);
        return read_initial(e, has_value, v, model->ov_init_mode[i], model->ov_init_value[i],
                            model->ov_init_file[i]);
      case card_kind::nsm_st_init:
        return read_initial(e, has_value, v, model->st_init_mode[i], model->st_init_value[i],
                            model->st_init_file[i]);
      case card_kind::nsm_out_ov:
        model->out_ov_on[i] = 1;
        store_text_into(model->out_ov_file[i], e.word, v);
        break;
      case card_kind::nsm_out_st:
        model->out_st_on[i] = 1;
        store_text_into(model->out_st_file[i], e.word, v);
        break;
      default:
        model->out_hyd_on[i] = 1;
        store_text_into(model->out_hyd_file[i], e.word, v);
        break;
    }
    return true;
  }

  // An initial nutrient value: none (the mapping table), a uniform number
  // or a file.
  static bool read_initial(const card_entry& e, bool has_value, const std::string& v, int& mode,
                           double& value, file_name_text& file) {
    value = 0.0;
    file.clear();
    double number = 0.0;
    if (!has_value) {
      mode = nsm_init_table;
    } else if (whole_token_double(v, number)) {
      if (!number_in_range(e, v, false, number)) return false;
      mode = nsm_init_uniform;
      value = number;
    } else {
      mode = nsm_init_file;
      store_text_into(file, e.word, v);
    }
    return true;
  }

  // A card kept for old project files that nothing in the run uses: the
  // line is read, and the user is told it changes nothing.
  void note_ignored(const card_entry& e) const {
    if (!std::holds_alternative<std::monostate>(e.target)) return;
    note_no_effect(e);
  }
  void note_no_effect(const card_entry& e) const {
    std::string text = card_on_line(e.word, line_no_) + " has no effect in this version of NIVRA; it is ignored";
    if (e.unused) text += std::string(" (") + e.unused + ")";
    warn_card(r_.po, text + ".", quiet_);
  }

  project_records r_;
  int quiet_ = 0;
  int line_no_ = 0;
};

// The values a card's line gives (its tokens up to a note starting with #).
std::vector<std::string> card_values(std::string_view rest) {
  card_line line(rest);
  std::vector<std::string> values;
  std::string token;
  while (next_token(line, token) && token[0] != '#') values.push_back(token);
  return values;
}

// Whether two lines of one card give the same values: numbers equal as
// numbers (10 and 10.0), the words of a card that takes a word in any case,
// anything else (file names) as written.
bool same_values(const card_entry& e, const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  const bool word = e.kind == card_kind::overtype_word || e.kind == card_kind::richards_k_word ||
                    e.kind == card_kind::richards_c_word || e.kind == card_kind::richards_upper_word;
  for (std::size_t k = 0; k < a.size(); ++k) {
    double x = 0.0, y = 0.0;
    if (whole_token_double(a[k], x) && whole_token_double(b[k], y)) {
      if (!(x == y)) return false;
    } else if (word ? to_lower(a[k]) != to_lower(b[k]) : a[k] != b[k]) {
      return false;
    }
  }
  return true;
}

// The cards the file has given so far, each with the line of its first
// appearance and its values: a card that stores a value may stand again
// only with the same values, which changes nothing and is warned about; one
// of the cards that store into the same field may stand once; a flag given
// again changes nothing and is warned about; the cards that add to a list,
// act on the lines after them or store nothing may repeat.
class card_lines {
 public:
  card_lines(project_options& po, int quiet) : po_(po), quiet_(quiet) {}

  // False, with the run stopped, when the card may not stand here; values
  // is what its line gives after the card word.
  bool admit(const card_entry& e, int line, std::string_view values) {
    const card_repeat rule = repeat_rule(e);
    if (rule == card_repeat::free) return true;
    for (const seen& s : seen_) {
      if (s.entry->code == e.code) return repeated(s, e, line, card_values(values), rule);
      if (cards_collide(*s.entry, e)) {
        std::printf("Error: the %s and %s cards set the same value in the project file (lines %d and %d); give one "
                    "of them.\n",
                    upper_word(s.entry->word).c_str(), upper_word(e.word).c_str(), s.line, line);
        return stop_reading();
      }
    }
    seen_.push_back({&e, line, card_values(values)});
    return true;
  }

 private:
  struct seen {
    const card_entry* entry;
    int line;
    std::vector<std::string> values;
  };

  bool repeated(const seen& first, const card_entry& e, int line, const std::vector<std::string>& values,
                card_repeat rule) const {
    // A synonym names the word the first line used.
    std::string lines = std::to_string(first.line) + " and " + std::to_string(line);
    if (first.entry->word != e.word) lines += ", the first as " + upper_word(first.entry->word);
    if (rule == card_repeat::harmless || same_values(e, first.values, values)) {
      warn_card(po_,
                "the " + upper_word(e.word) + " card is given twice in the project file (lines " + lines +
                    "); the second changes nothing.",
                quiet_);
      return true;
    }
    std::printf("Error: the %s card is given twice in the project file (lines %s) with different values; give it "
                "once.\n",
                upper_word(e.word).c_str(), lines.c_str());
    return stop_reading();
  }

  std::vector<seen> seen_;
  project_options& po_;
  int quiet_;
};

// Builds a sub-record again in place, as its constructor leaves it.
template <class T>
void rebuild(T& record) {
  std::destroy_at(&record);
  std::construct_at(&record);
}

void set_defaults(project_options& po) {
  po.m_river = 1.0;
  po.m_lake = 10.0;
  po.event_min_q = 0.1;
  po.overtype = overland_scheme::ade;
  po.soil_moist_depth = 0.4;
  po.richards_weight = 1.0;
  po.richards_dtheta_max = 0.0025;
  po.richards_k_option = richards_k_mean::geometric;
  po.richards_iter_max = 1;
  po.richards_upper_option = richards_upper_face::first_node;
  po.aquifer_delta_z = -999.9;
  po.max_courant_number = 0.04;
  po.x_freq = -1;
  po.xwin_width = 1000;
  po.xwin_height = 660;
  po.gw_timestep = 1.0;
  po.gw_lsor_con = 0.00001;
  po.gw_relax_coeff = 1.5;
  po.single_unsat_sat = 0.75;
  po.kinetics_timestep_factor = 1.0;
  po.soil_erosion = 1;
  po.zem_event_num = -1;
  po.calib_comp_data = calib_data::unset;
  po.calib_obj_func = calib_objective::unset;
  po.chan_ph = 7.2;
  po.cfgi_index = 83.0;
  po.cfgi_k = 0.5;
}

bool is_header(std::string_view line) { return line == "NIVRAPROJECT" || line == "BRELTOPROJECT"; }

bool open_project_file(guarded_file& f, std::string_view file_name) {
  if (open_guarded_file(f, file_name, "r")) return true;
  std::fprintf(stderr, "Error opening project file named: %.*s\n", static_cast<int>(file_name.size()),
               file_name.data());
  return false;
}

}  // namespace

bool read_project_file(std::string_view file_name, project_options& options, run_control& control,
                       rain_event& rain, int quiet) {
  control.project_open_failed = 0;
  guarded_file f;
  if (!open_project_file(f, file_name)) {
    control.project_open_failed = 1;
    return false;
  }
  // A folder opens for reading on some systems but holds no lines, and an
  // empty file holds none either: each is named for what it is.
  const char* not_a_project = nullptr;
  std::error_code ec;
  if (std::filesystem::is_directory(os_path(f.name.view()), ec)) not_a_project = "is a folder, not a project file";
  card_line line;
  const bool has_line = !not_a_project && read_line(line, f);
  if (!not_a_project && !has_line) not_a_project = "is empty: a project file begins with the line NIVRAPROJECT";
  if (not_a_project) {
    std::fprintf(stderr, "Error: %.*s %s.\n", static_cast<int>(file_name.size()), file_name.data(),
                 not_a_project);
    close_guarded_file(f);
    return stop_reading();
  }
  if (!is_header(line.rest())) {
    std::fprintf(stderr, "File Does not Appear to be a Valid NIVRA/BRELTO Project file\n");
    std::fprintf(stderr, "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n");
    std::fprintf(stderr, "NIVRA Terminating....\n");
    close_guarded_file(f);
    return stop_reading();
  }
  rebuild(options);
  rebuild(control);
  rebuild(rain);
  set_defaults(options);

  card_reader reader({options, control, rain}, quiet);
  card_lines given(options, quiet);
  int line_no = 1;  // the header's
  while (read_line(line, f)) {
    ++line_no;
    const card_entry* e = classify_card_entry(line, quiet);
    // A card that ends the reading has either left its code for the
    // driver, or reported its fault (which clears the code) and stopped the
    // run.
    if (!e) continue;
    if (e->available && !given.admit(*e, line_no, line.rest())) return false;
    if (!reader.apply(*e, line, line_no)) return process.error_block.code != 0;
    if (!nothing_left_on_line(*e, line, line_no, options, quiet)) return false;
    const std::size_t i = card_table_index(*e);
    if (!options.cards_given.test(i)) options.card_lines[i] = line_no;
    options.cards_given.set(i);
  }
  return true;
}

void prescan_project_path(std::string_view file_name) {
  guarded_file f;
  if (!open_project_file(f, file_name)) return;
  card_line line;
  for (bool first = true; read_line(line, f); first = false) {
    if (first && is_header(line.rest())) continue;  // the header line is no card
    const card_entry* e = classify_card_entry(line, 0);
    if (e && e->kind == card_kind::project_folder) {
      std::string folder;
      next_token(line, folder);
      if (!folder.empty()) set_project_folder(folder);
      return;
    }
  }
  close_guarded_file(f);
  set_project_folder_from_file(file_name);
}

void set_project_folder_from_file(std::string_view file_name) {
  std::string folder = folder_of(file_name);
  if (!folder.empty()) set_project_folder(folder);
}

}  // namespace nivra
