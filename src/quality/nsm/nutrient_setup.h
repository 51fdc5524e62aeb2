// The nutrient model's steps of the run's set-up (the map phase calls
// setup_nutrient_overland, setup_nutrient_channels and
// assign_nsm_table_params, declared in quality/constituent_setup.h) and the
// pieces they are made of.
#pragma once

namespace nivra {

struct model_state;

// The overland part's initial concentrations, masses, dispersion and rain
// concentrations copied into the nutrient rows of the run's constituent
// list (rows first_nsm_constituent + 0..8).
void copy_nutrients_to_constituent_list(model_state& ms);

// The groundwater concentrations of the nutrient constituents from the
// mapping tables NSM_GW_N (NO2, NO3, NH4, ON), NSM_GW_P (OP, DP) and
// NSM_GW_OTH (Alg, CBOD); a constituent without a column keeps 0. A
// negative or non-finite value stops the run naming the table and cell.
void assign_table_params_28_30(model_state& ms);

// The stream zone map named by ST_MAP in the aquatic environment file: one
// zone per link, given to every node of the link. A map that cannot be
// opened, a bad map or a zone outside 1..NUM_IDS stops the run; false then.
bool read_stream_zone_map(model_state& ms);


}  // namespace nivra
