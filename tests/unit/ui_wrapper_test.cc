// UiWrapper: each method, called through a wrapper, reaches the Ui beneath once with the
// same arguments, and its answer comes back unchanged.
#include "platform/ui_wrapper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/probe_ui.h"

namespace setup {
namespace {

TEST(UiWrapperTest, EveryMethodReachesTheUiBeneathOnce) {
  for (const UiCase& c : kUiCases) {
    ProbeUi probe;
    UiWrapper wrapper(probe);
    EXPECT_EQ(c.invoke(wrapper), c.answer) << c.call;
    EXPECT_EQ(probe.calls, std::vector<std::string>{c.call});
  }
}

}  // namespace
}  // namespace setup
