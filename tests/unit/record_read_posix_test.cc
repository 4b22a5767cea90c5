// The record's whole-file reads (the install record, its locator, the product file) on
// real files: they open the file first and look at the path only when the opening
// failed, which still tells a missing file, a folder in its place and a file that is
// there apart, each with the status its callers act on.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "record/install_record.h"
#include "record/install_session.h"
#include "record/product_file.h"
#include "tests/unit/posix_system_fixture.h"

namespace setup {
namespace {

TEST_F(PosixSystemTest, AWholeFileReadTellsMissingFolderAndFileApart) {
  tmp_.MakeDir("prefix/drive_c/work/folder.rec");
  tmp_.MakeDir("prefix/drive_c/work/folder.loc");
  tmp_.MakeDir("prefix/drive_c/work/folder/Product.ini");
  Write("plain", "not a record");
  Write("Product.ini", "[Product]\r\nId=Demo.App\r\n");
  System& system = *system_;
  auto record = [&](const std::string& path) {
    InstallRecord read;
    return ReadInstallRecord(system, path, &read);
  };
  auto product = [&](const std::string& path) {
    ProductFile read;
    return ReadProductFile(system, path, &read);
  };
  // The locator is read from the Windows folder's SetupRecords.
  tmp_.MakeDir("prefix/drive_c/Windows/SetupRecords");
  tmp_.MakeDir("prefix/drive_c/Windows/SetupRecords/Folder.App.loc");
  auto locator = [&](const std::string& id) {
    std::string path;
    return ReadLocator(system, id, &path);
  };
  struct Case {
    const char* what;
    std::function<Status(const std::string&)> read;
    const char* path;
    StatusKind kind;
  };
  for (const Case& c : {
           Case{"no record", record, "C:\\work\\none.rec", StatusKind::kNotFound},
           Case{"record under a file", record, "C:\\work\\plain\\x.rec", StatusKind::kNotFound},
           Case{"record is a folder", record, "C:\\work\\folder.rec", StatusKind::kIsDirectory},
           Case{"record damaged", record, "C:\\work\\plain", StatusKind::kCorrupt},
           Case{"no product file", product, "C:\\work\\none.ini", StatusKind::kNotFound},
           Case{"product file is a folder", product, "C:\\work\\folder\\Product.ini",
                StatusKind::kReadError},
           Case{"product file", product, "C:\\work\\Product.ini", StatusKind::kOk},
           Case{"no locator", locator, "None.App", StatusKind::kNotFound},
           Case{"locator is a folder", locator, "Folder.App", StatusKind::kIsDirectory},
       }) {
    Status status = c.read(c.path);
    EXPECT_EQ(status.kind(), c.kind) << c.what;
    // A missing file's status carries no error number: its message stays as it was.
    if (c.kind == StatusKind::kNotFound) {
      EXPECT_EQ(status.os_error(), 0u) << c.what;
    }
  }
}

}  // namespace
}  // namespace setup
