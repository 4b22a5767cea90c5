// What both programs do with a package before start-up: open it, check it whole, and say
// what is wrong with a damaged one.
#ifndef SETUP_APP_PACKAGE_START_H_
#define SETUP_APP_PACKAGE_START_H_

#include <memory>
#include <string>

#include "base/status.h"
#include "pack/package_reader.h"

namespace setup {

// Opens the package in `source` and checks the loader and every block against the
// table (pack::Package::Verify). Ok with a null `*package` for a program with no package.
Status OpenCheckedPackage(pack::ByteSource& source, std::unique_ptr<pack::Package>* package);

// The line that ends start-up for a package `file` (UTF-8) that failed `status`, without
// the program's name or a line feed.
std::string PackageFailureText(const std::string& file, const Status& status);

}  // namespace setup

#endif  // SETUP_APP_PACKAGE_START_H_
