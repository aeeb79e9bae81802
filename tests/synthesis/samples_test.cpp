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

  // A row of 7 MB takes the kept block whole, and gives it back whole for a row of 10 MB.
  const long before = faultsOfThisThread();
  void* second = allocateLarge(7 * kMiB);
  ASSERT_EQ(second, first);
  std::memset(second, 2, 7 * kMiB);
  EXPECT_LT(faultsOfThisThread() - before, 8);  // none, give or take the test's own pages
  deallocateLarge(second, 7 * kMiB);
  ASSERT_EQ(allocateLarge(10 * kMiB), first);
  EXPECT_TRUE(mapped(first, 10 * kMiB));

  // A row of less than half the kept block gets a mapping of its own.
  deallocateLarge(first, 10 * kMiB);
  void* small = allocateLarge(kMiB);
  EXPECT_NE(small, second);
  deallocateLarge(small, kMiB);

  releaseLargeRows();
  EXPECT_FALSE(mapped(first, 10 * kMiB));
  EXPECT_FALSE(mapped(small, 2 * kMiB));
}

// A full store keeps the larger block: a waveform row outweighs small rows.
TEST(LargeRows, AFullStoreMakesRoomForALargerBlock) {
  releaseLargeRows();
  std::vector<void*> small;
  for (int i = 0; i < 12; ++i)
    small.push_back(allocateLarge(2 * kMiB));
  void* large = allocateLarge(40 * kMiB);
  for (void* p : small)
    deallocateLarge(p, 2 * kMiB);
  deallocateLarge(large, 40 * kMiB);
  EXPECT_TRUE(mapped(large, 40 * kMiB));
  EXPECT_EQ(allocateLarge(40 * kMiB), large);
  deallocateLarge(large, 40 * kMiB);
  releaseLargeRows();
  EXPECT_FALSE(mapped(large, 40 * kMiB));
}

// A sample row resized leaves its samples unwritten, and a recalculation's row of the same size
// reuses the memory of the row freed before it.
TEST(LargeRows, SampleRowsOfARecalculationReuseTheFreedRow) {
  releaseLargeRows();
  const std::complex<double>* data = nullptr;
  {
    Samples row(1 << 20);  // 16 MB, every page written as a calculation writes it
    std::fill(row.begin(), row.end(), std::complex<double>{3, 4});
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
