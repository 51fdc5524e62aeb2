// Readers and set-ups that the map phase calls in their place but that this
// version of NIVRA does not have yet. Each does nothing when its card is
// off; reached with its card on, it names the card and stops the run. None
// is pending at present.
#include "core/errors.h"

namespace nivra {}  // namespace nivra
