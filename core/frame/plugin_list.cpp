#include "frame/plugin_list.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "frame/ldm_error.h"
#include "rid.h"

namespace varnel {

using namespace brindle;

namespace {

using initialize_function = void (*)(local_distribution_manager*, int, const char**);
using finalize_function = void (*)(local_distribution_manager*);
using invoked_function = void (*)(void*);

// True when the RID was read from a URL of a scheme other than file.
bool read_over_network(std::string_view rid_file) {
  const size_t mark = rid_file.find(":/");
  if (mark == std::string_view::npos) return false;
  const std::string scheme(rid_file.substr(0, mark));
  return strcasecmp(scheme.c_str(), "file") != 0;
}

bool url_plugins_allowed() {
  const char* allowed = std::getenv(plugin_list::allow_url_variable);
  return allowed && std::string_view(allowed) == "1";
}

// A parameter as text: strings as they are, numbers printed and interned in the RID's symbols so
// that they live as long as the RID; null for a value of another kind.
const char* parameter_text(RID& rid, const Document::Value& value) {
  char text[64];
  switch (value.kind) {
    case Document::string_value: return value.string;
    case Document::integer_value:
      std::snprintf(text, sizeof text, "%ld", static_cast<long>(value.integer));
      return rid.getSymbol(text);
    case Document::real_value:
      std::snprintf(text, sizeof text, "%g", value.real);
      return rid.getSymbol(text);
    default: return nullptr;
  }
}

// An entry's setting: its first value, or in the XML form its attribute "name".
Document::Value* setting_of(RID& rid, Document::Element* entry) {
  if (Document::Value* value = rid.findValue("val0", entry)) return value;
  return rid.findValue("name", entry);
}

std::vector<const char*> parameters_of(RID& rid, Document::Element& entry) {
  std::vector<const char*> parameters;
  if (Document::Element* list = rid.findTag("parameters", &entry)) {
    for (const Document::Value& value : list->values)
      if (const char* text = parameter_text(rid, value)) parameters.push_back(text);
  }
  return parameters;
}

}  // namespace

plugin_list::~plugin_list() {
  while (!modules_.empty()) modules_.pop_back();
}

std::string plugin_list::module_path(const char* filename) {
  std::string path(filename);
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && path.find_first_of("/\\", dot) == std::string::npos) path.resize(dot);
  return path + dynmod_get_module_extension();
}

void plugin_list::load(RID& rid) {
  // The built-in defaults list no plug-ins: only the file's own section counts.
  Document::Element* section = rid.findTag("plugins", rid.findTag("federate_parameters", rid.get_rid_file()));
  if (!section || section->children.empty()) return;
  if (read_over_network(rid.get_rid_filename()) && !url_plugins_allowed()) {
    std::cout << "Not loading the plug-ins of " << rid.get_rid_filename() << ", a RID read over the network; set "
              << allow_url_variable << "=1 to allow it." << std::endl;
    return;
  }
  for (Document::Element& entry : section->children) load_one(rid, entry);
}

void plugin_list::load_one(RID& rid, Document::Element& entry) {
  Document::Value* filename = setting_of(rid, rid.findTag("filename", &entry));
  if (!filename || filename->kind != Document::string_value) return;
  std::vector<const char*> parameters = parameters_of(rid, entry);
  const std::string path = module_path(filename->string);
  std::cout << "Loading plugin " << path << std::endl;
  module_handle module(dynmod_load_module(path.c_str()));
  if (!module) return;
  auto initialize = reinterpret_cast<initialize_function>(dynmod_get_own_function(module.get(), initialize_name));
  modules_.push_back(std::move(module));
  if (!initialize) return;
  // What the plug-in throws is made again here: the plug-in's own exception object would
  // outlive its code, which is unloaded as the failed construction unwinds.
  try {
    initialize(&ldm_, static_cast<int>(parameters.size()), parameters.data());
  } catch (const ldm_exception& failed) {
    throw ldm_exception(failed.code(), std::string(failed.detail()));
  } catch (...) {
    throw make_ldm_exception(ldm_error::InternalError, "Plugin %s failed to initialize", path.c_str());
  }
}

void plugin_list::finalize() {
  if (finalized_) return;
  finalized_ = true;
  for (auto module = modules_.rbegin(); module != modules_.rend(); ++module) {
    auto finalize = reinterpret_cast<finalize_function>(dynmod_get_own_function(module->get(), finalize_name));
    // Finalizing runs in the manager's destructor, which must not throw.
    try {
      if (finalize) finalize(&ldm_);
    } catch (...) {
      std::cerr << "LDM: a plug-in's " << finalize_name << " threw; ignored" << std::endl;
    }
  }
}

void plugin_list::invoke(const char* name, void* argument) {
  for (const module_handle& module : modules_) {
    auto function = reinterpret_cast<invoked_function>(dynmod_get_own_function(module.get(), name));
    if (function) function(argument);
  }
}

}  // namespace varnel
