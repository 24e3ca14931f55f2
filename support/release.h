// The release word of this RTI: the version RID files must carry and the one the URL reader
// names in its requests.
#pragma once

namespace brindle {

inline constexpr char rti_release[] = "D22";

}  // namespace brindle
