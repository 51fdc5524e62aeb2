#include "model/model_state.h"

namespace nivra {

model_state::model_state() = default;

model_state::~model_state() = default;

}  // namespace nivra
