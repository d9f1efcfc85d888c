#include "platform/posix/library_loader.h"

#include <dlfcn.h>

#include <cctype>

namespace platform {

std::string LibraryFileName(const std::string& baseName) {
  std::string name = "lib";
  for (const char c : baseName) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name + ".so";
}

LibraryHandle OpenLibrary(const std::string& pathOrName, std::string* error) {
  // RTLD_NOW: a library with unresolved symbols fails here, not in the
  // middle of a call. RTLD_LOCAL: its symbols never satisfy anyone else's.
  dlerror();
  LibraryHandle handle = dlopen(pathOrName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr && error != nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "unknown error";
  }
  return handle;
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
  return library != nullptr ? dlsym(library, name) : nullptr;
}

void CloseLibrary(LibraryHandle library) {
  if (library != nullptr) dlclose(library);
}

}  // namespace platform
