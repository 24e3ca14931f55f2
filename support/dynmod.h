// Loading of plug-in modules (shared objects) and finding the files behind them. The caller
// owns each loaded module until it passes it to dynmod_unload_module.
#pragma once

#include <cstddef>

#include "brindle_export.h"

namespace brindle {

using dynmod_module = void*;  // an opaque module handle; null means none

// ".so" on this platform.
BRINDLE_EXPORT const char* dynmod_get_module_extension();

// Loads the module in file with its symbols resolved at once; null after printing
// "dynmod_load_module: Error loading <file>" (with the loader's reason) on failure.
BRINDLE_EXPORT dynmod_module dynmod_load_module(const char* file);

// Unloads a module; false after printing "dynmod_unload_module: Error unloading module".
// A null module is ignored (true).
BRINDLE_EXPORT bool dynmod_unload_module(dynmod_module module);

// The address of the function called name in module, or null when it has none.
BRINDLE_EXPORT void* dynmod_get_function(dynmod_module module, const char* name);
// The same, but only a function that module itself defines: the loader would otherwise also find
// a function of the libraries module depends on (the C library's exit, say).
BRINDLE_EXPORT void* dynmod_get_own_function(dynmod_module module, const char* name);

// Writes the directory of the support library's own file into buffer (length bytes, text
// terminated); an empty text and false after printing a message when it is unknown or does
// not fit.
BRINDLE_EXPORT bool dynmod_get_lib_dirname(char* buffer, size_t length);

// Writes the file name of the object that defines function name of module into buffer (length
// bytes, text terminated); an empty text and false after printing a message on failure.
BRINDLE_EXPORT bool dynmod_get_function_filename(dynmod_module module, const char* name, char* buffer, size_t length);

}  // namespace brindle
