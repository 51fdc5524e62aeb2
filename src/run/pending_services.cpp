// Services of subsystems still to come that the time loop calls. Each is
// reached only with its card on; it then names the card and stops the run.
// The subsystem that builds one moves it out of this file.
#include <cstdio>

#include "channel/pumps.h"
#include "core/errors.h"
#include "hydromet/precipitation.h"
#include "model/model_state.h"

namespace nivra {

namespace {

void card_not_available(const char* card) {
  std::printf("Error: the %s card is not available in this version of NIVRA.\n", card);
  set_error(own_message_code);
  report_error();
}

}  // namespace

int read_hmet(model_state&) {
  card_not_available("LONG_TERM");
  return -1;
}
void elev_band_assign(model_state&) { card_not_available("LONG_TERM"); }
void slope_normals(model_state&) { card_not_available("LONG_TERM"); }
void apply_pumps(model_state&, double) { card_not_available("OV_PUMP"); }

}  // namespace nivra
