// What the readers of the two lumped models share: their card files and the
// flow-accumulation pass over the elevations.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace nivra {

class guarded_file;
struct grid_state;

// Prints each line followed by a line feed on the console.
void print_lumped_lines(std::initializer_list<const char*> lines);

// The file's header word and the lines of its three faults (a wrong
// header, an end before every card, a card given twice); the premature-end
// lines may hold one %d, the number of values read.
struct lumped_file_layout {
  const char* header;
  std::vector<const char*> bad_header, premature_end, duplicate;
  const char* what;  // the model, for the messages this system adds
};

// What a line's card is to the reader: a value card 0..count - 1, the
// header word again, or anything else (skipped).
inline constexpr int lumped_header = -1;
inline constexpr int lumped_other = -2;

// The card of a line: 0 for the header word (lower case), k for words[k -
// 1], count + 1 for anything else (also an empty line). The word is cut
// from the line.
int lumped_card_index(std::string& line, const char* header, const char* const* words, int count);

// Reads a card file: the first line's first token must begin with the
// header word; then each line's card (index_of cuts the word off the line)
// until every value card has been read once, each value a finite number.
// False after the message of a fault.
bool read_lumped_cards(guarded_file& f, std::string_view name, const lumped_file_layout& layout, int count,
                       const char* const* cards, double* const* fields,
                       const std::function<int(std::string&)>& index_of);

// The multiple-flow-direction pass over the watershed: every cell, once no
// higher neighbour waits, hands its accumulated area to its lower
// neighbours in proportion to tan(slope) x contour length, and its
// topographic index is ln(area / sum of those weights) (a cell without a
// lower neighbour: ln(area / (2 dx s)) with s the mean slope up to its
// neighbours, 0.333 on the flat). index and area are per cell (1-based).
// False after the message of a grid that 1000 passes do not finish.
bool flow_accumulation(const grid_state& grid, std::vector<double>& index, std::vector<double>& area);

}  // namespace nivra
