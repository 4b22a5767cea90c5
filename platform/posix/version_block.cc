#include "platform/posix/version_block.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/posix/byte_view.h"
#include "platform/posix/utf16_text.h"

namespace setup {
namespace {

// One node of a VS_VERSIONINFO tree: WORD wLength, WORD wValueLength, in the 32-bit
// layout WORD wType, then the NUL-terminated key, the value and the children, each
// DWORD-aligned.
struct VersionNode {
  std::uint64_t end = 0;  // offset after the node
  std::uint16_t value_length = 0;
  std::uint16_t type = 0;      // 32-bit: 1 text, wValueLength in characters; 0 binary, in bytes
  std::u16string key;          // 16-bit: the ANSI bytes, one per unit
  std::uint64_t value = 0;     // offset of the value
  std::uint64_t children = 0;  // offset of the first child
};

std::uint64_t Align4(std::uint64_t offset) { return (offset + 3) & ~std::uint64_t{3}; }

// Windows takes a block for the 16-bit layout when its fifth byte, as a signed char, is
// at least a blank.
bool IsAnsiLayout(const ByteView& bytes) {
  std::uint8_t first = 0;
  return bytes.U8(4, &first) && first >= 0x20 && first < 0x80;
}

// The NUL-terminated key from `*at` on, which must end before `end`.
bool ReadKey(const ByteView& bytes, bool ansi, std::uint64_t end, std::uint64_t* at,
             std::u16string* key) {
  key->clear();
  for (;;) {
    std::uint16_t unit = 0;
    if (ansi) {
      std::uint8_t byte = 0;
      if (*at + 1 > end || !bytes.U8(*at, &byte)) return false;
      unit = byte;
      *at += 1;
    } else {
      if (*at + 2 > end || !bytes.U16(*at, &unit)) return false;
      *at += 2;
    }
    if (unit == 0) return true;
    key->push_back(static_cast<char16_t>(unit));
  }
}

// The node at `offset`, which must lie wholly before `limit` (its parent's end).
bool ReadVersionNode(const ByteView& bytes, bool ansi, std::uint64_t offset, std::uint64_t limit,
                     VersionNode* node) {
  const std::uint64_t header = ansi ? 4 : 6;
  std::uint16_t length = 0;
  if (limit > bytes.size() || offset > limit || limit - offset < header ||
      !bytes.U16(offset, &length) || length < header || length > limit - offset ||
      !bytes.U16(offset + 2, &node->value_length)) {
    return false;
  }
  node->type = 0;
  if (!ansi && !bytes.U16(offset + 4, &node->type)) return false;
  node->end = offset + length;
  std::uint64_t at = offset + header;
  if (!ReadKey(bytes, ansi, node->end, &at, &node->key)) return false;
  node->value = Align4(at);
  std::uint64_t value_bytes =
      !ansi && node->type == 1 ? std::uint64_t{node->value_length} * 2 : node->value_length;
  node->children = Align4(node->value + value_bytes);
  return true;
}

// Keys compare as Windows compares them: ASCII letters only in the 16-bit layout, the
// Unicode case table in the 32-bit one.
std::u16string FoldKey(bool ansi, std::u16string_view key) {
  if (!ansi) return FoldCase(key);
  std::u16string folded(key);
  for (char16_t& c : folded) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return folded;
}

// The node that `path` names below the root; `first` receives the path's first name.
bool FindNode(const ByteView& bytes, bool ansi, std::u16string_view path, VersionNode* node,
              std::u16string* first) {
  if (!ReadVersionNode(bytes, ansi, 0, bytes.size(), node)) return false;
  first->clear();
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t stop = std::min(path.find(u'\\', start), path.size());
    if (stop == start) {  // empty components are skipped, as Windows does
      ++start;
      continue;
    }
    std::u16string name = FoldKey(ansi, path.substr(start, stop - start));
    if (first->empty()) *first = name;
    bool found = false;
    VersionNode child;
    // Each child is at least 4 bytes long, so the walk ends.
    for (std::uint64_t at = node->children; at < node->end; at = Align4(child.end)) {
      if (!ReadVersionNode(bytes, ansi, at, node->end, &child)) break;
      if (FoldKey(ansi, child.key) == name) {
        found = true;
        break;
      }
    }
    if (!found) return false;
    *node = child;
    start = stop;
  }
  return true;
}

void AnswerUnicodeValue(const ByteView& bytes, const VersionNode& node, std::string* value) {
  std::uint64_t available = node.value < node.end ? node.end - node.value : 0;
  if (available == 0) return;  // an empty value
  if (node.type == 1) {
    std::uint64_t units = std::min<std::uint64_t>(node.value_length, available / 2);
    std::u16string text = Utf16FromLittleEndian(bytes.At(node.value), units);
    text.resize(std::min(text.size(), text.find(u'\0')));
    *value = Utf16ToCp932(text);
  } else {
    std::uint64_t length = std::min<std::uint64_t>(node.value_length, available);
    value->assign(reinterpret_cast<const char*>(bytes.At(node.value)), length);
  }
}

bool AnswerAnsiValue(const ByteView& bytes, const VersionNode& node, bool text,
                     std::string* value) {
  if (node.value > bytes.size()) return false;
  std::uint64_t room = bytes.size() - node.value;
  const char* begin = reinterpret_cast<const char*>(bytes.At(node.value));
  std::uint64_t length = std::min<std::uint64_t>(node.value_length, room);
  if (text) {
    const void* nul = room == 0 ? nullptr : std::memchr(begin, '\0', room);
    length =
        nul != nullptr ? static_cast<std::uint64_t>(static_cast<const char*>(nul) - begin) : room;
  }
  value->assign(begin, length);
  return true;
}

}  // namespace

bool QueryVersionBlock(const std::vector<std::uint8_t>& block, const std::string& sub_block,
                       std::string* value) {
  value->clear();
  ByteView bytes(block.data(), block.size());
  bool ansi = IsAnsiLayout(bytes);
  std::u16string path;
  if (ansi) {
    for (unsigned char c : sub_block) path.push_back(c);
  } else if (!Cp932ToUtf16(sub_block, &path)) {
    return false;
  }
  VersionNode node;
  std::u16string first;
  if (!FindNode(bytes, ansi, path, &node, &first)) return false;
  if (ansi) return AnswerAnsiValue(bytes, node, first == u"STRINGFILEINFO", value);
  AnswerUnicodeValue(bytes, node, value);
  return true;
}

}  // namespace setup
