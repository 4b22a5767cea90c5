// Where SetupDialog draws its icon while minimised: centred in the client area, with the
// signed division that truncates toward zero (a client area narrower than the icon by
// one or two pixels still gives 0, not -1).
#ifndef SETUP_APP_WIN32_ICON_LAYOUT_H_
#define SETUP_APP_WIN32_ICON_LAYOUT_H_

namespace setup {

constexpr int CentredIconOrigin(int client_extent, int icon_extent) {
  return (client_extent - icon_extent + 1) / 2;
}

static_assert(CentredIconOrigin(36, 32) == 2);
static_assert(CentredIconOrigin(37, 32) == 3);
static_assert(CentredIconOrigin(30, 32) == 0);
static_assert(CentredIconOrigin(28, 32) == -1);

}  // namespace setup

#endif  // SETUP_APP_WIN32_ICON_LAYOUT_H_
