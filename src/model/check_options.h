// Option consistency checks: combinations of cards that cannot run together
// or that lack a card they need are refused before any file is opened; a
// card that changes nothing without its partner is warned about instead.
#pragma once

namespace nivra {

struct model_state;

// Leaves the code of the first conflict in the error block (0 when none);
// warnings 39 and 41 are reported at once and the checks go on, and so are
// the warnings about cards that change nothing (kept in the project
// options' card_warnings for the run summary). Also
// switches off the Green and Ampt maps for the layered and Richards
// schemes, and lets channel sediment follow overland erosion.
void check_options(model_state& ms);

// The checks that need the inputs the map phase read: a card that acts only
// with something the channel input file gives stops the run naming it (a
// lake for LAKE_OUTPUT), or warns when it changes nothing (an OVERBANK link
// for OVERBANK_MAX_DV).
void check_cards_against_inputs(model_state& ms);

}  // namespace nivra
