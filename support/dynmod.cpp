#include "dynmod.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <cstring>
#include <string_view>

namespace brindle {

namespace {

// Copies text into buffer when it fits with its terminator; otherwise leaves an empty text.
bool copy_out(std::string_view text, char* buffer, size_t length) {
  if (!buffer || length == 0) return false;
  buffer[0] = '\0';
  if (text.size() >= length) return false;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return true;
}

// The file of the loaded object that holds address, or null.
const char* object_file_of(const void* address) {
  Dl_info info{};
  if (!address || dladdr(address, &info) == 0 || !info.dli_fname || !*info.dli_fname) return nullptr;
  return info.dli_fname;
}

void print_loader_reason() {
  if (const char* reason = dlerror()) std::fprintf(stderr, "    %s\n", reason);
}

}  // namespace

const char* dynmod_get_module_extension() { return ".so"; }

dynmod_module dynmod_load_module(const char* file) {
  dynmod_module module = file ? dlopen(file, RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (!module) {
    std::fprintf(stderr, "dynmod_load_module: Error loading %s\n", file ? file : "(null)");
    print_loader_reason();
  }
  return module;
}

bool dynmod_unload_module(dynmod_module module) {
  if (!module) return true;
  if (dlclose(module) == 0) return true;
  std::fprintf(stderr, "dynmod_unload_module: Error unloading module\n");
  print_loader_reason();
  return false;
}

void* dynmod_get_function(dynmod_module module, const char* name) {
  if (!module || !name) return nullptr;
  return dlsym(module, name);
}

void* dynmod_get_own_function(dynmod_module module, const char* name) {
  void* function = dynmod_get_function(module, name);
  link_map* own = nullptr;
  link_map* holder = nullptr;
  Dl_info info{};
  if (!function || dlinfo(module, RTLD_DI_LINKMAP, &own) != 0) return nullptr;
  if (dladdr1(function, &info, reinterpret_cast<void**>(&holder), RTLD_DL_LINKMAP) == 0) return nullptr;
  return holder == own ? function : nullptr;
}

bool dynmod_get_lib_dirname(char* buffer, size_t length) {
  // Any function of this library tells which file the loader took it from.
  const char* file = object_file_of(reinterpret_cast<const void*>(&dynmod_get_lib_dirname));
  if (file) {
    const std::string_view path(file);
    const size_t slash = path.rfind('/');
    const std::string_view dir = slash == std::string_view::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (copy_out(dir, buffer, length)) return true;
  }
  copy_out("", buffer, length);
  std::fprintf(stderr, "dynmod_get_lib_dirname: Error getting dirname\n");
  return false;
}

bool dynmod_get_function_filename(dynmod_module module, const char* name, char* buffer, size_t length) {
  const char* file = object_file_of(dynmod_get_function(module, name));
  if (file && copy_out(file, buffer, length)) return true;
  copy_out("", buffer, length);
  std::fprintf(stderr, "dynmod_get_function_filename: Error getting filename\n");
  return false;
}

}  // namespace brindle
