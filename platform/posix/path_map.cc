#include "platform/posix/path_map.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace setup {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// A component of the mapped path; `exists` says whether later components can be
// looked up in it.
struct Component {
  std::string name;
  bool exists;
};

std::string Join(const std::string& root, const std::vector<Component>& parts) {
  std::string out = root;
  for (const Component& part : parts) {
    out += '/';
    out += part.name;
  }
  return out;
}

std::vector<std::string_view> Split(std::string_view path) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    std::size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    if (i > start) out.push_back(path.substr(start, i - start));
  }
  return out;
}

}  // namespace

std::string CurrentDirectory() {
  std::string cwd(4096, '\0');
  while (getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(cwd.find('\0'));
  return cwd;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

bool NormalizeWin32Component(std::string_view name, bool last, std::string* out) {
  for (char c : name) {
    if ((c >= 1 && c <= 31) || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
      return false;
    }
  }
  if (last) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.remove_suffix(1);
  } else if (!name.empty() && name.back() == '.') {
    name.remove_suffix(1);
  }
  out->assign(name);
  return true;
}

bool FindEntry(const std::string& dir, const std::string& name, std::string* found) {
  std::string exact = dir + "/" + name;
  struct stat st;
  if (lstat(exact.c_str(), &st) == 0) {
    *found = name;
    return true;
  }
  if (errno != ENOENT) return false;
  std::unique_ptr<DIR, DirCloser> listing(opendir(dir.empty() ? "/" : dir.c_str()));
  if (!listing) return false;
  int matches = 0;
  while (const dirent* entry = readdir(listing.get())) {
    if (EqualsIgnoringAsciiCase(entry->d_name, name)) {
      if (++matches > 1) return false;
      *found = entry->d_name;
    }
  }
  return matches == 1;
}

bool EntryLookup::Find(const std::string& dir, const std::string& name, std::string* found) {
  return FindEntry(dir, name, found);
}

std::string EntryLookup::DriveRoot(const std::string& devices, const std::string& drive) {
  std::string found;
  return devices + "/" + (FindEntry(devices, drive, &found) ? found : drive);
}

std::string EntryLookup::WorkingDirectory() { return CurrentDirectory(); }

std::string MapWindowsPath(std::string_view path, const std::string& prefix) {
  EntryLookup lookup;
  return MapWindowsPath(path, prefix, lookup, nullptr);
}

std::string MapWindowsPath(std::string_view path, const std::string& prefix, EntryLookup& lookup,
                           MappedLeaf* leaf) {
  if (leaf != nullptr) *leaf = MappedLeaf();
  path = path.substr(0, path.find('\0'));
  if (path.empty()) return std::string();  // as on Windows, the empty path names nothing
  // `root` is the head that ".." never removes; "" stands for "/".
  std::string root;
  std::vector<Component> parts;
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
    if (prefix.empty()) return std::string();
    root = lookup.DriveRoot(prefix + "/dosdevices", {FoldAscii(path[0]), ':'});
    path.remove_prefix(2);
  } else if (!IsSeparator(path[0])) {
    std::string cwd = lookup.WorkingDirectory();
    if (cwd.empty()) return std::string();
    for (std::string_view name : Split(cwd)) parts.push_back({std::string(name), true});
  }
  bool trailing_separator = !path.empty() && IsSeparator(path.back());
  std::vector<std::string_view> names = Split(path);
  for (std::size_t i = 0; i < names.size(); ++i) {
    Component part{std::string(names[i]), false};
    bool last = i + 1 == names.size() && !trailing_separator;
    if (part.name != "." && part.name != ".." &&
        !NormalizeWin32Component(names[i], last, &part.name)) {
      return std::string();
    }
    // What normalising leaves of "...", ". " and the like never climbs: dropped.
    if (part.name.empty() || part.name == ".") continue;
    if (part.name == "..") {
      if (names[i] == ".." && !parts.empty()) parts.pop_back();
      continue;
    }
    if (parts.empty() || parts.back().exists) {
      std::string found;
      if (lookup.Find(Join(root, parts), part.name, &found)) part = {found, true};
    }
    parts.push_back(std::move(part));
  }
  if (leaf != nullptr && !parts.empty() && !trailing_separator) {
    Component last = std::move(parts.back());
    parts.pop_back();
    // The folders of the current directory and the root of a drive count as found.
    leaf->in_folder = parts.empty() || parts.back().exists;
    leaf->folder = Join(root, parts);
    leaf->name = last.name;
    leaf->found = last.exists;
    parts.push_back(std::move(last));
  }
  std::string out = Join(root, parts);
  if (out.empty() || (trailing_separator && out.back() != '/')) out += '/';
  return out;
}

}  // namespace setup
