#include "channel/chan_point_sources.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "core/dates.h"
#include "core/tokens.h"
#include "core/value_range.h"

namespace nivra {

namespace {

constexpr int max_skipped_tokens = 10000;
constexpr value_range point_discharge = from_to(-1e7, 1e7, "m3/s");
constexpr value_range point_concentration = from_to(0, 1e12);

// The file's tokens with their lines.
class token_stream {
 public:
  token_stream(guarded_file& f) : name_(f.name.c_str()) {  // NOLINT
    card_line line;
    std::string token;
    for (int n = 1; read_line(line, f); ++n)
      while (next_token(line, token)) tokens_.push_back({token, n});
  }
  const char* name() const { return name_.c_str(); }
  bool at_end() const { return at_ >= tokens_.size(); }
  // The line of the last token taken (or of the last token of the file).
  int line() const {
    if (tokens_.empty()) return 0;
    return tokens_[at_ > 0 ? at_ - 1 : 0].line;
  }

  // Skips tokens up to the card word (compared on five characters); false
  // after the message when the file ends first or after max_skipped_tokens.
  bool find(const char* word, const char* what, bool after_count = true) {
    for (; !at_end(); ++at_) {
      if (same_card(tokens_[at_].text, word)) {
        ++at_;
        return true;
      }
      // Notes are skipped, but not a card of the file: a POINT or INPUT
      // card beyond its count would be lost.
      if (after_count && is_card_line(at_)) {
        std::fprintf(stderr, "Error: line %d of the channel point-source file %s begins with %s where the card %s is "
                             "due: NUMPT and NRPDS count the POINT and INPUT cards.\n",
                     tokens_[at_].line, name(), tokens_[at_].text.c_str(), word);
        return false;
      }
      if (++skipped_ > max_skipped_tokens) break;
    }
    std::printf("There is a problem with your channel source input file.  NIVRA cannot\n"
                "find the %s.  Check the format of your channel source file\n\n",
                what);
    std::fprintf(stderr, "Error: the channel point-source file %s has no %s card where it is due.\n", name(), word);
    return false;
  }

  bool whole(const char* what, int& out, const value_range& range) {
    double v = 0.0;
    if (!next(what, true, v, range)) return false;
    out = static_cast<int>(v);
    return true;
  }
  bool real(const char* what, double& out, const value_range& range) { return next(what, false, out, range); }
  // The line of the first card or value left after the last change (0 when
  // only notes are left).
  int unread_line() const {
    for (std::size_t i = at_; i < tokens_.size(); ++i) {
      double v = 0.0;
      if (is_card_line(i) || whole_token_double(tokens_[i].text, v)) return tokens_[i].line;
    }
    return 0;
  }
  // The next token, which must be the card word.
  bool word(const char* word) {
    if (!at_end() && same_card(tokens_[at_].text, word)) {
      ++at_;
      return true;
    }
    const std::string given = at_end() ? "the end of the file" : "\"" + tokens_[at_].text + "\"";
    std::fprintf(stderr, "Error: line %d of the channel point-source file %s gives %s where the card %s is due.\n",
                 at_end() ? line() : tokens_[at_].line, name(), given.c_str(), word);
    return false;
  }

 private:
  struct token {
    std::string text;
    int line;
  };
  // A card word of the file at the start of its line.
  bool is_card_line(std::size_t i) const {
    if (i > 0 && tokens_[i - 1].line == tokens_[i].line) return false;
    for (const char* card : {"numpt", "point", "nrpds", "input"})
      if (same_card(tokens_[i].text, card)) return true;
    return false;
  }
  static bool same_card(const std::string& t, const char* word) {
    std::size_t k = 0;
    for (; k < 5 && word[k]; ++k)
      if (k >= t.size() || std::tolower(static_cast<unsigned char>(t[k])) != word[k]) return false;
    return k == 5 || t.size() == k;
  }
  bool next(const char* what, bool is_whole, double& v, const value_range& range) {
    bool good = !at_end();
    if (good && is_whole) {
      int n = 0;
      good = whole_token_int(tokens_[at_].text, n);
      v = n;
    } else if (good) {
      good = whole_token_double(tokens_[at_].text, v);
    }
    if (good && range.contains(v)) {
      ++at_;
      return true;
    }
    const std::string given = at_end() ? "no value" : "\"" + tokens_[at_].text + "\"";
    std::fprintf(stderr, "Error: line %d of the channel point-source file %s gives %s %s; it takes %s.\n",
                 at_end() ? line() : tokens_[at_].line, name(), what, given.c_str(), range.describe(is_whole).c_str());
    return false;
  }

  std::string name_;
  std::vector<token> tokens_;
  std::size_t at_ = 0;
  int skipped_ = 0;
};

bool is_channel_node(const channel_state& ch, int link, int node) {
  return link >= 1 && link <= ch.num_stream_links && (ch.ltype[link] & link_type::channel) && node >= 1 &&
         node <= ch.nx[link];
}

// Why a discharge is followed by concentrations: the constituents the run
// carries down the channels.
void explain_concentrations(const char* file, int num_constituents, int sediment_classes) {
  const int contaminants = num_constituents - sediment_classes;
  std::string which;
  if (contaminants > 0) which = std::to_string(contaminants) + " of contaminants or nutrients";
  if (contaminants > 0 && sediment_classes > 0) which += " and ";
  if (sediment_classes > 0)
    which += std::to_string(sediment_classes) + " sediment class" + (sediment_classes == 1 ? "" : "es") +
             " (SOIL_EROSION of 10 or more carries the classes as constituents)";
  std::fprintf(stderr, "The run carries %d constituent%s down the channels: %s. Every POINT line and every change of "
                       "the channel point-source file %s gives, after each discharge, one concentration (g/m3) per "
                       "constituent, in their order.\n",
               num_constituents, num_constituents == 1 ? "" : "s", which.c_str(), file);
}

}  // namespace

bool read_chan_source_file(channel_state& ch, guarded_file& f, int num_constituents, int sediment_classes) {
  token_stream in(f);
  const int stride = ch.max_nodes_per_link;
  int n = 0;
  if (!in.find("numpt", "first card", false) || !in.whole("the number of points", n, from_to(0, ch.link_node_size)))
    return false;
  ch.chan_point_flow.alloc(ch.link_node_size + 1);
  ch.chan_point_address.alloc(n > 0 ? n : 1);
  if (num_constituents > 0) ch.chan_point_conc.alloc(num_constituents, ch.link_node_size + 1);
  for (int p = 1; p <= n; ++p) {
    int node = 0, link = 0;
    double q = 0.0;
    if (!in.find("point", "point source location card") ||
        !in.whole("the node", node, from_to(1, ch.max_nodes)) ||
        !in.whole("the link", link, from_to(1, ch.num_stream_links)) ||
        !in.real("the discharge", q, point_discharge))
      return false;
    if (!is_channel_node(ch, link, node)) {
      std::fprintf(stderr, "Error: line %d of the channel point-source file %s names node %d of link %d, which is no "
                           "computational node of a channel link.\n",
                   in.line(), in.name(), node, link);
      return false;
    }
    const int address = stride * link + node;
    for (int k = 1; k < p; ++k)
      if (ch.chan_point_address[k] == address) {
        std::fprintf(stderr, "Error: line %d of the channel point-source file %s gives node %d of link %d a second "
                             "point source.\n",
                     in.line(), in.name(), node, link);
        return false;
      }
    ch.chan_point_address[p] = address;
    ch.chan_point_flow[address] = q;
    for (int c = 1; c <= num_constituents; ++c)
      if (!in.real("a concentration", ch.chan_point_conc[c][address], point_concentration)) {
        explain_concentrations(in.name(), num_constituents, sediment_classes);
        return false;
      }
  }
  ch.num_chan_points = n;

  int m = 0;
  if (!in.find("nrpds", "number of timed changes to your point inputs") ||
      !in.whole("the number of timed changes", m, from_to(0, 1000000)))
    return false;
  ch.num_chan_point_changes = m;
  const int values = n * (1 + num_constituents);
  if (m > 0) {
    ch.chan_point_change_time.alloc(m);
    ch.chan_point_change_value.alloc(m, values > 0 ? values : 1);
  }
  for (int k = 1; k <= m; ++k) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (!in.word("input") || !in.whole("the year", year, from_to(0, last_calendar_year)) ||
        !in.whole("the month", month, from_to(1, 12)) || !in.whole("the day", day, from_to(1, 31)) ||
        !in.whole("the hour", hour, from_to(0, 23)) || !in.whole("the minute", minute, from_to(0, 59)))
      return false;
    if (year < 100) year += 1900;
    if (!is_calendar_date(year, month, day, hour, minute)) {
      std::fprintf(stderr, "Error: line %d of the channel point-source file %s gives %d-%02d-%02d, which is no date "
                           "of the calendar.\n",
                   in.line(), in.name(), year, month, day);
      return false;
    }
    const double t = julian_date(year, month, day, hour, minute, 0.0);
    if (k > 1 && t <= ch.chan_point_change_time[k - 1]) {
      std::fprintf(stderr, "Error: line %d of the channel point-source file %s gives a change that does not follow "
                           "the one before it.\n",
                   in.line(), in.name());
      return false;
    }
    ch.chan_point_change_time[k] = t;
    for (int v = 1; v <= values; ++v) {
      const bool flow = (v - 1) % (1 + num_constituents) == 0;
      if (!in.real(flow ? "the discharge" : "a concentration", ch.chan_point_change_value[k][v],
                   flow ? point_discharge : point_concentration)) {
        if (num_constituents > 0) explain_concentrations(in.name(), num_constituents, sediment_classes);
        return false;
      }
    }
  }
  if (const int line = in.unread_line()) {
    std::fprintf(stderr, "Error: line %d of the channel point-source file %s holds a card or a value after the %d "
                         "changes its NRPDS card counts.\n",
                 line, in.name(), m);
    return false;
  }
  ch.chan_point_sources_on = 1;
  return true;
}

void apply_chan_point_change(channel_state& ch, int k) {
  const int per_point = 1 + (ch.chan_point_conc.empty() ? 0 : ch.chan_point_conc.rows());
  const row_view<double> v = ch.chan_point_change_value[k];
  for (int p = 1; p <= ch.num_chan_points; ++p) {
    const int address = ch.chan_point_address[p];
    const int first = (p - 1) * per_point + 1;
    ch.chan_point_flow[address] = v[first];
    for (int c = 1; c < per_point; ++c) ch.chan_point_conc[c][address] = v[first + c];
  }
}

}  // namespace nivra
