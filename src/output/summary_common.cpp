#include "output/summary_common.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "model/model_state.h"

namespace nivra::summary {

void put(std::FILE* f, const char* format, ...) {
  if (!f) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(f, format, args);
  va_end(args);
}

std::string constituent_label(const model_state& ms, int c) {
  if (c >= 1 && c < static_cast<int>(ms.constituent_name.size()) && !ms.constituent_name[c].empty())
    return ms.constituent_name[c];
  return std::to_string(c);
}

bool is_nutrient(const model_state& ms, int c) {
  return ms.nutrients && at(ms.constituent_type, c) >= 2;
}

void write_lake_concentrations(std::FILE* f, double conc_vol) {
  put(f, "Suspended Sediment Concentration              %16.8lf cc/m3\n", conc_vol * 1.0e6);
  // Solid volume to mass with the sediment density of 2645.23 kg/m3 (g/m3 = mg/L).
  put(f, "Suspended Sediment Concentration              %16.8lf mg/L\n", conc_vol * 2645.23e3);
}

}  // namespace nivra::summary
