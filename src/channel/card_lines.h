// The card lines of a channel file, read once: each line's card, its line
// number and the text after its card word, kept in one text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "channel/channel_input.h"
#include "core/errors.h"

namespace nivra {

struct card_ref {
  chan_card code;
  int line;
  std::size_t at, size;  // the text after the card word
};

class card_lines {
 public:
  void add(chan_card code, int line, std::string_view rest) {
    cards_.push_back(card_ref{code, line, text_.size(), rest.size()});
    text_.append(rest);
  }
  // The text after the card word of a card.
  std::string_view rest(const card_ref& c) const { return std::string_view(text_).substr(c.at, c.size); }
  const std::vector<card_ref>& cards() const { return cards_; }

 private:
  std::vector<card_ref> cards_;
  std::string text_;
};

// The reader printed its message: stops the run (code 4000) and gives false.
inline bool stop_reading() {
  set_error(own_message_code);
  report_error();
  return false;
}

}  // namespace nivra
