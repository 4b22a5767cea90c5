#include "app/pack_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "app/check_command.h"
#include "app/lzma_compressor.h"
#include "base/code_page_text.h"
#include "base/encoding.h"
#include "pack/package_writer.h"
#include "platform/system_wrapper.h"

namespace setup {
namespace {

namespace fs = std::filesystem;

// Blocks hold at most the compressor's dictionary, and end past kLeastBlockSize where the
// next file looks unrelated to those before it (another folder or another family of
// names): each is compressed on a thread of its own, and an install decodes two at once,
// for little more than one solid stream's size, since few repeats cross such a border.
// An install holds at most pack::ReadAhead::kMaxHeld bytes of decoded blocks.
constexpr std::uint32_t kPackBlockSize = LzmaCompressor::kDictionary;
constexpr std::uint32_t kLeastBlockSize = 8u << 20;

int Fail(const std::string& program, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", program.c_str(), text.c_str());
  return 3;
}

bool ReadWhole(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::int64_t ModificationNs(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// The files under `dir`, named as the program directory names them: relative, `\`
// between folders, in the script's code page, sorted by name. False, with `*error`, when one
// cannot be read or named in the code page, or two names are one name to Windows.
bool CollectFiles(const std::string& dir, Encoding& encoding, const std::string& skip,
                  std::vector<pack::PackInput>* files, std::string* error) {
  std::error_code ec;
  std::vector<fs::path> paths;
  for (fs::recursive_directory_iterator
           it(dir, fs::directory_options::follow_directory_symlink, ec),
       end;
       !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) paths.push_back(it->path());
  }
  if (ec) {
    *error = "cannot read " + dir + ": " + ec.message();
    return false;
  }
  std::set<std::string> folded;
  for (const fs::path& path : paths) {
    std::string relative = path.lexically_relative(dir).generic_string();
    if (relative.find('/') == std::string::npos &&
        FoldPath(IsCp932LeadByte, relative) == "SETUP.EXE")
      continue;
    if (fs::equivalent(path, skip, ec)) continue;  // the package being written
    std::string name = encoding.FromUtf8(relative);
    if (encoding.ToUtf8(name) != relative) {
      *error = "the name " + relative + " cannot be written in the script's code page";
      return false;
    }
    std::replace(name.begin(), name.end(), '/', '\\');
    if (!folded.insert(FoldPath(LeadByteOf(encoding), name)).second) {
      *error = "two files are named " + relative + " to Windows, which ignores case";
      return false;
    }
    pack::PackInput input{name, std::string(), ModificationNs(path.string())};
    if (!ReadWhole(path.string(), &input.contents)) {
      *error = "cannot read " + path.string();
      return false;
    }
    files->push_back(std::move(input));
  }
  std::sort(files->begin(), files->end(),
            [](const pack::PackInput& a, const pack::PackInput& b) { return a.name < b.name; });
  return true;
}

// The order in which the checker looks at the program directory's files, as it walks
// the script line by line: the order a run reads them in. Packed in that order, an
// install decodes the package forward once instead of starting a block again for each
// file that lies behind the one before it.
class AccessOrder : public SystemWrapper {
 public:
  AccessOrder(System& target, const Encoding& encoding, const std::string& dir)
      : SystemWrapper(target),
        encoding_(encoding),
        dir_(FoldPath(LeadByteOf(encoding), dir) + "\\") {}

  Status OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override {
    Note(path);
    return SystemWrapper::OpenForReading(path, file);
  }
  Status GetFileStatus(const std::string& path, std::uint32_t* mtime) override {
    Note(path);
    return SystemWrapper::GetFileStatus(path, mtime);
  }

  // The rank of a packed name: where it was first looked at, else after all those.
  std::size_t Rank(const std::string& name) const {
    auto found = rank_.find(FoldPath(LeadByteOf(encoding_), name));
    return found == rank_.end() ? rank_.size() : found->second;
  }

 private:
  void Note(const std::string& path) {
    std::string folded = FoldPath(LeadByteOf(encoding_), path);
    if (folded.compare(0, dir_.size(), dir_) != 0) return;
    std::size_t start = folded.find_first_not_of('\\', dir_.size());
    if (start != std::string::npos) rank_.emplace(folded.substr(start), rank_.size());
  }

  const Encoding& encoding_;
  std::string dir_;
  std::map<std::string, std::size_t> rank_;
};

// Writes `bytes` beside `path` and renames it over `path`, executable.
bool WriteWhole(const std::string& path, const std::string& bytes) {
  std::string temp = path + ".part";
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  ok = std::fclose(out) == 0 && ok;
  ok = ok && chmod(temp.c_str(), 0755) == 0 && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

}  // namespace

std::string FindLoader(const std::string& self, bool win64) {
  std::error_code ec;
  fs::path bin = fs::canonical(self, ec).parent_path();
  if (ec) return std::string();
  const char* build = win64 ? "win64" : "win32";
  for (fs::path candidate :
       {bin / ".." / "share" / "setup" / build / "Setup.exe", bin / ".." / build / "Setup.exe"}) {
    if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal().string();
  }
  return std::string();
}

int RunPackCommand(System& system, Encoding& encoding, const PackRequest& request,
                   const std::string& program) {
  std::error_code ec;
  if (!fs::is_directory(request.dir, ec))
    return Fail(program, "no program directory " + request.dir);
  std::string dir = encoding.FromUtf8(request.dir);
  AccessOrder order(system, encoding, dir);
  if (RunCheckCommand(order, encoding, dir, dir, stderr) != 0) {
    std::fprintf(stderr, "%s: the script in %s has errors; nothing was packed\n", program.c_str(),
                 request.dir.c_str());
    return 1;
  }
  std::string loader;
  if (request.loader.empty() || !ReadWhole(request.loader, &loader)) {
    return Fail(program, "cannot read the loader Setup.exe" +
                             (request.loader.empty() ? std::string() : " " + request.loader) +
                             "; name one with --loader=FILE");
  }
  std::vector<pack::PackInput> files;
  std::string error;
  if (!CollectFiles(request.dir, encoding, request.output, &files, &error))
    return Fail(program, error);
  std::stable_sort(files.begin(), files.end(),
                   [&order](const pack::PackInput& a, const pack::PackInput& b) {
                     return order.Rank(a.name) < order.Rank(b.name);
                   });
  LzmaCompressor compressor;
  std::string bytes;
  Status written =
      pack::WritePackage(loader, files, compressor, kPackBlockSize, &bytes, kLeastBlockSize);
  if (written.Is(StatusKind::kUnsupported)) {
    return Fail(program, "the loader " + request.loader +
                             " has bytes after its image (debug symbols or a signature); "
                             "give a stripped, unsigned Setup.exe");
  }
  if (!written.ok()) return Fail(program, "cannot pack " + request.dir);
  if (!WriteWhole(request.output, bytes)) {
    return Fail(program, "cannot write " + request.output + ": " + std::strerror(errno));
  }
  std::printf("%s: %zu files packed into %s (%zu bytes)\n", program.c_str(), files.size(),
              request.output.c_str(), bytes.size());
  return 0;
}

}  // namespace setup
