// 1-based, column-major views of plain arrays.
//
// The banded routines are written in the classic numbering: rows and columns
// count from 1 and a matrix is stored column by column. These views turn that
// numbering into C++ offsets in one place, so the algorithms read exactly as
// their index arithmetic is stated and no "- 1" is scattered through them.
// A view does not own its array and does no bounds checking.
#pragma once

#include <cstddef>

namespace qz5::linalg_detail {

// Element (i, j) of a matrix with leading dimension ld, counted from (1, 1).
template <typename T>
class Matrix1 {
 public:
  Matrix1(T* base, int ld) : base_(base), ld_(ld) {}
  T& operator()(int i, int j) const {
    return base_[static_cast<std::ptrdiff_t>(i - 1) + static_cast<std::ptrdiff_t>(j - 1) * ld_];
  }
  // Address of element (i, j): a column segment handed to a vector kernel.
  T* at(int i, int j) const { return &(*this)(i, j); }

 private:
  T* base_;
  int ld_;
};

// Element i of a vector, counted from 1.
template <typename T>
class Vector1 {
 public:
  explicit Vector1(T* base) : base_(base) {}
  T& operator()(int i) const { return base_[static_cast<std::ptrdiff_t>(i - 1)]; }
  T* at(int i) const { return &(*this)(i); }

 private:
  T* base_;
};

// Walk of n elements with stride inc over a vector counted from 1: a negative
// stride starts at element (1 - n)*inc + 1, so the walk always ends inside the
// array. Element k (1..n) of the walk is array element start + (k - 1)*inc.
inline int walk_start(int n, int inc) { return inc < 0 ? (1 - n) * inc + 1 : 1; }

}  // namespace qz5::linalg_detail
