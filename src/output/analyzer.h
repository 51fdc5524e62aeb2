// Analyzers: run-time checks of a channel-network quantity. Each line of
// the analyzer file (the ANALYZERS card) builds one analyzer that, at the
// moments it listens to, compares every node of every link with a
// threshold and reports which nodes passed (or lists the values) to the
// console and to its own file. The comparison and the report are the work
// of the analyzer's logical test: st1d_logical_OP over a flat per-link,
// per-node array (flat index max_nodes x link + node), st2d_logical_OP over
// a [node][link] table, optionally combined node by node with a second
// table.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct model_state;

// Output letters of an analyzer line (bits of output_flags).
namespace analyzer_output {
inline constexpr unsigned passed_only = 1;  // t: only the nodes that passed
inline constexpr unsigned per_link = 2;     // v: one line per link
inline constexpr unsigned console = 4;      // s
inline constexpr unsigned file = 8;         // f: the analyzer's own file
inline constexpr unsigned count = 16;       // c: the test result with a pass count
inline constexpr unsigned values = 32;      // d: show the values
}  // namespace analyzer_output

// Operator codes of an analyzer line; 5..8 combine two tables, 9 none.
namespace analyzer_op {
inline constexpr unsigned less = 0, greater = 1, equal = 2, less_equal = 3, greater_equal = 4;
inline constexpr unsigned add = 5, subtract = 6, multiply = 7, divide = 8, none = 9;
}  // namespace analyzer_op

// Analyzer types of the first token: 1DS and 2DS build an analyzer, the
// others are known words that build none.
namespace analyzer_type {
inline constexpr int unknown = -1, grid_2d = 0, stream_1d = 1, stream_2d = 2;
inline constexpr int nsm_overland = 3, nsm_stream = 4, nsm_soil = 5;
}  // namespace analyzer_type

// The test object of an analyzer: a view of one channel array, the result
// of the last comparison per node, and the report.
class logical_OP {
 public:
  virtual ~logical_OP() = default;
  // Each compares every node with the threshold, remembers which passed,
  // and returns true when any did.
  bool less_than(double threshold);
  bool less_equal(double threshold);
  bool greater_than(double threshold);
  bool greater_equal(double threshold);
  bool equal_to(double threshold);
  // Writes the report of the last test (or the values) to the console
  // (output flag s) and to the file (flag f).
  void report(unsigned output_flags, unsigned fired, std::FILE* file);
  // The network the view covers and the clock (model time, days).
  void bind_network(int link_count, const int* nodes_per_link, int max_nodes, const double* clock,
                    std::string_view name);

  const char* test_text() const { return test_text_.c_str(); }
  double test_time() const { return test_time_; }
  // Whether the node passed the last comparison (false for a node outside
  // the network).
  bool passed(int link, int node) const {
    return link >= 1 && link <= link_count_ && node >= 1 && node <= nodes_per_link_[link] && pass_at(link, node) != 0;
  }

 protected:
  // The value tested at a node, and its pass flag.
  virtual double value(int link, int node) = 0;
  virtual unsigned char& pass_at(int link, int node) = 0;
  unsigned char pass_at(int link, int node) const { return const_cast<logical_OP*>(this)->pass_at(link, node); }

  const double* clock_ = nullptr;
  double test_time_ = 0.0;
  fixed_text<50> test_text_;
  fixed_text<102> target_name_;
  int link_count_ = 0;
  const int* nodes_per_link_ = nullptr;  // 1-based by link
  int max_nodes_ = 0;

 private:
  template <class Compare>
  bool compare(const char* op_text, double threshold, Compare pass);
};

class st1d_logical_OP : public logical_OP {
 public:
  // values[max_nodes x link + node]; the pass flags are made here.
  void bind_array(const double* values, int link_count, const int* nodes_per_link, int max_nodes,
                  const double* clock, std::string_view name);

 protected:
  double value(int link, int node) override { return values_[max_nodes_ * link + node]; }
  unsigned char& pass_at(int link, int node) override { return pass_mask_[max_nodes_ * link + node]; }

 private:
  const double* values_ = nullptr;
  checked_array<unsigned char> pass_mask_{"pass_mask"};
};

class st2d_logical_OP : public logical_OP {
 public:
  // values(node, link); the pass flags and combined values are made here.
  void bind_array(const column_array2d<double>* values, int link_count, const int* nodes_per_link, int max_nodes,
                  const double* clock, std::string_view name);
  // Combines every value with the same node of a second table (add,
  // subtract, multiply, divide); analyzer_op::none tests the values alone.
  void set_combine(unsigned code, const column_array2d<double>* second);
  // The value tested at a node: a division by an exact zero gives 9999.99.
  double node_value(int link, int node);

 protected:
  double value(int link, int node) override { return node_value(link, node); }
  unsigned char& pass_at(int link, int node) override { return pass_mask_(node, link); }

 private:
  const column_array2d<double>* values_ = nullptr;
  const column_array2d<double>* combine_array_ = nullptr;
  unsigned combine_op_ = analyzer_op::none;
  array2d<unsigned char> pass_mask_;   // [node][link]
  array2d<double> combined_values_;    // [node][link]: the values tested
};

// One analyzer of the file.
class analyzer {
 public:
  virtual ~analyzer() = default;
  // Acts on the events of `bits` it listens to (see the .cpp).
  void check(unsigned bits);
  void evaluate(unsigned fired);
  // Reads the rest of the analyzer's line: target, events, operator,
  // threshold, output letters, the interval of a timed analyzer and the
  // file name of a file output. False after the message (naming the file
  // and the line) when the line or its target is bad.
  bool configure(model_state& ms, const std::string& line, std::string_view file, int line_no);

  unsigned event_mask = 0;
  unsigned output_flags = 0;
  unsigned op_code = analyzer_op::none;
  double threshold = 0.0;
  guarded_file out_file;
  const double* clock = nullptr;
  double last_time = 0.0, next_time = 0.0, interval = 0.0;  // days

  logical_OP* op() { return op_.get(); }

 protected:
  // Makes the test object over the target's array; false after the message.
  virtual bool create_op(model_state& ms, const std::string& target, std::string_view file, int line_no) = 0;
  std::unique_ptr<logical_OP> op_;
};

class stanalyzer_1dst : public analyzer {
 protected:
  bool create_op(model_state& ms, const std::string& target, std::string_view file, int line_no) override;
};

class stanalyzer_2dst : public analyzer {
 protected:
  bool create_op(model_state& ms, const std::string& target, std::string_view file, int line_no) override;
};

// The type of an analyzer line's first token and the code of an operator
// token.
int parse_analyzer_type(std::string_view token);
unsigned parse_analyzer_operator(std::string_view token);
unsigned parse_analyzer_events(std::string_view letters);
unsigned parse_analyzer_output(std::string_view letters);

// The report's date of a model time: "%02d-%02d-%4d, %d:%d:%2.0lf".
std::string analyzer_date_text(double model_time);

// Reads the analyzer file into the run's list (output_state::analyzers).
// A file that cannot be opened stops the run.
void setup_analyzers(model_state& ms, std::string_view file_name);
// Lets every analyzer of the run act on the events of event_mask.
void check_analyzers(model_state& ms, int event_mask);

// The moments check_analyzers tells the analyzers of (bits of its mask).
namespace analyzer_event {
inline constexpr int step_end = 1;     // after every time step
inline constexpr int event_start = 2;  // a precipitation event begins
inline constexpr int event_end = 4;    // an event has ended
inline constexpr int set_up_done = 8;  // the set-up is complete
inline constexpr int run_end = 16;     // the run ended normally
inline constexpr int error_end = 32;   // the run ended on an error
}  // namespace analyzer_event

}  // namespace nivra
