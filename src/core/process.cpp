#include "core/process.h"

#include "core/containers.h"

namespace nivra {

process_state process;

void reset_process_state() { process = process_state(); }

void note_bad_range_report() { ++process.bad_range_reports; }

}  // namespace nivra
