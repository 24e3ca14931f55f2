// file_URL: open, size and read a local file, refusing files beyond the document size limit.
#include "file_url.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace brindle {

URL_data* file_URL::load(const parsed_URL& url) {
  const char* path = url.path;
  unique_fd file(::open(path, O_RDONLY | O_CLOEXEC));
  if (!file) {
    std::fprintf(stderr, "Can't open %s: %s\n", path, std::strerror(errno));
    return nullptr;
  }
  struct stat status;
  if (::fstat(file.get(), &status) != 0) {
    std::fprintf(stderr, "Can't stat %s: %s\n", path, std::strerror(errno));
    return nullptr;
  }
  if (static_cast<unsigned long long>(status.st_size) > max_bytes_) {
    report_too_large(path, max_bytes_);
    return nullptr;
  }
  // Read to the end rather than trusting the size: pipes and special files report none, and a
  // file may change while it is read. One byte more than the size lets one read see the end.
  std::vector<char> bytes;
  switch (read_to_end(file.get(), max_bytes_, static_cast<size_t>(status.st_size) + 1, bytes)) {
    case read_result::complete:
      return new URL_data{this, std::move(bytes)};
    case read_result::too_large:
      report_too_large(path, max_bytes_);
      return nullptr;
    case read_result::failed:
      break;
  }
  std::fprintf(stderr, "Can't read %s: %s\n", path, std::strerror(errno));
  return nullptr;
}

}  // namespace brindle
