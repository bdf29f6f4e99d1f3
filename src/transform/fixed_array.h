// Fixed-capacity storage allocated once per run.
#pragma once

#include <cassert>
#include <cstddef>
#include <memory>
#include <type_traits>

namespace ftir::transform {

// Memory for a run's array of `bytes` bytes, its contents indeterminate, starting on a
// cache line. Blocks of a huge
// page or more start on a huge-page boundary and are offered to the system for huge pages:
// the first file of a run touches tens of megabytes, and one fault per 2 MiB instead of one
// per 4 KiB saves most of the cost of touching them. Throws std::bad_alloc.
void* allocate_run_storage(std::size_t bytes);
void release_run_storage(void* storage) noexcept;

// Fixed-capacity storage for the run, 0-based, whose elements start out indeterminate
// rather than zero: every file writes the elements it later reads, and memory that a run
// never uses is never touched (the run's arrays hold tens of megabytes).
template <class T>
class FixedArray {
  static_assert(std::is_trivial_v<T>, "elements are plain values that need no construction");

 public:
  explicit FixedArray(std::size_t size)
      : data_(static_cast<T*>(allocate_run_storage(size * sizeof(T)))), size_(size) {}
  T* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  T* begin() const { return data_.get(); }
  T* end() const { return data_.get() + size_; }
  T& operator[](std::size_t i) const {
    assert(i < size_);
    return data_[i];
  }

 private:
  struct Release {
    void operator()(T* p) const noexcept { release_run_storage(p); }
  };
  std::unique_ptr<T[], Release> data_;
  std::size_t size_;
};

}  // namespace ftir::transform
