// PackageSystem: the program directory served from inside a package. A layer over
// System (platform/system_wrapper.h): a path in the program directory that names a file
// the package holds (names compared without case, as Windows compares them) is read
// from the package, checked against its SHA-256 as it is read; every other path, and
// every change, goes to the system beneath. Nothing is written for a packed file except
// a component that must be on disk to be registered (a Regsvr of the program
// directory), extracted into a private folder and removed after its registration, and
// a file whose version block the system can only read from disk, likewise.
#ifndef SETUP_PACK_PACKAGE_SYSTEM_H_
#define SETUP_PACK_PACKAGE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/encoding.h"
#include "pack/package_reader.h"
#include "platform/system_wrapper.h"

namespace setup::pack {

// A folder only the running user can open, for a file that must be on disk. Made by
// the programs (the platform decides what "only the running user" takes).
class PrivateFolder {
 public:
  virtual ~PrivateFolder() = default;
  // Makes a new, empty folder; its path, as System takes paths, in `*path`.
  virtual bool Create(std::string* path) = 0;
  // Removes the folder `path` and the files in it.
  virtual void Remove(const std::string& path) = 0;
};

class PackageSystem : public SystemWrapper {
 public:
  // `program_dir` is the folder of the package file, as start-up makes it
  // (ProgramDirectory). None of the references is owned. `folder` may be null: then a
  // packed component cannot be registered.
  PackageSystem(System& target, Package& package, const Encoding& encoding,
                const std::string& program_dir, PrivateFolder* folder);

  // The table's index of the packed file `path` names, if there is one.
  std::optional<std::size_t> Find(const std::string& path) const;

  // --- The overrides, together: each serves a packed file, else passes the call on.
  Status OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override;
  Status GetFileStatus(const std::string& path, std::uint32_t* mtime) override;
  Status CopyFileBytes(const std::string& source, const std::string& destination) override;
  // A packed file is written through memory: watched when the watcher asks for its size.
  Status CopyFileBytesWatched(const std::string& source, const std::string& destination,
                              CopyWatcher* watcher, bool* watched) override;
  Status ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) override;
  Status CallDllRegisterServer(const std::string& path, std::int32_t* hresult) override;
  Status StartProcess(const std::string& program, const std::string& arguments,
                      const std::string& working_dir, std::unique_ptr<Process>* process) override;

 private:
  // Writes the packed file `index` to `destination` through the system beneath, with
  // its time, showing `watcher` (if any) each piece written. A read or write error
  // leaves the destination unchanged.
  Status WriteOut(std::size_t index, const std::string& destination,
                  CopyWatcher* watcher = nullptr);
  // Extracts the packed file `index` into a new private folder: the folder in `*folder`,
  // the file's path in `*path`.
  bool Extract(std::size_t index, std::string* folder, std::string* path);

  Package& package_;
  const Encoding& encoding_;
  PrivateFolder* private_folder_;
  std::string folded_dir_;  // the program directory folded, with a separator after it
  std::unordered_map<std::string, std::size_t> index_;  // folded name -> table index
  std::string copy_buffer_;                             // WriteOut's, kept between files
};

}  // namespace setup::pack

#endif  // SETUP_PACK_PACKAGE_SYSTEM_H_
