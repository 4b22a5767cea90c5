// A C stream closed once, when its owner goes.
#ifndef SETUP_BASE_SCOPED_FILE_H_
#define SETUP_BASE_SCOPED_FILE_H_

#include <cstdio>
#include <memory>

namespace setup {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace setup

#endif  // SETUP_BASE_SCOPED_FILE_H_
