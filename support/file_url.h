// Loads file URLs: the whole of a local file, read in one piece. Paths are used as given, with
// their "/", relative ones from the working directory. Owned by URL_reader.
#pragma once

#include "url_reader.h"

namespace brindle {

class file_URL : public URL_handler {
public:
  explicit file_URL(const URL_limits& limits) : max_bytes_(limits.max_bytes) {}
  const char* scheme_name() const override { return "file"; }
  URL_data* load(const parsed_URL& url) override;

private:
  size_t max_bytes_;
};

}  // namespace brindle
