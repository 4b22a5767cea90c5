// What the terminal can do, from terminfo: kept apart because <term.h> defines macros
// with everyday names.
#ifndef SETUP_APP_TERMINAL_TERMINAL_CAPS_H_
#define SETUP_APP_TERMINAL_TERMINAL_CAPS_H_

#include <string>

namespace setup {

struct TerminalCaps {
  bool colour = false;     // at least 8 colours, and NO_COLOR is unset or empty
  std::string erase_line;  // clear to the end of the line; empty when there is none
};

// The capabilities of the terminal on `fd` as $TERM describes it.
TerminalCaps QueryTerminal(int fd);

// The terminal's width in columns, 80 when it cannot be told.
int TerminalColumns(int fd);

}  // namespace setup

#endif  // SETUP_APP_TERMINAL_TERMINAL_CAPS_H_
