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

  std::unique_ptr<OutputFile> CreateReplacement(const std::string& path) override {
    std::unique_ptr<OutputFile> output = target().CreateReplacement(path);
    if (!output) {
      changes.push_back("replace " + path + ": failed");
      return nullptr;
    }
    return std::make_unique<RecordedOutput>(std::move(output), path, &changes);
  }
  bool CopyFileBytes(const std::string& source, const std::string& destination) override {
    bool copied = target().CopyFileBytes(source, destination);
    changes.push_back("copy " + source + " > " + destination + (copied ? "" : ": failed"));
    return copied;
  }
  MakeDirResult MakeDirectory(const std::string& path) override {
    MakeDirResult result = target().MakeDirectory(path);
    const char* outcome = result == MakeDirResult::kCreated         ? ""
                          : result == MakeDirResult::kAlreadyExists ? ": exists"
                                                                    : ": failed";
    changes.push_back("mkdir " + path + outcome);
    return result;
  }
  DllRegisterResult CallDllRegisterServer(const std::string& path, std::int32_t* hresult) override {
    DllRegisterResult result = target().CallDllRegisterServer(path, hresult);
    std::string outcome = result == DllRegisterResult::kCalled
                              ? "called " + std::to_string(*hresult)
                          : result == DllRegisterResult::kNotLoaded ? "not loaded"
                                                                    : "no entry point";
    changes.push_back("register " + path + ": " + outcome);
    return result;
  }
  std::unique_ptr<Process> StartProcess(const std::string& program, const std::string& arguments,
                                        const std::string& working_dir) override {
    std::unique_ptr<Process> process = target().StartProcess(program, arguments, working_dir);
    changes.push_back("start " + program + " " + arguments + (process ? "" : ": failed"));
    return process;
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
    bool Write(const void* data, std::size_t size) override { return output_->Write(data, size); }
    bool SetModificationTime(std::int64_t ns_since_1970) override {
      return output_->SetModificationTime(ns_since_1970);
    }
    bool Commit() override {
      committed_ = true;
      bool done = output_->Commit();
      changes_->push_back("replace " + path_ + (done ? "" : ": failed"));
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
