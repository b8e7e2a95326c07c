// Fixed-capacity arrays indexed from 1.
//
// The model's tables and vectors are numbered from 1 everywhere in the
// documentation, the input files and the messages (constituent 1..NCOMP,
// output time 1..NTIMES, RXPAR(1..19)). Array1 keeps that numbering in the
// code, so that `RXPAR(7)` means the seventh reaction parameter, and checks
// every index against the capacity in debug builds and in the sanitizer build.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <vector>

namespace qz5 {

template <typename T, int N>
class Array1 {
 public:
  static constexpr int kCapacity = N;

  T& operator()(int i) {
    assert(i >= 1 && i <= N);
    return data_[static_cast<std::size_t>(i - 1)];
  }
  const T& operator()(int i) const {
    assert(i >= 1 && i <= N);
    return data_[static_cast<std::size_t>(i - 1)];
  }
  // Pointer to element 1, for routines that take a plain array.
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }
  void fill(const T& v) { data_.fill(v); }

 private:
  std::array<T, N> data_{};
};

// A 1-indexed array whose length is chosen at set-up from the scenario
// (resize), for the integrator's work area and the input series, which have
// no fixed capacity once the legacy limits are lifted. Sized once before the
// run; element access never allocates.
template <typename T>
class DynArray1 {
 public:
  DynArray1() = default;
  explicit DynArray1(int n) { resize(n); }

  // Sets the length to n (>= 0), keeping the first elements; new elements
  // are value-initialised.
  void resize(int n) { data_.resize(static_cast<std::size_t>(n)); }
  int size() const { return static_cast<int>(data_.size()); }

  T& operator()(int i) {
    assert(i >= 1 && i <= size());
    return data_[static_cast<std::size_t>(i - 1)];
  }
  const T& operator()(int i) const {
    assert(i >= 1 && i <= size());
    return data_[static_cast<std::size_t>(i - 1)];
  }
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }
  void fill(const T& v) { std::fill(data_.begin(), data_.end(), v); }

 private:
  std::vector<T> data_;
};

// A table indexed (row, column) from 1, stored column by column, whose size
// is set at set-up: a series table that starts at its legacy capacity and
// grows when a scenario needs more (the legacy limits lifted).
template <typename T>
class DynTable1 {
 public:
  DynTable1() = default;
  DynTable1(int rows, int cols) { resize(rows, cols); }

  // Sets the size, keeping every element that lies inside both the old and
  // the new size; new elements are value-initialised.
  void resize(int rows, int cols) {
    std::vector<T> grown(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), T{});
    for (int c = 0; c < std::min(cols, cols_); ++c)
      for (int r = 0; r < std::min(rows, rows_); ++r)
        grown[static_cast<std::size_t>(c) * rows + r] =
            data_[static_cast<std::size_t>(c) * rows_ + r];
    data_.swap(grown);
    rows_ = rows;
    cols_ = cols;
  }
  int rows() const { return rows_; }
  int cols() const { return cols_; }

  T& operator()(int r, int c) {
    assert(r >= 1 && r <= rows_ && c >= 1 && c <= cols_);
    return data_[static_cast<std::size_t>(c - 1) * rows_ + (r - 1)];
  }
  const T& operator()(int r, int c) const {
    assert(r >= 1 && r <= rows_ && c >= 1 && c <= cols_);
    return data_[static_cast<std::size_t>(c - 1) * rows_ + (r - 1)];
  }
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }

 private:
  std::vector<T> data_;
  int rows_ = 0;
  int cols_ = 0;
};

// A fixed-capacity table indexed (row, column) from 1, stored column by column.
template <typename T, int Rows, int Cols>
class Table1 {
 public:
  static constexpr int kRows = Rows;
  static constexpr int kCols = Cols;

  T& operator()(int r, int c) {
    assert(r >= 1 && r <= Rows && c >= 1 && c <= Cols);
    return data_[static_cast<std::size_t>((c - 1) * Rows + (r - 1))];
  }
  const T& operator()(int r, int c) const {
    assert(r >= 1 && r <= Rows && c >= 1 && c <= Cols);
    return data_[static_cast<std::size_t>((c - 1) * Rows + (r - 1))];
  }
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }

 private:
  std::array<T, static_cast<std::size_t>(Rows) * Cols> data_{};
};

}  // namespace qz5
