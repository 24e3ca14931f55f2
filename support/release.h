// The release word of this RTI: the version RID files must carry and the one the URL reader
// names in its requests.
#pragma once

inline constexpr char rti_release[] = "D22";
