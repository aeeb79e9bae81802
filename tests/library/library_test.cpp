// The shared library's lifecycle through its two exported entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "library/binders.hpp"
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

// The core binds no window operation, and every window operation is one of the library's names:
// the command-line tool (core only) then lists exactly these as belonging to the desktop program.
TEST(Library, TheCoreBindsEverythingButTheWindowOperations) {
  const auto declared = libraryDeclarations();
  for (std::string_view name : library::windowOperationNames())
    EXPECT_TRUE(std::any_of(declared.begin(), declared.end(),
                            [&](const Declaration& d) { return d.name == name; }))
        << name;
  library::initializeCore();
  for (const auto& e : library().operations().entries())
    if (library::isWindowOperation(e.name)) {
      EXPECT_FALSE(e.built()) << e.name;
    }
  EXPECT_TRUE(library().operations().find("rfCommonUI")->built());  // the file actions' dispatcher
  EXPECT_FALSE(library::isWindowOperation("Qarn_FwdModulatedWaveform"));
  terminate();
}

}  // namespace
}  // namespace kelvane::registry
