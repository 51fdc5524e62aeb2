// One-based arrays. Per-cell, per-link and per-node data of the model are
// arrays with one element more than their count in each dimension, so that
// they are indexed from 1 (index 0 exists, is zeroed and carries no data).
// The containers own their memory; an empty container is the "not made"
// state. Debug builds (NIVRA_CHECK_BOUNDS) check every index; optimised
// builds compile the accessors down to plain pointer arithmetic.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace nivra {

[[noreturn]] void index_fault(const char* what, long index, long low, long high);

#if defined(NIVRA_CHECK_BOUNDS)
#define NIVRA_INDEX(what, i, lo, hi)                                                     \
  do {                                                                                   \
    if ((i) < (lo) || (i) > (hi)) ::nivra::index_fault((what), (long)(i), (long)(lo), (long)(hi)); \
  } while (0)
#else
#define NIVRA_INDEX(what, i, lo, hi) ((void)0)
#endif

// Prints the allocator messages.
void report_size_zero();
void report_alloc_failure(const char* name);

// The zeroed storage of the arrays. Elements of a plain type (numbers,
// pointers) are taken zeroed from the system, which hands a large block out
// as pages that are zeroed as each is first written: the thread that first
// writes a part of the array pays for its pages, and the set-up does not
// write every page of every array twice. Any other type is value-initialised.
template <class T>
inline constexpr bool zero_filled = std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>;
template <class T>
struct zeroed_delete {
  void operator()(T* p) const {
    if constexpr (zero_filled<T>)
      std::free(p);
    else
      delete[] p;
  }
};
template <class T>
using zeroed_ptr = std::unique_ptr<T[], zeroed_delete<T>>;
template <class T>
T* make_zeroed(std::size_t count) {
  if constexpr (zero_filled<T>) {
    void* p = std::calloc(count, sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  } else {
    return new T[count]();
  }
}

// ---------------------------------------------------------------- 1-D
template <class T>
class array1d {
 public:
  array1d() = default;
  explicit array1d(int n) { alloc(n); }
  array1d(array1d&&) noexcept = default;
  array1d& operator=(array1d&&) noexcept = default;
  array1d(const array1d&) = delete;
  array1d& operator=(const array1d&) = delete;

  // Elements 0..n, value-initialised (zero). n <= 0 leaves the array empty.
  void alloc(int n) {
    data_.reset();
    n_ = 0;
    if (n <= 0) return;
    data_.reset(make_zeroed<T>(static_cast<std::size_t>(n) + 1));
    n_ = n;
  }
  void free() {
    data_.reset();
    n_ = 0;
  }
  void fill(const T& v) {
    for (int i = 0; i <= n_ && data_; ++i) data_[i] = v;
  }
  bool empty() const { return !data_; }
  explicit operator bool() const { return static_cast<bool>(data_); }
  int size() const { return n_; }  // the highest valid index
  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }

  T& operator[](int i) {
    NIVRA_INDEX("array1d", i, 0, n_);
    return data_[i];
  }
  const T& operator[](int i) const {
    NIVRA_INDEX("array1d", i, 0, n_);
    return data_[i];
  }
  T* begin() { return data_.get(); }
  T* end() { return data_ ? data_.get() + n_ + 1 : nullptr; }

 private:
  zeroed_ptr<T> data_;
  int n_ = 0;
};

// A checked view of one row of a 2-D or 3-D array.
template <class T>
class row_view {
 public:
  row_view(T* p, int m) : p_(p), m_(m) {}
  T& operator[](int j) const {
    NIVRA_INDEX("array row", j, 0, m_);
    return p_[j];
  }
  T* data() const { return p_; }
  int size() const { return m_; }
  operator T*() const { return p_; }  // NOLINT: rows pass to routines taking T*

 private:
  T* p_;
  int m_;
};

// ---------------------------------------------------------------- 2-D
// The storage of the 2-D arrays: (n + 1) x (m + 1) elements in one block,
// zeroed when made. The arrays below differ only in where (i, j) lies.
template <class T>
class block2d {
 public:
  // Zeroed [0..n][0..m]. A zero extent leaves the array empty.
  void alloc(int n, int m) {
    data_.reset();
    n_ = m_ = 0;
    if (n <= 0 || m <= 0) return;
    data_.reset(make_zeroed<T>(size_of(n, m)));
    n_ = n;
    m_ = m;
  }
  void free() {
    data_.reset();
    n_ = m_ = 0;
  }
  void fill(const T& v) {
    if (!data_) return;
    const std::size_t total = size_of(n_, m_);
    for (std::size_t k = 0; k < total; ++k) data_[k] = v;
  }
  bool empty() const { return !data_; }
  explicit operator bool() const { return static_cast<bool>(data_); }
  int rows() const { return n_; }
  int cols() const { return m_; }
  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }

 protected:
  block2d() = default;
  block2d(block2d&&) noexcept = default;
  block2d& operator=(block2d&&) noexcept = default;
  block2d(const block2d&) = delete;
  block2d& operator=(const block2d&) = delete;
  ~block2d() = default;
  static std::size_t size_of(int n, int m) {
    return (static_cast<std::size_t>(n) + 1) * (static_cast<std::size_t>(m) + 1);
  }

  zeroed_ptr<T> data_;
  int n_ = 0, m_ = 0;
};

// Rows 0..n of m + 1 elements, row-major: element (i, j) of row i.
template <class T>
class array2d : public block2d<T> {
 public:
  array2d() = default;
  array2d(int n, int m) { this->alloc(n, m); }

  row_view<T> operator[](int i) {
    NIVRA_INDEX("array2d", i, 0, this->n_);
    return row_view<T>(this->data_.get() + static_cast<std::size_t>(i) * (this->m_ + 1), this->m_);
  }
  row_view<const T> operator[](int i) const {
    NIVRA_INDEX("array2d", i, 0, this->n_);
    return row_view<const T>(this->data_.get() + static_cast<std::size_t>(i) * (this->m_ + 1), this->m_);
  }
  T& operator()(int i, int j) { return this->data_[at(i, j)]; }
  const T& operator()(int i, int j) const { return this->data_[at(i, j)]; }

 private:
  std::size_t at(int i, int j) const {
    NIVRA_INDEX("array2d", i, 0, this->n_);
    NIVRA_INDEX("array2d column", j, 0, this->m_);
    return static_cast<std::size_t>(i) * (this->m_ + 1) + j;
  }
};

// ---------------------------------------------------------------- 2-D by column
// Indexed (i, j) over [0..n][0..m] like array2d, but stored column by
// column: the n + 1 elements of a column lie side by side, and column(j)
// hands them out as one row. Loops that walk i within a column read
// contiguous memory.
template <class T>
class column_array2d : public block2d<T> {
 public:
  column_array2d() = default;
  column_array2d(int n, int m) { this->alloc(n, m); }
  // Elements 0..n of column j.
  row_view<T> column(int j) {
    NIVRA_INDEX("column_array2d column", j, 0, this->m_);
    return row_view<T>(this->data_.get() + static_cast<std::size_t>(j) * (this->n_ + 1), this->n_);
  }
  row_view<const T> column(int j) const {
    NIVRA_INDEX("column_array2d column", j, 0, this->m_);
    return row_view<const T>(this->data_.get() + static_cast<std::size_t>(j) * (this->n_ + 1), this->n_);
  }
  T& operator()(int i, int j) { return this->data_[at(i, j)]; }
  const T& operator()(int i, int j) const { return this->data_[at(i, j)]; }

 private:
  std::size_t at(int i, int j) const {
    NIVRA_INDEX("column_array2d", i, 0, this->n_);
    NIVRA_INDEX("column_array2d column", j, 0, this->m_);
    return static_cast<std::size_t>(j) * (this->n_ + 1) + i;
  }
};

// ---------------------------------------------------------------- 3-D
template <class T>
class array3d {
 public:
  array3d() = default;
  array3d(int n, int m, int k) { alloc(n, m, k); }
  array3d(array3d&&) noexcept = default;
  array3d& operator=(array3d&&) noexcept = default;
  array3d(const array3d&) = delete;
  array3d& operator=(const array3d&) = delete;

  void alloc(int n, int m, int k) {
    data_.reset();
    n_ = m_ = k_ = 0;
    if (n <= 0 || m <= 0 || k <= 0) return;
    std::size_t total = (static_cast<std::size_t>(n) + 1) * (static_cast<std::size_t>(m) + 1) *
                        (static_cast<std::size_t>(k) + 1);
    data_.reset(make_zeroed<T>(total));
    n_ = n;
    m_ = m;
    k_ = k;
  }
  void free() {
    data_.reset();
    n_ = m_ = k_ = 0;
  }
  void fill(const T& v) {
    if (!data_) return;
    std::size_t total = (static_cast<std::size_t>(n_) + 1) * (m_ + 1) * (k_ + 1);
    for (std::size_t q = 0; q < total; ++q) data_[q] = v;
  }
  bool empty() const { return !data_; }
  explicit operator bool() const { return static_cast<bool>(data_); }
  int dim1() const { return n_; }
  int dim2() const { return m_; }
  int dim3() const { return k_; }
  T* data() { return data_.get(); }

  T& operator()(int i, int j, int k) {
    NIVRA_INDEX("array3d", i, 0, n_);
    NIVRA_INDEX("array3d", j, 0, m_);
    NIVRA_INDEX("array3d", k, 0, k_);
    return data_[(static_cast<std::size_t>(i) * (m_ + 1) + j) * (k_ + 1) + k];
  }
  const T& operator()(int i, int j, int k) const {
    NIVRA_INDEX("array3d", i, 0, n_);
    NIVRA_INDEX("array3d", j, 0, m_);
    NIVRA_INDEX("array3d", k, 0, k_);
    return data_[(static_cast<std::size_t>(i) * (m_ + 1) + j) * (k_ + 1) + k];
  }
  // a[i][j][k]
  class slab {
   public:
    slab(T* p, int m, int k) : p_(p), m_(m), k_(k) {}
    row_view<T> operator[](int j) const {
      NIVRA_INDEX("array3d", j, 0, m_);
      return row_view<T>(p_ + static_cast<std::size_t>(j) * (k_ + 1), k_);
    }

   private:
    T* p_;
    int m_, k_;
  };
  slab operator[](int i) {
    NIVRA_INDEX("array3d", i, 0, n_);
    return slab(data_.get() + static_cast<std::size_t>(i) * (m_ + 1) * (k_ + 1), m_, k_);
  }

 private:
  zeroed_ptr<T> data_;
  int n_ = 0, m_ = 0, k_ = 0;
};

// ---------------------------------------------------------------- named allocators
// They make the owner's array with every element zero and name the variable
// when it cannot be made. n = 0 quietly leaves the array empty; n = -1 is a
// request for an array of size 0 and is reported.
bool alloc_1d_double(array1d<double>& field, int n, const char* name);
bool alloc_1d_int(array1d<int>& field, int n, const char* name);
bool alloc_2d_double(int n, int m, array2d<double>& field, const char* name);
bool alloc_2d_int(array2d<int>& field, int n, int m, const char* name);
bool alloc_3d_double(int n, int m, int k, array3d<double>& field, const char* name);
// [0..n][0..3][0..m] ints: the lake search directions.
bool alloc_lake_search(int n, int m, array3d<int>& field);
// (n + 2) x (m + 1) doubles; a zero count is reported and still allocated.
bool alloc_stream_pointsource(array2d<double>& field, int n, int m);

template <class T>
void free_2d_array(array2d<T>& a) {
  a.free();
}
template <class T>
void free_3d_array(array3d<T>& a) {
  a.free();
}

}  // namespace nivra
