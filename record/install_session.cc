#include "record/install_session.h"

#include "base/code_page_text.h"
#include "base/encoding.h"
#include "platform/system.h"

namespace setup {
namespace {

constexpr std::size_t kLocatorLimit = 4096;
constexpr std::string_view kLocatorKey = "Record=";

Status ReadSmallFile(System& system, const std::string& path, std::string* text) {
  std::unique_ptr<InputFile> input;
  Status opened = system.OpenForReading(path, &input);
  if (!opened.ok()) {
    // Only a failed opening is looked into: no file and a folder are told as such.
    std::uint64_t size = 0;
    Status found = system.GetFileSize(path, &size);
    return found.ok() ? opened : found;
  }
  char buffer[kLocatorLimit + 1];
  std::size_t used = 0;
  for (std::ptrdiff_t n;
       used < sizeof buffer && (n = input->Read(buffer + used, sizeof buffer - used)) != 0;) {
    if (n < 0) return Status(StatusKind::kReadError, path);
    used += static_cast<std::size_t>(n);
  }
  if (used > kLocatorLimit) return Status(StatusKind::kCorrupt, path);
  text->assign(buffer, used);
  return Status::Ok();
}

// Writes `text` to `path` whole, through a replacement.
Status WriteSmallFile(System& system, const std::string& path, const std::string& text) {
  std::unique_ptr<OutputFile> out;
  Status status = system.CreateReplacement(path, &out);
  if (status.ok()) status = out->Write(text.data(), text.size());
  if (status.ok()) status = out->Commit();
  return status;
}

}  // namespace

std::string LocatorPath(System& system, const std::string& id) {
  std::string windows;
  if (!system.WindowsDirectory(&windows).ok()) return std::string();
  return windows + "\\" + kRecordsFolder + "\\" + id + ".loc";
}

Status ReadLocator(System& system, const std::string& id, std::string* record_path) {
  std::string path = LocatorPath(system, id);
  if (path.empty()) return Status(StatusKind::kNotFound);
  std::string text;
  Status read = ReadSmallFile(system, path, &text);
  if (!read.ok()) return read;
  if (text.compare(0, kLocatorKey.size(), kLocatorKey) != 0) {
    return Status(StatusKind::kCorrupt, path);
  }
  std::string line = text.substr(kLocatorKey.size());
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.empty() || line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    return Status(StatusKind::kCorrupt, path);
  }
  *record_path = line;
  return Status::Ok();
}

std::string RecordPathFor(const Encoding& encoding, const std::string& destination) {
  LeadByteOf lead(encoding);
  bool ends = EndsWithChar(lead, destination, '\\') || EndsWithChar(lead, destination, '/');
  return destination + (ends ? "" : "\\") + kRecordFileName;
}

InstallSession::InstallSession(RecordingLayer& layer, Encoding& encoding, ProductInfo product)
    : layer_(layer), system_(layer.target()), encoding_(encoding), product_(std::move(product)) {}

InstallSession::~InstallSession() = default;

UndoTally InstallSession::RollBackRun(const std::vector<RecordEntry>& run, bool earlier_runs,
                                      const RunMark& mark, const UndoSink& sink) {
  Undo undo{system_, encoding_, sink, [&] {
              if (earlier_runs && writer_) {
                writer_->Rewind(RecordState::kAtRest, mark.committed, mark.blocks);
                writer_.reset();
                return;
              }
              writer_.reset();
              system_.RemoveFile(record_path_);
              system_.RemoveFile(LocatorPath(system_, product_.id));
            }};
  return RollBack(undo, run);
}

Status InstallSession::Recover(const UndoSink& sink, bool* rolled_back, UndoTally* tally) {
  *rolled_back = false;
  Status located = ReadLocator(system_, product_.id, &record_path_);
  if (located.Is(StatusKind::kNotFound)) return Status::Ok();
  if (!located.ok()) return located;
  InstallRecord record;
  Status read = ReadInstallRecord(system_, record_path_, &record);
  if (read.Is(StatusKind::kNotFound)) return Status::Ok();  // removed by hand: nothing to do
  if (!read.ok()) return read;
  if (record.state != RecordState::kRunning || record.runs.empty()) return Status::Ok();
  RunMark mark = record.runs.back();
  Status opened;
  writer_ = InstallRecordWriter::Continue(system_, record_path_, record, &opened);
  if (!opened.ok()) return opened;
  std::vector<RecordEntry> run(record.entries.begin() + static_cast<long>(mark.entry),
                               record.entries.end());
  *tally = RollBackRun(run, mark.entry > 0, mark, sink);
  *rolled_back = true;
  return Status::Ok();
}

Status InstallSession::MakeDestination(const std::string& destination,
                                       std::vector<RecordEntry>* made) {
  LeadByteOf lead(encoding_);
  std::vector<std::string> levels;
  for (std::size_t i = 0; i < destination.size(); i += CharLength(lead, destination, i)) {
    if (i > 0 && IsPathSeparator(destination[i]) && destination[i - 1] != ':' &&
        !IsPathSeparator(destination[i - 1])) {
      levels.push_back(destination.substr(0, i));
    }
  }
  if (!destination.empty() && !IsPathSeparator(destination.back())) levels.push_back(destination);
  for (const std::string& level : levels) {
    std::uint64_t size = 0;
    if (!system_.GetFileSize(level, &size).Is(StatusKind::kNotFound)) continue;
    Status made_level = system_.MakeDirectory(level);
    if (made_level.ok()) {
      made->push_back(MakeEntry(RecordKind::kDirectoryCreated, level));
    } else if (!made_level.Is(StatusKind::kAlreadyExists)) {
      return made_level;
    }
  }
  return Status::Ok();
}

Status InstallSession::WriteLocator() {
  std::string path = LocatorPath(system_, product_.id);
  if (path.empty()) return Status(StatusKind::kUnsupported);
  std::string windows;
  system_.WindowsDirectory(&windows);
  system_.MakeDirectory(windows + "\\" + kRecordsFolder);
  return WriteSmallFile(system_, path, std::string(kLocatorKey) + record_path_ + "\r\n");
}

Status InstallSession::Begin(const std::string& destination) {
  // An earlier install of the Id is continued in its own record, wherever this one goes,
  // so that one uninstall removes both and no record is left without its locator.
  std::string earlier_path;
  bool located = ReadLocator(system_, product_.id, &earlier_path).ok();
  InstallRecord earlier;
  Status read =
      located ? ReadInstallRecord(system_, earlier_path, &earlier) : Status(StatusKind::kNotFound);
  record_path_ =
      read.Is(StatusKind::kNotFound) ? RecordPathFor(encoding_, destination) : earlier_path;
  std::vector<RecordEntry> made;
  // Until the record holds them, the folders made for it are taken back here.
  auto unmake = [&](Status why) {
    for (auto e = made.rbegin(); e != made.rend(); ++e) system_.RemoveEmptyDirectory(e->path);
    return why;
  };
  Status status = MakeDestination(destination, &made);
  if (!status.ok()) return unmake(status);
  if (read.ok()) {
    writer_ = InstallRecordWriter::Continue(system_, record_path_, earlier, &status);
  } else if (read.Is(StatusKind::kNotFound)) {
    writer_ = InstallRecordWriter::Create(system_, record_path_, product_.id, &status);
  } else {
    return unmake(read);  // a damaged record is never written over
  }
  if (!writer_) {
    if (!read.ok()) system_.RemoveFile(record_path_);  // a header that could not be written
    return unmake(status);
  }
  earlier_runs_ = read.ok();
  mark_ = RunMark{0, writer_->committed(), writer_->blocks()};
  layer_.Start(writer_.get(), product_.rollback, &encoding_);
  layer_.Note(MakeEntry(RecordKind::kRunBegan));
  for (RecordEntry& entry : made) layer_.Note(std::move(entry));
  layer_.CommandCompleted();
  if (!layer_.record_status().ok()) return layer_.record_status();
  return WriteLocator();
}

Status InstallSession::Finish(bool finished, const EntryContext& entry, const UndoSink& sink,
                              bool* rolled_back, UndoTally* tally) {
  *rolled_back = false;
  if (!writer_) return Status::Ok();
  // A run about to be rolled back needs no digests of what it wrote.
  Status recorded = layer_.Stop(finished || !product_.rollback);
  std::vector<RecordEntry> run = layer_.run_entries();
  if (!finished && product_.rollback) {
    *tally = RollBackRun(run, earlier_runs_, mark_, sink);
    *rolled_back = true;
    return recorded;
  }
  if (finished && recorded.ok()) {
    recorded = writer_->Append({MakeEntry(RecordKind::kEntryWritten, product_.id)});
    EntryContext sized = entry;
    std::uint64_t bytes = 0;
    for (const RecordEntry& e : run) {
      // A file's size is in its entry, or in the kFileDigest that follows it.
      if ((e.kind == RecordKind::kFileWritten && !e.no_digest) || e.kind == RecordKind::kFileDigest)
        bytes += e.size;
    }
    sized.estimated_size_kb = (bytes + 1023) / 1024;
    if (recorded.ok()) recorded = WriteProductEntry(system_, encoding_, product_, sized);
  }
  for (const RecordEntry& e : run) {
    if (e.kind == RecordKind::kMovedAside) system_.RemoveFile(e.aside);
  }
  Status rested = writer_->SetState(RecordState::kAtRest);
  writer_.reset();
  return recorded.ok() ? rested : recorded;
}

Status UninstallProduct(System& system, const Encoding& encoding, const std::string& id,
                        const UndoSink& sink, UndoTally* tally) {
  std::string record_path;
  Status located = ReadLocator(system, id, &record_path);
  if (!located.ok()) return located;
  InstallRecord record;
  Status read = ReadInstallRecord(system, record_path, &record);
  if (!read.ok()) return read;
  Undo undo{system, encoding, sink, [&] {
              system.RemoveFile(record_path);
              system.RemoveFile(LocatorPath(system, id));
            }};
  *tally = Uninstall(undo, record.entries);
  return Status::Ok();
}

}  // namespace setup
