// Option consistency checks: combinations of cards that cannot run together
// or that lack a card they need are refused before any file is opened.
#pragma once

namespace nivra {

struct model_state;

// Leaves the code of the first conflict in the error block (0 when none);
// warnings 39 and 41 are reported at once and the checks go on. Also
// switches off the Green and Ampt maps for the layered and Richards
// schemes, and lets channel sediment follow overland erosion.
void check_options(model_state& ms);

}  // namespace nivra
