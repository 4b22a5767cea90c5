// Stands in for the script checker until it is built: says so and fails as start-up does.
#include "app/check_command.h"

namespace setup {

int RunCheckCommand(System&, std::string_view, std::string_view, std::FILE* out) {
  std::fputs("the script checker is not available\n", out);
  return 3;
}

}  // namespace setup
