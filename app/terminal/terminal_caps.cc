#include "app/terminal/terminal_caps.h"

#include <curses.h>
#include <sys/ioctl.h>
#include <term.h>
#include <unistd.h>

#include <cstdlib>

namespace setup {

TerminalCaps QueryTerminal(int fd) {
  TerminalCaps caps;
  if (isatty(fd) != 1) return caps;  // a file or a pipe: plain text only
  int status = 0;
  if (setupterm(nullptr, fd, &status) != OK) return caps;
  const char* no_colour = std::getenv("NO_COLOR");
  caps.colour = (no_colour == nullptr || *no_colour == '\0') && tigetnum("colors") >= 8;
  const char* el = tigetstr("el");
  if (el != nullptr && el != reinterpret_cast<const char*>(-1)) caps.erase_line = el;
  del_curterm(cur_term);
  return caps;
}

int TerminalColumns(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace setup
