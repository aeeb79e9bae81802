// The large-row memory: rows on 2 MB boundaries, freed rows kept and served again to rows of the
// same or a somewhat smaller size without page faults, and every byte of a mapping returned.
#include "synthesis/samples.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kelvane::synthesis {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

long faultsOfThisThread() {
  rusage u{};
  ::getrusage(RUSAGE_THREAD, &u);
  return u.ru_minflt;
}

// Whether every page of [p, p + bytes) is mapped (mincore fails with ENOMEM on unmapped pages).
bool mapped(const void* p, std::size_t bytes) {
  std::vector<unsigned char> pages(bytes / 4096 + 1);
  return ::mincore(const_cast<void*>(p), bytes, pages.data()) == 0;
}

TEST(LargeRows, FreedRowsServeTheNextRowWithoutFaultsAndGoBackWhole) {
  releaseLargeRows();
  void* first = allocateLarge(10 * kMiB);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % (2 * kMiB), 0u);
  std::memset(first, 1, 10 * kMiB);
  deallocateLarge(first, 10 * kMiB);
  EXPECT_TRUE(mapped(first, 10 * kMiB));  // kept

  // A row of 7 MB (8 MB of huge pages) takes the kept block; the 2 MB beyond it go back at once.
  const long before = faultsOfThisThread();
  void* second = allocateLarge(7 * kMiB);
  ASSERT_EQ(second, first);
  std::memset(second, 2, 7 * kMiB);
  EXPECT_LT(faultsOfThisThread() - before, 8);  // none, give or take the test's own pages
  EXPECT_TRUE(mapped(second, 8 * kMiB));
  EXPECT_FALSE(mapped(static_cast<char*>(first) + 8 * kMiB, 2 * kMiB));

  // A row of less than half the kept block gets a mapping of its own.
  deallocateLarge(second, 7 * kMiB);
  void* small = allocateLarge(kMiB);
  EXPECT_NE(small, second);
  deallocateLarge(small, kMiB);

  releaseLargeRows();
  EXPECT_FALSE(mapped(second, 8 * kMiB));
  EXPECT_FALSE(mapped(small, 2 * kMiB));
}

// A sample row resized leaves its samples unwritten, and a recalculation's row of the same size
// reuses the memory of the row freed before it.
TEST(LargeRows, SampleRowsOfARecalculationReuseTheFreedRow) {
  releaseLargeRows();
  const std::complex<double>* data = nullptr;
  {
    Samples row(1 << 20);  // 16 MB
    row.back() = {1, 2};
    data = row.data();
  }
  Samples again;
  const long before = faultsOfThisThread();
  again.resize(1 << 20);
  EXPECT_EQ(again.data(), data);
  EXPECT_EQ(again.back(), (std::complex<double>{1, 2}));  // as the memory holds it
  std::fill(again.begin(), again.end(), std::complex<double>{});
  EXPECT_LT(faultsOfThisThread() - before, 8);
  again = Samples();
  releaseLargeRows();
}

}  // namespace
}  // namespace kelvane::synthesis
