// The preset destination changes SetupDialog's destination and passes every other call
// on unchanged.
#include "app/preset_destination.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/probe_ui.h"

namespace setup {
namespace {

TEST(PresetDestinationTest, ChangesOnlySetupDialogsDestination) {
  for (const UiCase& c : kUiCases) {
    ProbeUi probe;
    PresetDestinationUi preset(probe, "D:\\Preset");
    std::string expected = c.call;
    if (expected.rfind("SetupDialog ", 0) == 0) expected = "SetupDialog T|D:\\Preset";
    EXPECT_EQ(c.invoke(preset), c.answer) << c.call;
    EXPECT_EQ(probe.calls, std::vector<std::string>{expected});
  }
}

}  // namespace
}  // namespace setup
