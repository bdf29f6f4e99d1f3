// Run storage: large blocks aligned to huge pages and offered to the system for them.
#include "transform/fixed_array.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace ftir::transform {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kCacheLine = 64;

}  // namespace

void* allocate_run_storage(std::size_t bytes) {
  void* storage = nullptr;
  if (bytes < kHugePage) {
    // On a cache line, so that no register-wide load of the transform straddles two.
    storage = std::aligned_alloc(kCacheLine, (bytes + kCacheLine) / kCacheLine * kCacheLine);
  } else {
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    storage = std::aligned_alloc(kHugePage, rounded);
#ifdef MADV_HUGEPAGE
    // Only a request: without huge pages the memory works the same, page by page. The part
    // beyond the last whole huge page of `bytes` keeps small pages, so that an array used
    // just past a boundary does not clear a whole huge page for a few kilobytes.
    if (storage != nullptr) madvise(storage, bytes / kHugePage * kHugePage, MADV_HUGEPAGE);
#endif
  }
  if (storage == nullptr) throw std::bad_alloc();
  return storage;
}

void release_run_storage(void* storage) noexcept { std::free(storage); }

}  // namespace ftir::transform
