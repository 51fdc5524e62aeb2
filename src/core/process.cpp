#include "core/process.h"

namespace nivra {

process_state process;

void reset_process_state() { process = process_state(); }

}  // namespace nivra
