// The shared library's lifecycle through its two exported entries.
#include <gtest/gtest.h>

#include "library/byname.hpp"
#include "registry/registry.hpp"

namespace kelvane::registry {
namespace {

TEST(Library, InitializeAndTerminateThroughTheExports) {
  EXPECT_THROW(call("Qarn_FwdTrfChnModParams", {Value::scalar(1)}, 1), Error);
  Qarn_FTM_c_libInitialize();
  EXPECT_TRUE(initialized());
  EXPECT_EQ(library().operations().entries().size(), 115u);
  EXPECT_TRUE(getVariable("trafficWaveform").isEmpty());
  Qarn_FTM_c_libTerminate();
  EXPECT_FALSE(initialized());
  EXPECT_THROW(getVariable("trafficWaveform"), Error);
}

}  // namespace
}  // namespace kelvane::registry
