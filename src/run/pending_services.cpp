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

int read_precip_file(model_state&) {
  card_not_available("PRECIP_FILE");
  return 0;
}
void read_radar_header(model_state&, const std::string&) { card_not_available("PRECIP_FILE"); }
void read_radar_precip(model_state&, const std::string&) { card_not_available("PRECIP_FILE"); }
void report_peak_rainfall(model_state&) { card_not_available("PRECIP_FILE"); }
void gage_to_grid_precip(model_state&, int) { card_not_available("PRECIP_FILE"); }
void find_neighbor(model_state&) { card_not_available("PRECIP_FILE"); }
int check_gage_hmet_dates(model_state&) {
  card_not_available("LONG_TERM");
  return 0;
}
void canopy_interception(model_state&, double) { card_not_available("INTERCEPTION"); }
void apply_pumps(model_state&, double) { card_not_available("OV_PUMP"); }

}  // namespace nivra
