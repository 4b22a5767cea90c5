// SystemWrapper and UiWrapper: each method, called through a wrapper, reaches the object
// beneath once with the same arguments, and its answer comes back unchanged.
#include "platform/system_wrapper.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ui_wrapper.h"

namespace setup {
namespace {

// A System that writes each call, with its arguments, as one line and answers with
// values no default would give.
class ProbeSystem : public System {
 public:
  class ProbeInput : public InputFile {
   public:
    std::ptrdiff_t Read(void*, std::size_t) override { return 7; }
  };
  class ProbeOutput : public OutputFile {
   public:
    bool Write(const void*, std::size_t) override { return true; }
    bool Commit() override { return true; }
  };
  class ProbeProcess : public Process {
   public:
    bool HasEnded() override { return true; }
  };

  bool WindowsDirectory(std::string* dir) override {
    return Say("WindowsDirectory", dir, "W:\\win");
  }
  bool SystemDirectory(std::string* dir) override { return Say("SystemDirectory", dir, "W:\\s"); }
  std::unique_ptr<InputFile> OpenForReading(const std::string& path) override {
    calls.push_back("OpenForReading " + path);
    return std::make_unique<ProbeInput>();
  }
  std::unique_ptr<OutputFile> CreateReplacement(const std::string& path) override {
    calls.push_back("CreateReplacement " + path);
    return std::make_unique<ProbeOutput>();
  }
  bool CopyFileBytes(const std::string& source, const std::string& destination) override {
    calls.push_back("CopyFileBytes " + source + " " + destination);
    return true;
  }
  MakeDirResult MakeDirectory(const std::string& path) override {
    calls.push_back("MakeDirectory " + path);
    return MakeDirResult::kAlreadyExists;
  }
  bool GetFileStatus(const std::string& path, std::uint32_t* mtime) override {
    calls.push_back("GetFileStatus " + path);
    *mtime = 4242;
    return true;
  }
  RegKey OpenRegistryKey(RegKey parent, const std::string& subkey) override {
    calls.push_back("OpenRegistryKey " + std::to_string(parent) + " " + subkey);
    return 77;
  }
  bool QueryRegistryValue(RegKey key, const std::string& name, std::string* data) override {
    return Say("QueryRegistryValue " + std::to_string(key) + " " + name, data, "value");
  }
  void CloseRegistryKey(RegKey key) override {
    calls.push_back("CloseRegistryKey " + std::to_string(key));
  }
  bool ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) override {
    calls.push_back("ReadVersionBlock " + path);
    *block = {1, 2, 3};
    return true;
  }
  bool QueryVersionValue(const std::vector<std::uint8_t>& block, const std::string& sub_block,
                         std::string* value) override {
    return Say("QueryVersionValue " + std::to_string(block.size()) + " " + sub_block, value, "1.0");
  }
  DllRegisterResult CallDllRegisterServer(const std::string& path, std::int32_t* hresult) override {
    calls.push_back("CallDllRegisterServer " + path);
    *hresult = -5;
    return DllRegisterResult::kNoEntryPoint;
  }
  std::unique_ptr<Process> StartProcess(const std::string& program, const std::string& arguments,
                                        const std::string& working_dir) override {
    calls.push_back("StartProcess " + program + " " + arguments + " " + working_dir);
    return std::make_unique<ProbeProcess>();
  }
  void SleepMilliseconds(int ms) override {
    calls.push_back("SleepMilliseconds " + std::to_string(ms));
  }

  std::vector<std::string> calls;

 private:
  bool Say(const std::string& call, std::string* out, const char* answer) {
    calls.push_back(call);
    *out = answer;
    return true;
  }
};

struct SystemCase {
  const char* call;  // the line the probe writes
  // Calls one method through `system` and describes the answer (the call is made before its
  // out-parameters are read).
  std::function<std::string(System& system)> invoke;
  const char* answer;
};

std::string Flag(bool b) { return b ? "true" : "false"; }

const SystemCase kSystemCases[] = {
    {"WindowsDirectory",
     [](System& s) {
       std::string d;
       bool ok = s.WindowsDirectory(&d);
       return Flag(ok) + " " + d;
     },
     "true W:\\win"},
    {"SystemDirectory",
     [](System& s) {
       std::string d;
       bool ok = s.SystemDirectory(&d);
       return Flag(ok) + " " + d;
     },
     "true W:\\s"},
    {"OpenForReading A:\\in",
     [](System& s) {
       char b[4];
       auto in = s.OpenForReading("A:\\in");
       return in ? std::to_string(in->Read(b, sizeof b)) : "null";
     },
     "7"},
    {"CreateReplacement A:\\out",
     [](System& s) {
       auto out = s.CreateReplacement("A:\\out");
       return out ? Flag(out->Commit()) : "null";
     },
     "true"},
    {"CopyFileBytes A:\\x B:\\y", [](System& s) { return Flag(s.CopyFileBytes("A:\\x", "B:\\y")); },
     "true"},
    {"MakeDirectory A:\\d",
     [](System& s) { return std::to_string(static_cast<int>(s.MakeDirectory("A:\\d"))); }, "1"},
    {"GetFileStatus A:\\f",
     [](System& s) {
       std::uint32_t t = 0;
       bool found = s.GetFileStatus("A:\\f", &t);
       return Flag(found) + " " + std::to_string(t);
     },
     "true 4242"},
    {"OpenRegistryKey 2147483650 Software",
     [](System& s) { return std::to_string(s.OpenRegistryKey(kHkeyLocalMachine, "Software")); },
     "77"},
    {"QueryRegistryValue 77 Path",
     [](System& s) {
       std::string d;
       bool ok = s.QueryRegistryValue(77, "Path", &d);
       return Flag(ok) + " " + d;
     },
     "true value"},
    {"CloseRegistryKey 77",
     [](System& s) {
       s.CloseRegistryKey(77);
       return std::string("-");
     },
     "-"},
    {"ReadVersionBlock A:\\v.dll",
     [](System& s) {
       std::vector<std::uint8_t> b;
       bool read = s.ReadVersionBlock("A:\\v.dll", &b);
       return Flag(read) + " " + std::to_string(b.size());
     },
     "true 3"},
    {"QueryVersionValue 2 \\VarFileInfo\\Translation",
     [](System& s) {
       std::string v;
       bool ok = s.QueryVersionValue({9, 9}, "\\VarFileInfo\\Translation", &v);
       return Flag(ok) + " " + v;
     },
     "true 1.0"},
    {"CallDllRegisterServer A:\\c.dll",
     [](System& s) {
       std::int32_t h = 0;
       auto r = s.CallDllRegisterServer("A:\\c.dll", &h);
       return std::to_string(static_cast<int>(r)) + " " + std::to_string(h);
     },
     "1 -5"},
    {"StartProcess A:\\p.exe /regserver A:\\",
     [](System& s) {
       auto p = s.StartProcess("A:\\p.exe", "/regserver", "A:\\");
       return p ? Flag(p->HasEnded()) : "null";
     },
     "true"},
    {"SleepMilliseconds 250",
     [](System& s) {
       s.SleepMilliseconds(250);
       return std::string("-");
     },
     "-"},
};

TEST(SystemWrapperTest, EveryMethodReachesTheSystemBeneathOnce) {
  for (const SystemCase& c : kSystemCases) {
    ProbeSystem probe;
    SystemWrapper wrapper(probe);
    EXPECT_EQ(c.invoke(wrapper), c.answer) << c.call;
    EXPECT_EQ(probe.calls, std::vector<std::string>{c.call});
  }
}

// Two layers deep: a layer that overrides one call passes the others through both.
TEST(SystemWrapperTest, ALayerChangesOnlyWhatItOverrides) {
  struct NoWindows : SystemWrapper {
    using SystemWrapper::SystemWrapper;
    bool WindowsDirectory(std::string*) override { return false; }
  };
  ProbeSystem probe;
  SystemWrapper inner(probe);
  NoWindows layer(inner);
  EXPECT_EQ(&layer.target(), &inner);
  for (const SystemCase& c : kSystemCases) {
    probe.calls.clear();
    std::string answer = c.invoke(layer);
    if (std::string(c.call) == "WindowsDirectory") {
      EXPECT_EQ(answer, "false ");
      EXPECT_TRUE(probe.calls.empty());
    } else {
      EXPECT_EQ(answer, c.answer) << c.call;
      EXPECT_EQ(probe.calls, std::vector<std::string>{c.call});
    }
  }
}

}  // namespace
}  // namespace setup
