// Analyzers and their logical tests: the analyzer file, the comparisons of
// every channel node with a threshold and the reports at the moments each
// analyzer listens to.
#include "output/analyzer.h"

#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/dates.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/tokens.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/line_faults.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "quality/contaminant/channel_constituents.h"

namespace nivra {

namespace {

bool stop_run() { return stop_on_own_message(); }

bool refuse_line(std::string_view file, int line, const std::string& what) {
  return refuse_file_line("analyzer file", file, line, what);
}

// Writes a piece of a report to the console and to the file as the output
// flags ask.
class report_sink {
 public:
  report_sink(unsigned flags, std::FILE* file)
      : console_((flags & analyzer_output::console) != 0),
        file_((flags & analyzer_output::file) != 0 ? file : nullptr) {}
  template <class... A>
  void put(const char* format, A... args) {
    if (console_) std::printf(format, args...);
    if (file_) std::fprintf(file_, format, args...);
  }

 private:
  bool console_;
  std::FILE* file_;
};

// The event text of the first fired bit, in the order 1, 2, 4, 8, 16, 32.
std::string event_text(unsigned fired, const std::string& date) {
  static constexpr std::pair<unsigned, const char*> texts[] = {
      {1, "%s"},
      {2, "the beginning of an event at %s"},
      {4, "the end of an event at %s"},
      {8, "the beginning of the simulation at %s"},
      {16, "the end of simulation at %s"},
      {32, "the program crash point at %s"}};
  for (const auto& [bit, format] : texts) {
    if (!(fired & bit)) continue;
    char buf[200];
    std::snprintf(buf, sizeof buf, format, date.c_str());
    return buf;
  }
  return date;
}

}  // namespace

// ------------------------------------------------------------ logical tests

void logical_OP::bind_network(int link_count, const int* nodes_per_link, int max_nodes, const double* clock,
                              std::string_view name) {
  link_count_ = link_count;
  nodes_per_link_ = nodes_per_link;
  max_nodes_ = max_nodes;
  clock_ = clock;
  target_name_.assign_cut(name);
}

template <class Compare>
bool logical_OP::compare(const char* op_text, double threshold, Compare pass) {
  bool any = false;
  for (int l = 1; l <= link_count_; ++l)
    for (int j = 1; j <= nodes_per_link_[l]; ++j) {
      const bool p = pass(value(l, j), threshold);
      pass_at(l, j) = p ? 1 : 0;
      any = any || p;
    }
  char text[50];
  std::snprintf(text, sizeof text, "%s %4.6lf", op_text, threshold);
  test_text_.assign_cut(text);
  test_time_ = clock_ ? *clock_ : 0.0;
  return any;
}

bool logical_OP::less_than(double t) { return compare("<", t, [](double v, double x) { return v < x; }); }
bool logical_OP::less_equal(double t) { return compare("<=", t, [](double v, double x) { return v <= x; }); }
bool logical_OP::greater_than(double t) { return compare(">", t, [](double v, double x) { return v > x; }); }
bool logical_OP::greater_equal(double t) { return compare(">=", t, [](double v, double x) { return v >= x; }); }
bool logical_OP::equal_to(double t) { return compare("==", t, [](double v, double x) { return v == x; }); }

void logical_OP::report(unsigned flags, unsigned fired, std::FILE* file) {
  using namespace analyzer_output;
  report_sink out(flags, file);
  double time = test_time_;
  if (!(flags & count)) {
    time = clock_ ? *clock_ : 0.0;
    test_time_ = time;
  }
  const std::string when = event_text(fired, analyzer_date_text(time));
  if (flags & count)
    out.put("\n\nResults for logic test of the 2D stream array %s at %s.  Nodes with values %s:\n",
            target_name_.c_str(), when.c_str(), test_text_.c_str());
  else
    out.put("\n\nValues in the 2D stream array %s at %s: \n", target_name_.c_str(), when.c_str());
  int passed_count = 0, total = 0;
  for (int l = 1; l <= link_count_; ++l) {
    if (flags & per_link) out.put("%4d:", l);
    for (int j = 1; j <= nodes_per_link_[l]; ++j) {
      const bool p = pass_at(l, j) != 0;
      const double v = value(l, j);
      if (flags & passed_only) {
        if (p) {
          out.put("Link %3d, Node %3d", l, j);
          if (flags & values)
            out.put(":  %14.6lf\n", v);
          else
            out.put("\n");
          ++passed_count;
        }
      } else if (flags & (count | values)) {
        out.put("[%s, %6.4lf]", p ? "T" : "F", v);
      } else {
        out.put("%s", p ? "T" : "F");
      }
      ++total;
    }
    if (flags & per_link) out.put("\n");
  }
  if (flags & count) out.put("====> %d out of %d nodes passed the logic test.\n", passed_count, total);
}

void st1d_logical_OP::bind_array(const double* values, int link_count, const int* nodes_per_link, int max_nodes,
                                 const double* clock, std::string_view name) {
  bind_network(link_count, nodes_per_link, max_nodes, clock, name);
  values_ = values;
  const int old = pass_mask_.count();
  pass_mask_.grow((link_count + 1) * max_nodes);
  for (int i = old; i <= pass_mask_.count(); ++i) pass_mask_[i] = 0;
}

void st2d_logical_OP::bind_array(const column_array2d<double>* values, int link_count, const int* nodes_per_link,
                                 int max_nodes, const double* clock, std::string_view name) {
  bind_network(link_count, nodes_per_link, max_nodes, clock, name);
  values_ = values;
  pass_mask_.alloc(max_nodes, link_count);
  combined_values_.alloc(max_nodes, link_count);
}

void st2d_logical_OP::set_combine(unsigned code, const column_array2d<double>* second) {
  combine_op_ = code;
  combine_array_ = second;
}

double st2d_logical_OP::node_value(int link, int node) {
  double v = (*values_)(node, link);
  if (combine_array_) {
    const double w = (*combine_array_)(node, link);
    switch (combine_op_) {
      case analyzer_op::add: v += w; break;
      case analyzer_op::subtract: v -= w; break;
      case analyzer_op::multiply: v *= w; break;
      case analyzer_op::divide: v = w == 0.0 ? 9999.99 : v / w; break;
      default: break;
    }
  }
  combined_values_(node, link) = v;
  return v;
}

// ------------------------------------------------------------ analyzers

void analyzer::check(unsigned bits) {
  const unsigned fired = event_mask & bits;
  // A clock a hair short of the report time (rounding of the Julian days
  // of the model clock) counts as there.
  constexpr double clock_rounding = 1e-8;
  if ((fired & analyzer_event::step_end) && clock && *clock >= next_time - clock_rounding) {
    last_time = *clock;
    next_time = *clock + interval;
    evaluate(fired);
    return;
  }
  if (fired & ~static_cast<unsigned>(analyzer_event::step_end)) evaluate(fired);
}

void analyzer::evaluate(unsigned fired) {
  if (!op_) return;
  switch (op_code) {
    case analyzer_op::less: op_->less_than(threshold); break;
    case analyzer_op::greater: op_->greater_than(threshold); break;
    case analyzer_op::equal: op_->equal_to(threshold); break;
    case analyzer_op::less_equal: op_->less_equal(threshold); break;
    case analyzer_op::greater_equal: op_->greater_equal(threshold); break;
    default: break;
  }
  op_->report(output_flags, fired, out_file.fp);
  if (out_file.fp) std::fflush(out_file.fp);
}

bool analyzer::configure(model_state& ms, const std::string& text, std::string_view file, int line_no) {
  card_line line(text);
  std::string token, target;
  next_token(line, token);  // the type
  if (!next_token(line, target)) return refuse_line(file, line_no, "names no target");
  // An analyzer acts only at moments it knows, by a comparison, on an
  // output that is written somewhere: a letter or operator it does not
  // know would leave it silent.
  if (!next_token(line, token)) return refuse_line(file, line_no, "names no events");
  if (const std::size_t bad = token.find_first_not_of("tEeSsc"); bad != std::string::npos)
    return refuse_line(file, line_no, "gives the event letter \"" + token.substr(bad, 1) +
                                          "\"; the events are t, E, e, S, s and c");
  event_mask = parse_analyzer_events(token);
  if (!next_token(line, token)) return refuse_line(file, line_no, "names no operator");
  if (token != "<" && token != "<=" && token != ">" && token != ">=" && token != "==")
    return refuse_line(file, line_no, "gives the operator \"" + token + "\"; it takes <, <=, >, >= or ==");
  op_code = parse_analyzer_operator(token);
  if (!next_token(line, token) || !whole_token_double(token, threshold) || !std::isfinite(threshold))
    return refuse_line(file, line_no, "does not give a threshold (a finite number) after the operator");
  if (!next_token(line, token)) return refuse_line(file, line_no, "names no output letters");
  if (const std::size_t bad = token.find_first_not_of("tvsfcd"); bad != std::string::npos)
    return refuse_line(file, line_no, "gives the output letter \"" + token.substr(bad, 1) +
                                          "\"; the output letters are t, v, s, f, c and d");
  output_flags = parse_analyzer_output(token);
  if (!(output_flags & (analyzer_output::console | analyzer_output::file)))
    return refuse_line(file, line_no, "reports nowhere: its output letters take s (the console) or f (a file)");
  clock = &ms.clock.model_time;
  if (event_mask & analyzer_event::step_end) {
    int seconds = 0;
    if (!next_token(line, token) || !whole_token_int(token, seconds) || seconds < 1)
      return refuse_line(file, line_no, "is timed (event letter t) but gives no interval in whole seconds (1 or more)");
    interval = seconds / 86400.0;
    last_time = *clock - interval;
    next_time = *clock;
  }
  if (output_flags & analyzer_output::file) {
    std::string name;
    if (!next_token(line, name)) return refuse_line(file, line_no, "writes to a file (output letter f) but names none");
    if (!open_guarded_file(out_file, name, "w")) {
      std::printf("Error: unable to open the analyzer output file %s.\n", name.c_str());
      return refuse_line(file, line_no, "names an output file that cannot be written");
    }
  }
  if (next_token(line, token)) return refuse_line(file, line_no, "holds \"" + token + "\" after its last value");
  return create_op(ms, target, file, line_no);
}

bool stanalyzer_1dst::create_op(model_state& ms, const std::string& target, std::string_view file, int line_no) {
  auto op = std::make_unique<st1d_logical_OP>();
  // The target is a word and a constituent index joined by "_".
  std::string spaced = target;
  for (char& c : spaced)
    if (c == '_') c = ' ';
  card_line words(spaced);
  std::string word, index_text;
  next_token(words, word);
  int index = 0;
  next_token(words, index_text);
  const bool has_index = whole_token_int(index_text, index);
  const constituent_state& q = ms.constituent;
  if (q.num_constituents < 1) {
    std::printf("Error: Setting up 1DS analyzer when no constituents are being modeled.\n");
    return refuse_line(file, line_no,
                       "sets up a 1DS analyzer, which watches channel constituents; this run carries none "
                       "(CHAN_CON_TRANS)");
  }
  if (!has_index || index < 1 || index > q.num_constituents) {
    std::printf("Error: 1DS Analyzer for %s with index %d is out of range. Range for index is %d to %d.\n",
                word.c_str(), index, 1, q.num_constituents);
    return refuse_line(file, line_no, "names a constituent out of range");
  }
  const channel_state& ch = ms.channel;
  const std::size_t needed = static_cast<std::size_t>(ch.num_stream_links + 1) * ch.max_nodes_per_link;
  const double* values = nullptr;
  auto pick = [&](const char* key, const jagged_array<double>& table) {
    const std::size_t n = std::char_traits<char>::length(key);
    if (word.compare(0, n, key) != 0 || index > table.count()) return;
    if (static_cast<std::size_t>(table.row_length()) + 1 < needed) return;
    values = table.row(index);
  };
  // Each word reads the array its name says.
  pick("conc", q.chan_conc);
  pick("mass", q.chan_node_mass);
  if (q.chan_wq) {
    pick("qlatconc", q.chan_wq->lateral_conc);
    pick("qlatmass", q.chan_wq->lateral_mass);
    pick("gwmass", q.chan_wq->aquifer_mass);
    pick("nsmsource", q.chan_wq->kinetics_mass);
    if (word.compare(0, 9, "pointconc") == 0 && ch.chan_point_sources_on && index <= ch.chan_point_conc.rows() &&
        static_cast<std::size_t>(ch.chan_point_conc.cols()) + 1 >= needed)
      values = ch.chan_point_conc[index].data();
  }
  if (!values) {
    std::printf("Error: unable to find 1DS array [%s]\n", word.c_str());
    return refuse_line(file, line_no, "names a 1DS array this run does not have");
  }
  op->bind_array(values, ch.num_stream_links, ch.nx.data(), ch.max_nodes_per_link, clock, target);
  op_ = std::move(op);
  return true;
}

bool stanalyzer_2dst::create_op(model_state& ms, const std::string& target, std::string_view file, int line_no) {
  auto op = std::make_unique<st2d_logical_OP>();
  const std::string key = to_lower(target);
  channel_state& ch = ms.channel;
  const column_array2d<double>* table = nullptr;
  const column_array2d<double>* second = nullptr;
  unsigned combine = analyzer_op::none;
  if (key.compare(0, 5, "depth") == 0) {
    table = &ch.yp;
    second = &ch.bel;
    combine = analyzer_op::subtract;
  } else if (key.compare(0, 4, "area") == 0) {
    table = &ch.area;
  } else if (key.compare(0, 4, "flow") == 0) {
    table = &ch.qp;
  }
  if (!table) {
    std::printf("Error: unable to find 2DS array [%s]\n", target.c_str());
    return refuse_line(file, line_no, "names a 2DS array other than depth, area or flow");
  }
  // The tables must hold every node of every link.
  int most_nodes = 0;
  for (int l = 1; l <= ch.num_stream_links && l <= ch.nx.size(); ++l)
    if (ch.nx[l] > most_nodes) most_nodes = ch.nx[l];
  const int links = ch.num_stream_links;
  auto covers = [&](const column_array2d<double>* t) {
    return !t || links == 0 || (!t->empty() && t->rows() >= most_nodes && t->cols() >= links);
  };
  if (links > 0 && ch.nx.size() < links) return refuse_line(file, line_no, "watches a channel network that is not set up");
  if (!covers(table) || !covers(second))
    return refuse_line(file, line_no, "watches a channel array that this run does not set up");
  op->bind_array(table, links, links > 0 ? ch.nx.data() : nullptr, ch.max_nodes_per_link > most_nodes ? ch.max_nodes_per_link : most_nodes,
                 clock, target);
  if (second) op->set_combine(combine, second);
  op_ = std::move(op);
  return true;
}

int parse_analyzer_type(std::string_view token) {
  auto starts = [&](std::string_view w) { return token.substr(0, w.size()) == w; };
  if (starts("1DS")) return analyzer_type::stream_1d;
  if (starts("2DS")) return analyzer_type::stream_2d;
  if (starts("2DG")) return analyzer_type::grid_2d;
  if (starts("NSM_OV")) return analyzer_type::nsm_overland;
  if (starts("NSM_ST")) return analyzer_type::nsm_stream;
  if (starts("NSM_SL")) return analyzer_type::nsm_soil;
  return analyzer_type::unknown;
}

unsigned parse_analyzer_operator(std::string_view token) {
  static constexpr std::pair<std::string_view, unsigned> ops[] = {
      {"<=", analyzer_op::less_equal}, {">=", analyzer_op::greater_equal}, {"==", analyzer_op::equal},
      {"<", analyzer_op::less},        {">", analyzer_op::greater},        {"+", analyzer_op::add},
      {"-", analyzer_op::subtract},    {"*", analyzer_op::multiply},       {"\\", analyzer_op::divide}};
  for (const auto& [text, code] : ops)
    if (token.substr(0, text.size()) == text) return code;
  return analyzer_op::none;
}

unsigned parse_analyzer_events(std::string_view letters) {
  unsigned mask = 0;
  for (char c : letters) {
    switch (c) {
      case 't': mask |= analyzer_event::step_end; break;
      case 'E': mask |= analyzer_event::event_start; break;
      case 'e': mask |= analyzer_event::event_end; break;
      case 'S': mask |= analyzer_event::set_up_done; break;
      case 's': mask |= analyzer_event::run_end; break;
      case 'c': mask |= analyzer_event::error_end; break;
      default: break;
    }
  }
  return mask;
}

unsigned parse_analyzer_output(std::string_view letters) {
  using namespace analyzer_output;
  unsigned flags = 0;
  for (char c : letters) {
    switch (c) {
      case 't': flags = (flags | passed_only) & ~per_link; break;
      case 'v': flags = (flags | per_link) & ~passed_only; break;
      case 's': flags |= console; break;
      case 'f': flags |= file; break;
      case 'c': flags |= count; break;
      case 'd': flags |= values; break;
      default: break;
    }
  }
  return flags;
}

std::string analyzer_date_text(double model_time) {
  const calendar c = calendar_date(model_time);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%02d-%02d-%4d, %d:%d:%2.0lf", c.month, c.day, c.year, c.hour, c.minute, c.second);
  return buf;
}

void setup_analyzers(model_state& ms, std::string_view file_name) {
  guarded_file f;
  if (!open_input_file(f, file_name)) {
    std::printf("Error: unable to open the analyzer file %.*s named by the ANALYZERS card.\n",
                static_cast<int>(file_name.size()), file_name.data());
    stop_run();
    return;
  }
  std::string line;
  int line_no = 0, built = 0;
  while (read_line(line, f)) {
    ++line_no;
    if (!line.empty() && line[0] == '#') continue;
    card_line words(line);
    std::string type_word;
    if (!next_token(words, type_word)) continue;
    const int type = parse_analyzer_type(type_word);
    std::unique_ptr<analyzer> a;
    if (type == analyzer_type::stream_1d)
      a = std::make_unique<stanalyzer_1dst>();
    else if (type == analyzer_type::stream_2d)
      a = std::make_unique<stanalyzer_2dst>();
    if (!a) {
      // A line that would build nothing would watch nothing.
      if (type == analyzer_type::unknown)
        refuse_line(file_name, line_no, "gives the analyzer type \"" + type_word + "\"; the types are 1DS and 2DS");
      else
        refuse_line(file_name, line_no, "sets up a " + type_word +
                                            " analyzer, which is not available in this version of NIVRA");
      return;
    }
    if (!a->configure(ms, line, file_name, line_no)) return;
    ms.output.analyzers.push_back(std::move(a));
    ++built;
  }
  if (built == 0) {
    std::printf("Error: the analyzer file %.*s named by the ANALYZERS card sets up no analyzer.\n",
                static_cast<int>(file_name.size()), file_name.data());
    stop_run();
    return;
  }
  if (!ms.project.super_quiet) std::printf("Set up %d analyzers...\n", built);
}

void check_analyzers(model_state& ms, int event_mask) {
  for (const auto& a : ms.output.analyzers) a->check(static_cast<unsigned>(event_mask));
}

}  // namespace nivra
