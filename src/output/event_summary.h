// The event summary appended to the run summary file at the end of every
// event, and the aligned label-and-value line of its constituent sections.
#pragma once

#include <cstdio>

namespace nivra {

struct model_state;

// Called by the end-of-event handling once the event's volumes and error
// are final. Reads only.
void write_event_summary(model_state& ms);

// Writes the label and a blank, pads with fill to width characters (when
// the label is shorter than width - 1), then blanks so that the value's
// decimal point lands point_column + 1 characters after the padding, the
// value with format, and extra + 1 line ends.
void write_summary_line(std::FILE* f, const char* label, double value, int width,
                        const char* format, char fill, int point_column, int extra);

}  // namespace nivra
