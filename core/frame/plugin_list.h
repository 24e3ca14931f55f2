// The plug-in modules of one distribution manager: shared objects named in the RID's "plugins"
// section, loaded at the end of the manager's construction, finalized and unloaded at its end.
// The distribution manager owns the list.
//
// RID entry, one child per plug-in (the child's name is the plug-in's):
//   (plugins (counter (filename "plugins/call_counter.so") (parameters "calls" 10 0.5)))
// The file name loses its extension and takes the platform's (".so"); the parameters reach the
// plug-in as text ("calls", "10", "0.5").
//
// Entry points a module may define (plain C names):
//   void varnel_plugin_initialize(varnel::local_distribution_manager*, int count, const char** parameters)
//   void varnel_plugin_finalize(varnel::local_distribution_manager*)
//   void <any name>(void* argument)          called through invoke_plugin_func
// Only functions the module itself defines are called, never one of its libraries'.
//
// A RID fetched over the network (http, ftp) does not choose code to run here: its plug-ins are
// loaded only when the environment variable HALDEN_ALLOW_URL_PLUGINS is "1".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "document.h"
#include "dynmod.h"

namespace brindle {
class RID;
}  // namespace brindle

namespace varnel {

class local_distribution_manager;

class plugin_list {
public:
  static constexpr const char* initialize_name = "varnel_plugin_initialize";
  static constexpr const char* finalize_name = "varnel_plugin_finalize";
  static constexpr const char* allow_url_variable = "HALDEN_ALLOW_URL_PLUGINS";

  explicit plugin_list(local_distribution_manager& ldm) : ldm_(ldm) {}
  // Unloads the modules, newest first. Call finalize (and delete the intercepts the plug-ins
  // made) before: their code goes with the module.
  ~plugin_list();
  plugin_list(const plugin_list&) = delete;
  plugin_list& operator=(const plugin_list&) = delete;

  // Loads every plug-in the RID lists, in order, and calls each one's initialize. A module that
  // does not load is skipped. What an initialize throws is thrown again as an ldm_exception of
  // this library (the same code and text; InternalError for anything else), since the caller
  // unloads the module before the exception reaches its handler.
  void load(brindle::RID& rid);
  // Calls each module's finalize, newest first; once. What one throws is reported and ignored.
  void finalize();
  // Calls the function name(argument) of every module that defines it, in load order.
  void invoke(const char* name, void* argument);

  // The module file of a RID file name: the extension after the last '.' of the last path
  // element is replaced by the platform's.
  static std::string module_path(const char* filename);

private:
  struct module_unloader {
    void operator()(void* module) const { brindle::dynmod_unload_module(module); }
  };
  using module_handle = std::unique_ptr<void, module_unloader>;

  void load_one(brindle::RID& rid, brindle::Document::Element& entry);

  local_distribution_manager& ldm_;
  std::vector<module_handle> modules_;  // in load order
  bool finalized_ = false;
};

}  // namespace varnel
