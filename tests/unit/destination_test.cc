// The destination typed in SetupDialog must survive the code page whole: one it cannot
// hold is refused with one message before anything runs.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

constexpr const char* kScript = "MakeDir \"$$SETUPDIR$$\"\n";

std::string Refusal(const std::string& destination) {
  return "The destination '" + destination +
         "' has characters that this system's code page cannot hold";
}

TEST(DestinationTest, CodePageRoundTrip) {
  struct Case {
    std::string typed;
    std::deque<std::string> corrections;
    int status;
    std::vector<std::string> made;  // the fake system's record
    std::vector<std::string> messages;
  } cases[] = {
      {"C:\\App", {}, kExitFinished, {"mkdir C:\\App"}, {}},
      // Code page 932 holds these: the run gets their code-page bytes.
      {"C:\\アプリ", {}, kExitFinished, {"mkdir C:\\\x83\x41\x83\x76\x83\x8a"}, {}},
      {"C:\\100%", {}, kExitFinished, {"mkdir C:\\100%"}, {}},
      // Nobody can correct it: start-up ends, nothing is made.
      {"C:\\Café", {}, kExitStartupFailed, {}, {Refusal("C:\\Café")}},
      {"C:\\100% Café", {}, kExitStartupFailed, {}, {Refusal("C:\\100% Café")}},
      {"C:\\Caf\xE9", {}, kExitStartupFailed, {}, {Refusal("C:\\Caf\xE9")}},  // not UTF-8
      // Corrected after the refusal: the run uses the correction.
      {"C:\\Café", {"C:\\Cafe"}, kExitFinished, {"mkdir C:\\Cafe"}, {Refusal("C:\\Café")}},
      {"C:\\Café",
       {"C:\\Ça", "C:\\Ok"},
       kExitFinished,
       {"mkdir C:\\Ok"},
       {Refusal("C:\\Café"), Refusal("C:\\Ça")}},
  };
  for (const Case& c : cases) {
    AppFixture f;
    f.ui.type_destination = true;
    f.ui.typed_destination = c.typed;
    f.ui.corrections = c.corrections;
    EXPECT_EQ(f.Start(kScript), c.status) << c.typed;
    EXPECT_EQ(f.system.log, c.made) << c.typed;
    EXPECT_EQ(f.messages(), c.messages) << c.typed;
    if (c.status != kExitFinished) {
      EXPECT_EQ(f.app->context.macros.count(), 3) << c.typed;  // no $$SETUPDIR$$: nothing ran
      EXPECT_TRUE(f.ui.positions.empty()) << c.typed;
    }
  }
}

}  // namespace
}  // namespace setup
