// The project card table: every card word of the project file with its card
// code, the kind of value it takes and the field it sets. The classifier
// and the project reader both work from this one table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "core/tokens.h"
#include "core/value_range.h"
#include "model/project.h"

namespace nivra {

// What a card does with the rest of its line.
enum class card_kind : std::uint8_t {
  skip,                 // nothing (ignored words)
  flag,                 // no value: stores the entry's constants
  integer,              // one value into the target, then the constants
  real,
  text,
  text_optional,        // a file name or nothing (the field is emptied); constants always
  text_optional_keep,   // a file name when one follows; constants always
  text_if_value,        // file name and constants only when a value follows
  integer_or_none,      // an integer, -1 when none follows; constants always
  overtype_word,        // a number, or explicit / ade / ade-pc
  richards_k_word,      // geom / arit
  richards_c_word,      // have / broo
  richards_upper_word,  // gree / aver
  calib_comp_data_word, // DAILY / EVENT
  calib_obj_func_word,  // RMSE / HMLE
  reten_depth,          // a retention map, nothing, or (wrongly) a number
  init_swe_depth,       // a uniform depth or a file
  start_date,           // year, month, day
  start_time,           // hour, minute
  end_time,             // year, month, day, hour, minute
  time_series_file,     // acted on at once
  elev_series_file,
  replace_params,
  replace_vals,
  replace_line,
  output_folder,
  project_folder,
  xy_input_file,        // item: 1 overland, 2 groundwater, 3 stream, 4 stream series, 5 interpolated
  nutrients,
  // The nutrient cards, in the order of their groups (the reader names the
  // group of a card met before NUTRIENTS by this order).
  nsm_aq_env,
  nsm_ov_init,          // item: 0..11
  nsm_st_init,          // item: 0..8
  nsm_out_ov,           // item: 0..8
  nsm_out_st,
  nsm_out_hyd,
  partition_coeff,
};

// A field of the project sub-records.
using card_field =
    std::variant<std::monostate, int project_options::*, double project_options::*,
                 file_name_text project_options::*, int run_control::*, double run_control::*,
                 int rain_event::*, double rain_event::*, file_name_text rain_event::*,
                 int xy_output::*, fixed_text<1024> xy_output::*, double nsm_partition_coeffs::*>;

// A constant a card stores in an integer field.
struct card_set {
  card_field field;
  int value = 0;
};

struct card_entry {
  std::string_view word;  // lower case
  int code;
  card_kind kind;
  card_field target;      // where the value goes
  card_set set1;          // constants stored by the card
  card_set set2;
  int item;               // position within a group of cards
  const char* echo;       // printf format echoing the value, or null
  value_range range{};    // of the numbers the card gives
  bool available = true;  // false: the card stops the reading as not available
  // Set for a card that no process of this version reads and that changes
  // nothing in any run (it prints, plots, formats or tunes what this version
  // does not have): why it changes nothing. The card is read, its value
  // checked, and it is warned about naming its line.
  const char* unused = nullptr;
};

inline constexpr int skip_card_code = 180;

// The three sub-records a project file fills.
struct project_records {
  project_options& po;
  run_control& rc;
  rain_event& re;
};

namespace detail {
template <class M>
struct member_traits;
template <class C, class T>
struct member_traits<T C::*> {
  using owner = C;
  using type = T;
};

template <class C>
C* owner_of(const project_records& r) {
  if constexpr (std::is_same_v<C, project_options>) {
    return &r.po;
  } else if constexpr (std::is_same_v<C, run_control>) {
    return &r.rc;
  } else if constexpr (std::is_same_v<C, rain_event>) {
    return &r.re;
  } else if constexpr (std::is_same_v<C, xy_output>) {
    return &r.po.xy_output;
  } else {
    static_assert(std::is_same_v<C, nsm_partition_coeffs>);
    return r.po.partition_coeffs.get();  // null until the first coefficient card
  }
}
}  // namespace detail

// The field a table entry names when it has type T; null otherwise (and for
// a partition coefficient before the block is made).
template <class T>
T* card_field_of(const project_records& r, const card_field& f) {
  return std::visit(
      [&](auto m) -> T* {
        using M = decltype(m);
        if constexpr (std::is_same_v<M, std::monostate>) {
          return nullptr;
        } else if constexpr (!std::is_same_v<typename detail::member_traits<M>::type, T>) {
          return nullptr;
        } else {
          auto* owner = detail::owner_of<typename detail::member_traits<M>::owner>(r);
          return owner ? &(owner->*m) : nullptr;
        }
      },
      f);
}

// The table in the order of comparison (a word listed twice matches its
// first entry).
std::span<const card_entry> project_card_table();

// How often a card may stand in one project file.
enum class card_repeat : std::uint8_t {
  once,       // it stores a value: a second one would overwrite the first
  harmless,   // a flag: a second one stores the same constants again
  free,       // it adds to a list, acts on the lines after it, or stores nothing
};
card_repeat repeat_rule(const card_entry& e);

// Whether two cards of different codes store into one field: a value each,
// or a value and a constant, or two different constants (the members of
// one enumeration, such as the infiltration schemes). Cards that may
// repeat freely never collide.
bool cards_collide(const card_entry& a, const card_entry& b);

// The first entry of a card word written in any case; null when unknown.
const card_entry* find_project_card(std::string_view word);

// The position of an entry in the table, and whether the project file gave
// the card of a word (written in any case; false for a word that is no
// card). A word listed twice is given by either of its lines, which both
// find its first entry.
std::size_t card_table_index(const card_entry& e);
bool card_given(const project_options& po, std::string_view word);

// The line of the project file a card word stands on (its first line when
// given twice); 0 when it is not given.
int card_line_number(const project_options& po, std::string_view word);

// "the <CARD> card on line <n> of the project file": how a message about a
// card of the project file names it ("the <CARD> card" for a line below 1:
// a card the record holds without a line of the file).
std::string card_on_line(std::string_view word, int line);

// A card that changes nothing in this run (or another warning of the
// set-up, such as the events a storm run leaves out): prints "Warning: "
// and the text (which names the card and its line and says why) unless
// quiet is 1, and keeps the text for the run summary's list of warnings.
void warn_card(project_options& po, std::string text, int quiet);

// Cuts the card word (and the separators after it) off the front of the
// line and returns its entry; null for an empty line, a comment ("#...")
// and an unknown word, which is warned about unless quiet is 1.
const card_entry* classify_card_entry(card_line& line, int quiet);

// The same, giving the card code (180 for a line to skip).
int classify_project_card(card_line& line, int quiet);

}  // namespace nivra
