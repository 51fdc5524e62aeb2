// The nutrient model's overland inputs read by the map phase: the aquatic
// environment file with its overland zone map, the overland part of the
// container, and the initial values of its nine constituents and three
// fields from the cards, the mapping tables NSM_N, NSM_P, NSM_C, NSM_OTH
// and DISPERSION, and continuous maps.
#pragma once

namespace nivra {

struct model_state;

// Reads the aquatic environment file and allocates the overland part
// (water temperature, pH, the cell size). Stops the run on an error.
void read_nutrient_overland(model_state& ms, int first_nsm_constituent);

// The overland initial values: tables first (their precipitation
// concentrations go to the overland part's precip_conc), then each item
// by its card. Errors 80 (a map file that cannot be opened) and 119 (a
// card asking for a table the file does not hold) stop the run at the
// first one; the items assigned before it stay.
void assign_constituent_params(model_state& ms);

// The stream and lake parts (sized on the channel network) and the stream
// initial values: the stream tables NSM_N, NSM_P, NSM_C, NSM_OTH and
// DISPERSION first, then each constituent by its card. A card asking for
// a table the stream file does not hold sets error 120 and the next
// constituent is still assigned; a map file that cannot be opened sets 80.
// Every source gives the nodes their mass (flow area x node length x
// concentration).
void setup_nutrient_streams(model_state& ms, int first_nsm_constituent);
void init_stream_constituents(model_state& ms);

}  // namespace nivra
