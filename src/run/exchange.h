// Exchange files with the outside framework (ZEM) and the outside model
// (MOLA), all in the folder "exchange": the precipitation-event summary the
// framework reads, the maps written at the end of every event and read back
// before the next, and the record file with the day numbers of now and of
// the next event. read_exchange_maps and exchange_maps_event_end (the
// set-up and time-loop calls) are declared in run/steps.h.
#pragma once

#include <string>

namespace nivra {

struct model_state;

// The folder of every exchange file.
inline constexpr const char* exchange_folder = "exchange/";

// Whole days (truncated) from 01:00 on 31 December of the year before
// `year` to the model time (Julian days).
int exchange_day_number(double model_time, int year);

// The framework's summary of the precipitation events, in two parts
// around the counting of the events: the file opened (false after the
// message when it cannot be), then the count and the start of every event
// (event_times) written; the summary run then ends (code 4000).
bool open_zem_precip_summary(model_state& ms);
void write_zem_precip_summary(model_state& ms);

// Whether the exchange folder exists where the run's files are looked for.
bool exchange_folder_exists();

}  // namespace nivra
