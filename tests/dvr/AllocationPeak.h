// The largest single block asked of operator new since the last reset, for
// tests that show a size read from a hostile disk is refused before anything
// of that size is allocated. The test binary replaces the global operator new
// to watch it (AllocationPeak.cpp).
#pragma once

#include <cstddef>

namespace velmora::testing_alloc {

void ResetLargestAllocation();
std::size_t LargestAllocation();

}  // namespace velmora::testing_alloc
