// A small dense matrix, column-major like the array runtime (element (r, c) at c * rows + r).
#pragma once

#include <cstddef>
#include <vector>

namespace kelvane::coding {

template <class T>
struct Matrix {
  std::size_t rows = 0;
  std::size_t cols = 0;
  std::vector<T> data;  // column-major

  Matrix() = default;
  Matrix(std::size_t r, std::size_t c, T fill = T{}) : rows(r), cols(c), data(r * c, fill) {}
  Matrix(std::size_t r, std::size_t c, std::vector<T> columnMajor)
      : rows(r), cols(c), data(std::move(columnMajor)) {}

  T& operator()(std::size_t r, std::size_t c) { return data[c * rows + r]; }
  const T& operator()(std::size_t r, std::size_t c) const { return data[c * rows + r]; }
  std::vector<T> row(std::size_t r) const {
    std::vector<T> out(cols);
    for (std::size_t c = 0; c < cols; ++c)
      out[c] = (*this)(r, c);
    return out;
  }
  bool operator==(const Matrix&) const = default;
};

}  // namespace kelvane::coding
