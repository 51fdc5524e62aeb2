// Growable named containers used while inputs are read: checked_array (a
// named 1-D array that records out-of-range indexing and reports it when it
// is destroyed) and jagged_array / jagged_array3 (1-based tables of rows,
// each row owned by the table or borrowed). Both keep guard copies of their
// pointers and counts and refuse to restructure themselves when a stray
// write has damaged them.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "core/arrays.h"
#include "core/text.h"

namespace nivra {

// Counts a checked array's report of an out-of-range access (the process
// state keeps the count, so that a run that made one ends as a failure).
void note_bad_range_report();

template <class T>
class checked_array {
 public:
  checked_array() = default;
  explicit checked_array(const char* name) { name_.assign_cut(name ? name : ""); }
  ~checked_array() { destroy(); }
  checked_array(const checked_array&) = delete;
  checked_array& operator=(const checked_array&) = delete;
  checked_array(checked_array&& o) noexcept { take(o); }
  checked_array& operator=(checked_array&& o) noexcept {
    if (this != &o) {
      destroy();
      take(o);
    }
    return *this;
  }

  void set_name(const char* name) { name_.assign_cut(name ? name : ""); }
  const char* name() const { return name_.c_str(); }
  int count() const { return count_; }
  bool empty() const { return count_ == 0; }
  bool bad_range() const { return bad_range_; }
  bool shift_index = false;

  // Element access: an index outside the array is recorded and lands on a
  // scratch element, so the array itself is never read or written there.
  T& operator[](int i) {
    if (shift_index) ++i;
    if (i < 0 || i > count_ || !data_) {
      bad_range_ = true;
      scratch_ = T{};
      return scratch_;
    }
    return data_[i];
  }
  const T& operator[](int i) const { return const_cast<checked_array&>(*this)[i]; }
  T* data() { return data_.get(); }

  // Adds n elements (value-initialised); the old elements keep their values.
  // Returns the new count.
  int grow(int n) {
    if (!guards_ok()) return count_;
    if (n < 0) n = 0;
    if (count_ == 0) {
      data_.reset(new T[static_cast<std::size_t>(n) + 1]());
      count_ = n;
    } else {
      std::unique_ptr<T[]> fresh(new T[static_cast<std::size_t>(count_ + n) + 1]());
      for (int i = 0; i <= count_; ++i) fresh[i] = std::move(data_[i]);
      data_ = std::move(fresh);
      count_ += n;
    }
    sync_guards();
    return count_;
  }
  int grow_fill(int n, const T& value) {
    int old = count_;
    if (!guards_ok()) return count_;
    grow(n);
    for (int i = old + 1; i <= count_; ++i) data_[i] = value;
    return count_;
  }
  int grow10() { return grow(10); }
  int grow13() { return grow(13); }

  // Copies elements 1..min(count) from the source; counts do not change.
  checked_array& assign(const checked_array& src) {
    int n = count_ < src.count_ ? count_ : src.count_;
    for (int i = 1; i <= n; ++i) data_[i] = src.data_[i];
    return *this;
  }

  // Reports an out-of-range access made during the array's life, then frees.
  void destroy() {
    if (bad_range_) {
      std::printf("Error: bad range addressed in array %s\n", name_.c_str());
      note_bad_range_report();
    }
    bad_range_ = false;
    data_.reset();
    count_ = 0;
    sync_guards();
  }

  // For tests of the damage check only: makes the guard disagree.
  void corrupt_guard_for_test() { count_guard_ = count_ + 1; }

 private:
  bool guards_ok() const {
    if (data_guard_ != data_.get() || count_guard_ != count_) {
      std::printf("\n\nError!! Bad pointers found in array %s.\n\n", name_.c_str());
      return false;
    }
    return true;
  }
  void sync_guards() {
    data_guard_ = data_.get();
    count_guard_ = count_;
  }
  void take(checked_array& o) {
    data_ = std::move(o.data_);
    count_ = o.count_;
    bad_range_ = o.bad_range_;
    shift_index = o.shift_index;
    name_ = o.name_;
    o.count_ = 0;
    o.bad_range_ = false;
    o.sync_guards();
    sync_guards();
  }

  const T* data_guard_ = nullptr;
  int count_guard_ = 0;
  std::unique_ptr<T[]> data_;
  int count_ = 0;
  bool bad_range_ = false;
  fixed_text<50> name_;
  T scratch_{};
};

// Element of a checked array holding two checked arrays and two ints (the
// gage weights of a cell: source series and weights, source count, cell).
struct array_pair_entry {
  checked_array<double> first;
  checked_array<double> second;
  int n = 0;
  int cell = 0;
};

// A 1-based table of rows. Rows made by the table are owned by it; rows
// appended from outside are borrowed unless `adopt` is set.
template <class T>
class jagged_array {
 public:
  jagged_array() = default;
  explicit jagged_array(const char* name) { name_.assign_cut(name ? name : ""); }
  jagged_array(const jagged_array&) = delete;
  jagged_array& operator=(const jagged_array&) = delete;
  ~jagged_array() { destroy(); }

  int count() const { return count_; }
  int row_length() const { return row_length_; }
  bool empty() const { return count_ == 0; }
  int adopt = 0;

  // Row i, or null outside 1..count.
  T* row(int i) const { return (i < 1 || i > count_) ? nullptr : rows_[i]; }
  T* operator[](int i) const {
    NIVRA_INDEX("jagged_array", i, 1, count_);
    return rows_[i];
  }
  T& operator()(int i, int j) const {
    NIVRA_INDEX("jagged_array", i, 1, count_);
    NIVRA_INDEX("jagged_array row", j, 0, row_length_);
    return rows_[i][j];
  }
  bool owned(int i) const { return i >= 1 && i <= count_ && owned_[i]; }

  // True when the guards and every entry of the row table match their copies.
  bool check() const {
    bool ok = count_guard_ == count_ && rows_copy_.size() == rows_.size();
    for (std::size_t i = 0; ok && i < rows_.size(); ++i) ok = rows_copy_[i] == rows_[i];
    if (!ok) std::printf("\n\nError!! Bad pointers found in 2D array.\n\n");
    return ok;
  }
  int resync() {
    rows_copy_ = rows_;
    count_guard_ = count_;
    return count_;
  }

  // Adds n rows of row_length + 1 elements (value-initialised); row_length
  // -1 keeps the table's length. Returns the new count (0 when damaged).
  int grow(int n, int row_length = -1) {
    if (!check()) return 0;
    if (n < 0) n = 0;
    take_length(row_length);
    for (int k = 0; k < n; ++k) {
      store_.emplace_back(new T[static_cast<std::size_t>(row_length_) + 1]());
      push(store_.back().get(), 1);
    }
    return resync();
  }
  // Adds at least one row and sets elements 1..length of each new row.
  int grow_fill(int n, const T& value, int row_length = -1) {
    if (!check()) return 0;
    if (n < 1) n = 1;
    int old = count_;
    grow(n, row_length);
    int len = row_length != -1 ? row_length : row_length_;
    if (len > row_length_) len = row_length_;
    for (int i = old + 1; i <= count_; ++i)
      for (int j = 1; j <= len; ++j) rows_[i][j] = value;
    return count_;
  }
  // Appends at least one row taken from the caller's 1-based row table.
  int append(int n, T* const* source_rows, int row_length = -1) {
    if (!adopt && !check()) return 0;
    if (n < 1) n = 1;
    take_length(row_length);
    for (int k = 1; k <= n; ++k) {
      if (adopt) store_.emplace_back(source_rows[k]);
      push(source_rows[k], adopt ? 1 : 0);
    }
    return resync();
  }

  void destroy() {
    if (!check()) {
      // A damaged table is left alone rather than freeing stray pointers.
      for (auto& p : store_) (void)p.release();
      store_.clear();
      return;
    }
    store_.clear();
    rows_.assign(1, nullptr);
    owned_.assign(1, 0);
    count_ = 0;
    row_length_ = 0;
    resync();
  }

  void corrupt_guard_for_test(int i) { rows_copy_[i] = nullptr; }

 private:
  void take_length(int row_length) {
    if (row_length != -1 && row_length_ == 0) row_length_ = row_length;
    if (row_length_ == 0) row_length_ = 1;
  }
  void push(T* p, char own) {
    rows_.push_back(p);
    owned_.push_back(own);
    ++count_;
  }

  fixed_text<50> name_;
  std::vector<T*> rows_{nullptr};
  std::vector<char> owned_{0};
  std::vector<T*> rows_copy_{nullptr};
  std::vector<std::unique_ptr<T[]>> store_;
  int count_ = 0;
  int count_guard_ = 0;
  int row_length_ = 0;
};

// A 1-based table of slabs, each a table of rows 1..rows of elements
// 1..row_length. Slabs made by the table are owned; appended slabs are
// borrowed from their owner.
template <class T>
class jagged_array3 {
 public:
  jagged_array3() = default;
  jagged_array3(const jagged_array3&) = delete;
  jagged_array3& operator=(const jagged_array3&) = delete;

  int count() const { return count_; }
  int rows() const { return rows_; }
  int row_length() const { return row_length_; }

  T& operator()(int s, int r, int j) const {
    NIVRA_INDEX("jagged_array3 slab", s, 1, count_);
    NIVRA_INDEX("jagged_array3 row", r, 0, rows_);
    NIVRA_INDEX("jagged_array3 element", j, 0, row_length_);
    return slabs_[s][r][j];
  }
  T* row(int s, int r) const {
    if (s < 1 || s > count_ || r < 0 || r > rows_) return nullptr;
    return slabs_[s][r];
  }

  // Appends n owned slabs with every element 1..row_length of rows 1..rows
  // set to value.
  int grow_fill(int n, const T& value, int rows, int row_length) {
    if (n < 1) return count_;
    if (rows >= 0) rows_ = rows;
    if (row_length >= 0) row_length_ = row_length;
    for (int k = 0; k < n; ++k) {
      auto block = std::make_unique<array2d<T>>();
      block->alloc(rows_ > 0 ? rows_ : 1, row_length_ > 0 ? row_length_ : 1);
      std::vector<T*> table(static_cast<std::size_t>(rows_) + 1, nullptr);
      for (int r = 0; r <= rows_; ++r) table[r] = (*block)[r].data();
      for (int r = 1; r <= rows_; ++r)
        for (int j = 1; j <= row_length_; ++j) table[r][j] = value;
      owned_blocks_.push_back(std::move(block));
      slabs_.push_back(std::move(table));
      ++count_;
    }
    return count_;
  }
  // Appends one borrowed slab whose rows are those of the caller's array.
  int append(array2d<T>& slab) {
    rows_ = slab.rows();
    row_length_ = slab.cols();
    std::vector<T*> table(static_cast<std::size_t>(rows_) + 1, nullptr);
    for (int r = 0; r <= rows_; ++r) table[r] = slab[r].data();
    slabs_.push_back(std::move(table));
    ++count_;
    return count_;
  }

 private:
  std::vector<std::vector<T*>> slabs_{std::vector<T*>{}};
  std::vector<std::unique_ptr<array2d<T>>> owned_blocks_;
  int count_ = 0;
  int rows_ = 0;
  int row_length_ = 0;
};

}  // namespace nivra
