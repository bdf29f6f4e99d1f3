// Fixed-capacity storage allocated once per run.
#pragma once

#include <cassert>
#include <cstddef>
#include <memory>

namespace ftir::transform {

// Fixed-capacity storage for the run, 0-based, whose elements start out indeterminate
// rather than zero: every file writes the elements it later reads, and memory that a run
// never uses is never touched (the run's arrays hold tens of megabytes).
template <class T>
class FixedArray {
 public:
  explicit FixedArray(std::size_t size)
      : data_(std::make_unique_for_overwrite<T[]>(size)), size_(size) {}
  T* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  T* begin() const { return data_.get(); }
  T* end() const { return data_.get() + size_; }
  T& operator[](std::size_t i) const {
    assert(i < size_);
    return data_[i];
  }

 private:
  std::unique_ptr<T[]> data_;
  std::size_t size_;
};

}  // namespace ftir::transform
