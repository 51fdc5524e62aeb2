// The end-of-run summary.
#pragma once

namespace nivra {

struct model_state;

void write_run_summary(model_state& ms);

}  // namespace nivra
