#include "app/package_start.h"

namespace setup {

Status OpenCheckedPackage(pack::ByteSource& source, std::unique_ptr<pack::Package>* package) {
  Status opened = pack::Package::Open(source, package);
  if (!opened.ok() || !*package) return opened;
  Status checked = (*package)->Verify();
  if (!checked.ok()) package->reset();
  return checked;
}

std::string PackageFailureText(const std::string& file, const Status& status) {
  if (status.Is(StatusKind::kCorrupt)) {
    return "the installer " + file + " is damaged or incomplete (" + status.path() +
           "); nothing was installed. Get it again from where it came from";
  }
  return "cannot read the installer " + file + "; nothing was installed";
}

}  // namespace setup
