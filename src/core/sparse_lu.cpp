#include "core/sparse_lu.h"

#include <suitesparse/klu.h>

namespace nivra {

namespace {

// Pivots kept from the last full factorisation serve while the smallest
// over the largest stays within this share of what fresh pivots gave.
constexpr double kept_pivot_share = 1e-3;
// Below this smallest over largest pivot (of the rows scaled to a largest
// magnitude of 1) rounding leaves no trustworthy digit: singular.
constexpr double least_pivot_ratio = 1e-14;

}  // namespace

struct sparse_lu::library {
  klu_common common{};
  klu_symbolic* symbolic = nullptr;
  klu_numeric* numeric = nullptr;

  library() {
    klu_defaults(&common);
    // Partial pivoting proper: the largest entry of the column (of rows
    // scaled to a largest magnitude of 1) unless the diagonal is as large.
    // The networks' matrices fill in little, so sparsity needs no looser
    // choice.
    common.tol = 1.0;
  }
  ~library() {
    free_numeric();
    if (symbolic) klu_free_symbolic(&symbolic, &common);
  }
  library(const library&) = delete;
  library& operator=(const library&) = delete;
  void free_numeric() {
    if (numeric) klu_free_numeric(&numeric, &common);
  }
};

sparse_lu::sparse_lu() = default;
sparse_lu::~sparse_lu() = default;

bool sparse_lu::analysed() const { return lib_ && lib_->symbolic; }

void sparse_lu::clear() {
  lib_.reset();
  n_ = 0;
  col_start_ = row_index_ = nullptr;
  full_ = re_ = 0;
  ratio_ = fresh_ratio_ = 0.0;
}

sparse_lu_status sparse_lu::analyse(int n, const int* col_start, const int* row_index) {
  clear();
  if (n <= 0 || !col_start || !row_index) return sparse_lu_status::failed;
  lib_ = std::make_unique<library>();
  // KLU takes non-const pointers but only reads the pattern.
  lib_->symbolic = klu_analyze(n, const_cast<int*>(col_start), const_cast<int*>(row_index), &lib_->common);
  if (!lib_->symbolic) {
    clear();
    return sparse_lu_status::failed;
  }
  n_ = n;
  col_start_ = col_start;
  row_index_ = row_index;
  return sparse_lu_status::ok;
}

sparse_lu_status sparse_lu::factor(const double* values) {
  if (!analysed() || !values) return sparse_lu_status::failed;
  library& k = *lib_;
  int* ap = const_cast<int*>(col_start_);
  int* ai = const_cast<int*>(row_index_);
  double* ax = const_cast<double*>(values);
  if (k.numeric && klu_refactor(ap, ai, ax, k.symbolic, k.numeric, &k.common) && klu_rcond(k.symbolic, k.numeric, &k.common) &&
      k.common.rcond >= kept_pivot_share * fresh_ratio_ && k.common.rcond >= least_pivot_ratio) {
    ++re_;
    ratio_ = k.common.rcond;
    return sparse_lu_status::ok;
  }
  // New pivots.
  k.free_numeric();
  ratio_ = fresh_ratio_ = 0.0;
  k.numeric = klu_factor(ap, ai, ax, k.symbolic, &k.common);
  if (!k.numeric) return k.common.status == KLU_SINGULAR ? sparse_lu_status::singular : sparse_lu_status::failed;
  ++full_;
  if (!klu_rcond(k.symbolic, k.numeric, &k.common)) return sparse_lu_status::failed;
  ratio_ = fresh_ratio_ = k.common.rcond;
  if (!(ratio_ >= least_pivot_ratio)) {  // also a ratio that is not a number
    k.free_numeric();
    return sparse_lu_status::singular;
  }
  return sparse_lu_status::ok;
}

sparse_lu_status sparse_lu::solve(double* b) {
  if (!analysed() || !lib_->numeric || !b) return sparse_lu_status::failed;
  library& k = *lib_;
  return klu_solve(k.symbolic, k.numeric, n_, 1, b, &k.common) ? sparse_lu_status::ok : sparse_lu_status::failed;
}

}  // namespace nivra
