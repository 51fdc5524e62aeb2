#include "toolbox/toolbox_templates.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "toolbox/toolbox_text.h"

namespace nivra {

namespace {

std::string_view first_line(std::string_view text) {
  std::size_t nl = text.find('\n');
  return text.substr(0, nl == std::string_view::npos ? text.size() : nl);
}

// "ptf $", "jif ~": the letter p or j, the kind, and the character in
// column 5.
bool header_char(std::string_view text, std::string_view kind, char& c) {
  std::string_view line = first_line(text);
  if (line.size() < 5 || (line[0] != 'p' && line[0] != 'j') || line.substr(1, 2) != kind)
    return false;
  c = line[4];
  return true;
}

int too_many(int count, int code) {
  return count > max_model_files ? toolbox_report(code) : 0;
}

}  // namespace

// ----------------------------------------------------------------- templates

int open_template_files(const pest_control& pc, toolbox_streams& streams) {
  if (int code = too_many(pc.ntplfle, toolbox_msg::too_many_templates)) return code;
  streams.template_text.assign(pc.ntplfle + 1, std::string());
  for (int i = 1; i <= pc.ntplfle; ++i)
    if (!read_text_file(pc.templates[i].template_file, streams.template_text[i]))
      return toolbox_report(toolbox_msg::open_file, "template", pc.templates[i].template_file);
  return 0;
}

int read_template_files(pest_control& pc, toolbox_streams& streams) {
  for (int i = 1; i <= pc.ntplfle; ++i) {
    template_pair& tp = pc.templates[i];
    const std::string& text = streams.template_text[i];
    char delim = 0;
    if (!header_char(text, "tf", delim))
      return toolbox_report(toolbox_msg::template_header, {}, tp.template_file);
    std::size_t body = text.find('\n');
    body = body == std::string::npos ? text.size() : body + 1;
    tp.delim_pos.assign(1, 0);
    for (std::size_t k = body; k < text.size(); ++k)
      if (text[k] == delim) tp.delim_pos.push_back(static_cast<long>(k + 1));
    tp.n_spaces = static_cast<int>(tp.delim_pos.size() - 1) / 2;
    tp.space_param.assign(tp.n_spaces + 1, 0);
    for (int s = 1; s <= tp.n_spaces; ++s) {
      const std::size_t from = static_cast<std::size_t>(tp.delim_pos[2 * s - 1]);
      const std::size_t to = static_cast<std::size_t>(tp.delim_pos[2 * s]) - 1;
      std::string name;
      for (std::size_t k = from; k < to; ++k)
        if (text[k] != ' ') name.push_back(text[k]);
      if (static_cast<int>(name.size()) > toolbox_word_limit) {
        int line = 1;
        for (std::size_t k = 0; k < from; ++k) line += text[k] == '\n';
        return toolbox_report(toolbox_msg::item_too_long, name.substr(0, 40), tp.template_file,
                              line, toolbox_word_limit);
      }
      for (int p = 1; p <= pc.npar && !tp.space_param[s]; ++p)
        if (name_matches(pc.params[p].parnme, name)) tp.space_param[s] = p;
      if (!tp.space_param[s])
        return toolbox_report(toolbox_msg::template_name, name, tp.template_file);
    }
  }
  return 0;
}

void close_template_files(toolbox_streams& streams) { streams.template_text.clear(); }

// -------------------------------------------------------------- instructions

namespace {

// Turns one instruction file into its items.
class instruction_parser {
 public:
  instruction_parser(const pest_control& pc, std::string_view text, const std::string& file)
      : pc_(pc), text_(text), file_(file) {}

  int parse(std::vector<instruction_item>& items) {
    char marker = 0;
    if (!header_char(text_, "if", marker) || marker == '\n' || marker == '\r')
      return fault("it does not begin with a pif or jif header line");
    pos_ = first_line(text_).size();  // the line feed of line 1 ends no item
    if (pos_ < text_.size()) ++pos_;
    line_ = 2;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      instruction_item item;
      item.line = line_;
      if (c == '\n') {
        item.what = instruction_item::kind::next_line;
        ++line_;
      } else if (c == marker) {
        item.what = instruction_item::kind::marker;
        if (!up_to(marker, item.text)) return fault("a marker is not closed");
      } else if (c == 'l') {
        item.what = instruction_item::kind::line_advance;
        if (!number(item.count) || item.count < 1)
          return fault("l takes a line count of 1 or more");
      } else if (c == '&') {
        continue;
      } else if (c == 'w') {
        item.what = instruction_item::kind::whitespace;
      } else if (c == 't') {
        item.what = instruction_item::kind::skip;
        if (!number(item.count)) return fault("t takes a count of characters");
      } else if (c == '[') {
        item.what = instruction_item::kind::fixed;
        if (!up_to(']', item.text) || item.text.empty())
          return fault("a fixed observation's name is not closed by ]");
        if (!number(item.count) || item.count < 1 || pos_ >= text_.size() ||
            text_[pos_++] != ':' || !number(item.last) || item.last < item.count)
          return fault("a fixed observation takes columns first:last, 1 <= first <= last");
      } else if (c == '!') {
        item.what = instruction_item::kind::named;
        if (!up_to('!', item.text) || item.text.empty())
          return fault("an observation's name is not closed by !");
      } else if (c == '(') {
        return toolbox_report(toolbox_msg::semi_fixed, {}, file_, line_);
      } else {
        continue;
      }
      if (item.what == instruction_item::kind::fixed ||
          item.what == instruction_item::kind::named) {
        if (static_cast<int>(item.text.size()) > toolbox_word_limit)
          return toolbox_report(toolbox_msg::item_too_long, item.text.substr(0, 40), file_, line_,
                                toolbox_word_limit);
        for (int o = 1; o <= pc_.nobs && !item.obs; ++o)
          if (name_matches(pc_.observations[o].obsnme, item.text)) item.obs = o;
        if (!item.obs) return fault("no observation is named " + item.text);
      }
      items.push_back(std::move(item));
    }
    return 0;
  }

 private:
  // The text up to the closing character, on the same line.
  bool up_to(char close, std::string& out) {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != close && text_[pos_] != '\n' &&
           text_[pos_] != '\r')
      ++pos_;
    if (pos_ >= text_.size() || text_[pos_] != close) return false;
    out.assign(text_.substr(start, pos_ - start));
    ++pos_;
    return true;
  }
  bool number(int& out) {
    const char* b = text_.data() + pos_;
    const char* e = text_.data() + text_.size();
    auto r = std::from_chars(b, e, out);
    if (r.ec != std::errc() || (b < e && *b == '-')) return false;
    pos_ += static_cast<std::size_t>(r.ptr - b);
    return true;
  }
  int fault(const std::string& what) {
    return toolbox_report(toolbox_msg::instruction_format, what, file_, line_);
  }

  const pest_control& pc_;
  std::string_view text_;
  const std::string& file_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

// Reads a number that starts at b (blanks before it skipped) and ends
// before e; the end of the number goes to end. False when none is there or
// it is not finite.
bool number_at(const char* b, const char* e, double& v, const char*& end) {
  while (b < e && (*b == ' ' || *b == '\t')) ++b;
  const char* s = b;
  if (s + 1 < e && *s == '+' && (s[1] == '.' || (s[1] >= '0' && s[1] <= '9'))) ++s;
  auto r = std::from_chars(s, e, v);
  if (r.ec != std::errc() || !std::isfinite(v)) return false;
  end = r.ptr;
  return true;
}

std::string counted(const char* what, int count) {
  std::string text(what);
  text += std::to_string(count);
  return text;
}

bool is_named_char(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'E' || c == 'e';
}

}  // namespace

int open_instruction_files(const pest_control& pc, toolbox_streams& streams) {
  if (int code = too_many(pc.ninsfle, toolbox_msg::too_many_instructions)) return code;
  streams.instructions.assign(pc.ninsfle + 1, {});
  std::string text;
  for (int i = 1; i <= pc.ninsfle; ++i) {
    const std::string& file = pc.instructions[i].instruction_file;
    if (!read_text_file(file, text))
      return toolbox_report(toolbox_msg::open_file, "instruction", file);
    instruction_parser parser(pc, text, file);
    if (int code = parser.parse(streams.instructions[i])) return code;
  }
  return 0;
}

int check_observations_read(const pest_control& pc, const toolbox_streams& streams) {
  // Each observation is read by exactly one item: one read twice would
  // take the later value, one never read would keep a value of no run.
  std::vector<char> read(static_cast<std::size_t>(pc.nobs) + 1, 0);
  const int files = std::min(pc.ninsfle, static_cast<int>(streams.instructions.size()) - 1);
  for (int i = 1; i <= files; ++i)
    for (const instruction_item& it : streams.instructions[i]) {
      if (it.obs == 0) continue;
      if (read[static_cast<std::size_t>(it.obs)])
        return toolbox_report(toolbox_msg::observation_read_twice, pc.observations[it.obs].obsnme,
                              pc.instructions[i].instruction_file, it.line);
      read[static_cast<std::size_t>(it.obs)] = 1;
    }
  for (int o = 1; o <= pc.nobs; ++o)
    if (!read[static_cast<std::size_t>(o)])
      return toolbox_report(toolbox_msg::observation_never_read, pc.observations[o].obsnme);
  return 0;
}

void close_instruction_files(toolbox_streams& streams) { streams.instructions.clear(); }

int slm_read_instructions(pest_control& pc, toolbox_streams& streams, int file_index, int slot) {
  using kind = instruction_item::kind;
  if (file_index < 1 || file_index > pc.ninsfle ||
      file_index >= static_cast<int>(streams.instructions.size()) || slot < 0 || slot > 2)
    return toolbox_report(toolbox_msg::model_output, "no instruction file or slot of that number",
                          {}, file_index);
  const instruction_pair& pair = pc.instructions[file_index];
  std::string& out = streams.output_text;
  if (!read_text_file(pair.model_output, out))
    return toolbox_report(toolbox_msg::open_file, "model output", pair.model_output);
  auto fail = [&](const std::string& what, int line) {
    return toolbox_report(toolbox_msg::model_output, what,
                          pair.model_output + " (instructions " + pair.instruction_file + ")",
                          line);
  };
  const std::size_t n = out.size();
  const char* data = out.data();
  auto line_end = [&](std::size_t from) {
    std::size_t nl = out.find('\n', from);
    return nl == std::string::npos ? n : nl;
  };
  // The start of the line after the one holding from (the end of the text,
  // beyond its last line when that line has no line feed).
  bool beyond = false;
  auto next_line = [&](std::size_t from) {
    const std::size_t end = line_end(from);
    beyond = beyond || end >= n;
    return std::min(end + 1, n);
  };
  // Nothing but blanks and line ends is left from the position on: the
  // instructions read past the end of the file.
  auto ended = [&](std::size_t from) {
    return out.find_first_not_of(" \t\r\n", std::min(from, n)) == std::string::npos;
  };
  auto ends_before = [&](const std::string& item, int line) {
    long lines = static_cast<long>(std::count(out.begin(), out.end(), '\n'));
    if (n > 0 && data[n - 1] != '\n') ++lines;
    return fail("the file ends before " + item + " (it holds " + std::to_string(lines) +
                    (lines == 1 ? " line)" : " lines)"),
                line);
  };
  std::size_t pos = 0;
  for (const instruction_item& it : streams.instructions[file_index]) {
    switch (it.what) {
      case kind::next_line:
        pos = next_line(pos);
        break;
      case kind::marker: {
        const std::size_t at = out.find(it.text, pos);
        if (at == std::string::npos) return fail("the marker " + it.text + " never comes", it.line);
        pos = at + it.text.size();
        break;
      }
      case kind::line_advance: {
        std::size_t start = pos;
        for (int k = 0; k < it.count; ++k) {
          if (pos >= n) return fail(counted("the file ends within l", it.count), it.line);
          start = pos;
          pos = next_line(pos);
        }
        pos = start;  // back on a line of the file
        beyond = false;
        break;
      }
      case kind::whitespace: {
        if (ended(pos)) return ends_before("w", it.line);
        const std::size_t blank = out.find(' ', pos);
        if (blank == std::string::npos) return fail("no blank is left for w", it.line);
        pos = blank + 1;
        while (pos < n && data[pos] == ' ') ++pos;
        break;
      }
      case kind::skip:
        if (static_cast<std::size_t>(it.count) > n - pos)
          return fail(counted("the file ends within t", it.count), it.line);
        pos += static_cast<std::size_t>(it.count);
        break;
      case kind::fixed: {
        // Columns of the line the position is on, counted from its start.
        const std::size_t nl = pos == 0 ? std::string::npos : out.rfind('\n', pos - 1);
        const std::size_t bol = nl == std::string::npos ? 0 : nl + 1;
        const std::size_t eol = line_end(pos);
        const std::size_t b = bol + static_cast<std::size_t>(it.count) - 1;
        const std::size_t e = std::min(bol + static_cast<std::size_t>(it.last), eol);
        double v = 0.0;
        const char* end = nullptr;
        if (beyond || ended(bol)) return ends_before("[" + it.text + "]", it.line);
        if (b >= e || !number_at(data + b, data + e, v, end))
          return fail("no number for " + it.text + " in its columns", it.line);
        pc.observations[it.obs].model_value[slot] = v;
        pos = static_cast<std::size_t>(end - data);
        std::size_t q = pos;
        while (q < n && (data[q] == ' ' || data[q] == '\r')) ++q;
        if (q >= n) pos = n;
        else if (data[q] == '\n') pos = q + 1;
        break;
      }
      case kind::named: {
        std::size_t q = pos;
        while (q < n && data[q] == ' ') ++q;
        const std::size_t start = q;
        while (q < n && is_named_char(data[q])) ++q;
        double v = 0.0;
        const char* end = nullptr;
        if (ended(pos)) return ends_before("!" + it.text + "!", it.line);
        if (start == q || !number_at(data + start, data + q, v, end))
          return fail("no number for " + it.text, it.line);
        pc.observations[it.obs].model_value[slot] = v;
        pos = q;
        break;
      }
    }
  }
  return 0;
}

}  // namespace nivra
