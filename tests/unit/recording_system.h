// RecordingSystem: a layer over another System that records every change the core asks
// of it, each with its outcome, and passes every call on unchanged. It shows that a
// layer needs to override only the calls it cares about: the rest reach the System
// beneath through SystemWrapper.
//
// One line per change, in the order asked:
//   "replace PATH"               an output committed over PATH ("replace PATH: failed"
//                                when it could not be created or committed)
//   "copy SOURCE > DESTINATION"  a byte copy (": failed")
//   "mkdir PATH"                 a directory created (": exists", ": failed")
//   "register PATH: RESULT"      a library's registration ("called HRESULT",
//                                "not loaded", "no entry point")
//   "start PROGRAM ARGUMENTS"    a process started (": failed")
#ifndef SETUP_TESTS_UNIT_RECORDING_SYSTEM_H_
#define SETUP_TESTS_UNIT_RECORDING_SYSTEM_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/system_wrapper.h"

namespace setup {

class RecordingSystem : public SystemWrapper {
 public:
  using SystemWrapper::SystemWrapper;

  Status CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) override {
    std::unique_ptr<OutputFile> output;
    Status status = target().CreateReplacement(path, &output);
    if (!status.ok()) {
      changes.push_back("replace " + path + ": failed");
      return status;
    }
    *file = std::make_unique<RecordedOutput>(std::move(output), path, &changes);
    return status;
  }
  Status CopyFileBytes(const std::string& source, const std::string& destination) override {
    Status status = target().CopyFileBytes(source, destination);
    changes.push_back("copy " + source + " > " + destination + (status.ok() ? "" : ": failed"));
    return status;
  }
  Status MakeDirectory(const std::string& path) override {
    Status status = target().MakeDirectory(path);
    const char* outcome = status.ok()                             ? ""
                          : status.Is(StatusKind::kAlreadyExists) ? ": exists"
                                                                  : ": failed";
    changes.push_back("mkdir " + path + outcome);
    return status;
  }
  Status CallDllRegisterServer(const std::string& path, std::int32_t* hresult) override {
    Status status = target().CallDllRegisterServer(path, hresult);
    std::string outcome = status.ok() ? "called " + std::to_string(*hresult)
                          : status.Is(StatusKind::kUnsupported) ? "no entry point"
                                                                : "not loaded";
    changes.push_back("register " + path + ": " + outcome);
    return status;
  }
  Status StartProcess(const std::string& program, const std::string& arguments,
                      const std::string& working_dir, std::unique_ptr<Process>* process) override {
    Status status = target().StartProcess(program, arguments, working_dir, process);
    changes.push_back("start " + program + " " + arguments + (status.ok() ? "" : ": failed"));
    return status;
  }

  std::vector<std::string> changes;

 private:
  // Records the replacement when it is committed: only then has the destination changed.
  class RecordedOutput : public OutputFile {
   public:
    RecordedOutput(std::unique_ptr<OutputFile> output, std::string path,
                   std::vector<std::string>* changes)
        : output_(std::move(output)), path_(std::move(path)), changes_(changes) {}
    ~RecordedOutput() override {
      if (!committed_) changes_->push_back("replace " + path_ + ": failed");
    }
    Status Write(const void* data, std::size_t size) override { return output_->Write(data, size); }
    Status SetModificationTime(std::int64_t ns_since_1970) override {
      return output_->SetModificationTime(ns_since_1970);
    }
    Status Commit() override {
      committed_ = true;
      Status done = output_->Commit();
      changes_->push_back("replace " + path_ + (done.ok() ? "" : ": failed"));
      return done;
    }

   private:
    std::unique_ptr<OutputFile> output_;
    std::string path_;
    std::vector<std::string>* changes_;
    bool committed_ = false;
  };
};

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_RECORDING_SYSTEM_H_
