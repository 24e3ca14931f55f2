// The reader texts built into the RID: the connectivity path templates (macros that the other
// texts and user files name), the default configuration with every key explained, and the
// configuration a translated Brenlo file starts from. Read once by each RID.
#pragma once

namespace brindle {

// ( NAME { (order node ...) } ... ): one macro per connectivity path, nodes top to bottom.
extern const char rid_templates_text[];
// The built-in defaults: every key the system reads, with a comment on each.
extern const char rid_defaults_text[];
// The defaults as a Brenlo federation expects them; the translation fills in the rest.
extern const char rid_brenlo_mimic_text[];

}  // namespace brindle
