// The names of one folder, found by their ASCII case folding in constant time.
//
// A folder of tens of thousands of entries is read once per run and looked up once or
// twice per file copied into it, so the set keeps its names flat: one block of text
// that holds every name, a vector of their places and an open-addressed table of those,
// each grown by doubling. Reading a folder costs a few allocations rather than one or two
// per name, a look-up folds and hashes the name without making a copy of it, and
// dropping the set frees three blocks.
#ifndef SETUP_PLATFORM_POSIX_FOLDED_NAMES_H_
#define SETUP_PLATFORM_POSIX_FOLDED_NAMES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

class FoldedNames {
 public:
  enum class Answer {
    kExact,   // the name is held with this very spelling
    kFolded,  // exactly one name held equals it ignoring ASCII case
    kNone,    // no name equals it ignoring case, or several do and none exactly
  };

  // As EqualsIgnoringAsciiCase compares: kExact with `*found` set to `name`, kFolded with
  // `*found` set to the one spelling held, kNone leaving `*found` as it was.
  Answer Lookup(std::string_view name, std::string* found) const;

  // Adds a spelling; one already held is not added twice.
  void Insert(std::string_view name);
  // Removes a spelling held with exactly this spelling; others that differ only in
  // case stay.
  void Erase(std::string_view name);
  void Clear();

  std::size_t size() const { return live_; }

 private:
  struct Entry {
    std::size_t offset;  // in text_
    std::uint32_t length;
    std::uint32_t hash;  // of the folded name
    bool live;           // false once erased: its slot stays taken until a rebuild
  };
  std::string_view Text(const Entry& entry) const {
    return std::string_view(text_).substr(entry.offset, entry.length);
  }
  // The slot of the live entry with exactly `name`'s spelling, or -1.
  std::ptrdiff_t FindExact(std::string_view name, std::uint32_t hash) const;
  // Makes the table hold the live entries only, with room for `extra` more at most a
  // half full.
  void Rebuild(std::size_t extra);
  void Place(std::uint32_t entry);

  std::string text_;
  std::vector<Entry> entries_;
  // A slot holds an entry's index + 1 in its low half (0: empty) and the entry's hash in
  // its high half, so that a probe passes other names without reading their entries.
  std::vector<std::uint64_t> table_;
  std::size_t live_ = 0;
  std::size_t taken_ = 0;  // slots that hold an entry, live or erased
};

// The hash FoldedNames keeps: FNV-1a over the name folded to ASCII lower case.
std::uint32_t FoldedNameHash(std::string_view name);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_FOLDED_NAMES_H_
