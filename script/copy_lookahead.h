// The byte copies a run is about to make, announced to the system before they are asked
// for (System::ExpectCopies), so that it can prepare them ahead.
#ifndef SETUP_SCRIPT_COPY_LOOKAHEAD_H_
#define SETUP_SCRIPT_COPY_LOOKAHEAD_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/encoding.h"
#include "platform/system.h"
#include "script/script_context.h"
#include "script/script_store.h"
#include "text/macro_table.h"

namespace setup {

// At most this many copies are announced at once.
inline constexpr std::size_t kCopiesAnnounced = 128;

// The copies of the BinCopy line `current` (expanded, after its keyword's blanks) and
// the BinCopy lines that follow it in `store` from `offset` on, expanded with `macros`
// as they stand, up to `limit` copies. The list ends before:
// - a line that is anything but a BinCopy, an empty line or a comment (nothing else runs
//   between the copies, so the macros do not change);
// - a line that cannot be read, expanded or cut, or lacks its destination (its run shows
//   why);
// - a copy that reads or writes a file an earlier one writes, or that may (the same
//   NameKey, or an empty one): a copy prepared early must read what it would have read
//   in its turn.
// Empty when `current` cannot be cut.
std::vector<System::CopyPair> UpcomingCopies(const ScriptContext& context, const ScriptStore& store,
                                             std::size_t offset, const MacroTable& macros,
                                             const char* current, std::size_t limit);

// The key under which the last name of `path`, in `encoding`, is compared with others:
// two paths whose keys differ never name one file. ASCII letters folded as Windows folds
// them (FoldPath), every double-byte character made one and the same mark (Windows folds
// more letters than ASCII ones), trailing dots and blanks dropped. Empty, standing for
// every name, for a name with a tilde (a short name may stand for any long one) or a
// colon (a stream).
std::string NameKey(const Encoding& encoding, std::string_view path);

}  // namespace setup

#endif  // SETUP_SCRIPT_COPY_LOOKAHEAD_H_
