// A change to untrusted hive text. The input's first line is the change: a digit for its
// kind (0 make the key, 1 set a string, 2 set a DWORD, 3 delete the value, 4 delete the
// key, 5 make the key and set the string and a DWORD named after it in one go), the key
// path, '|', the value's name, '|', the string; the rest is the hive. A change that
// succeeds must read back through the hive reader as made.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/reg_hive.h"
#include "platform/posix/reg_hive_edit.h"
#include "platform/posix/utf16_text.h"

namespace {

std::u16string Widen(std::string_view s) {
  std::u16string out;
  for (char c : s) out.push_back(static_cast<unsigned char>(c));
  return out;
}

const setup::RegHiveKey* Find(const std::string& text, const std::vector<std::u16string>& key,
                              setup::RegHiveKey* root,
                              std::vector<std::unique_ptr<setup::RegHiveKey>>* keys) {
  setup::ParseRegHive(text, root, keys, nullptr);
  const setup::RegHiveKey* node = root;
  for (const std::u16string& name : key) {
    auto it = node->subkeys.find(setup::FoldCase(name));
    if (it == node->subkeys.end()) return nullptr;
    node = it->second;
  }
  return node;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t newline = input.find('\n');
  if (newline == std::string_view::npos || newline == 0) return 0;
  std::string_view spec = input.substr(1, newline - 1);
  std::string_view hive = input.substr(newline + 1);
  setup::HiveEdit edit;
  int kind = input[0] - '0';
  if (kind < 0 || kind > 5) return 0;
  edit.kind = kind == 0   ? setup::HiveEdit::Kind::kCreateKey
              : kind == 3 ? setup::HiveEdit::Kind::kDeleteValue
              : kind == 4 ? setup::HiveEdit::Kind::kDeleteKey
                          : setup::HiveEdit::Kind::kSetValue;
  edit.type = kind == 2 ? setup::kRegDword : setup::kRegSz;
  std::size_t bar = spec.find('|');
  std::size_t bar2 = bar == std::string_view::npos ? bar : spec.find('|', bar + 1);
  std::string_view path = spec.substr(0, bar);
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t stop = path.find('\\', start);
    if (stop == std::string_view::npos) stop = path.size();
    edit.key.push_back(Widen(path.substr(start, stop - start)));
    start = stop + 1;
  }
  if (bar != std::string_view::npos) edit.value_name = Widen(spec.substr(bar + 1, bar2 - bar - 1));
  if (bar2 != std::string_view::npos) edit.text = Widen(spec.substr(bar2 + 1));
  edit.number = static_cast<std::uint32_t>(edit.text.size() * 2654435761u);
  std::string out;
  if (kind == 5) {
    std::vector<setup::HiveEdit> edits(3, edit);
    edits[0].kind = setup::HiveEdit::Kind::kCreateKey;
    edits[2].type = setup::kRegDword;
    edits[2].value_name += u"2";
    if (!setup::ApplyHiveEdits(hive, edits, 134444736000000000ull, &out).ok()) return 0;
    kind = 1;  // the string is checked; the DWORD beside it must not have taken its place
  } else if (!setup::EditHiveText(hive, edit, 134444736000000000ull, &out).ok()) {
    return 0;
  }
  setup::RegHiveKey root;
  std::vector<std::unique_ptr<setup::RegHiveKey>> keys;
  const setup::RegHiveKey* node = Find(out, edit.key, &root, &keys);
  bool present = node != nullptr;
  bool ok = true;
  if (kind == 0) ok = present;
  if (kind == 1 || kind == 2) {
    ok = present;
    if (ok) {
      auto it = node->values.find(setup::FoldCase(edit.value_name));
      ok = it != node->values.end() && it->second.type == edit.type;
      if (ok && kind == 1) ok = it->second.data == setup::Utf16ToLittleEndian(edit.text + u'\0');
    }
  }
  if (kind == 3) ok = !present || node->values.count(setup::FoldCase(edit.value_name)) == 0;
  if (kind == 4) ok = !present;
  if (!ok) __builtin_trap();  // the change does not read back as made
  return 0;
}
