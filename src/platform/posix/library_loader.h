// Loading a shared library at run time (dlopen / dlsym), for the external
// compression library the archive-update component drives.
#pragma once

#include <string>

namespace platform {

using LibraryHandle = void*;

// The file of a library known by its base name: "lib" + the lower-cased
// name + ".so" ("ZipPack" gives "libzippack.so").
std::string LibraryFileName(const std::string& baseName);

// Loads a library by path, or by bare name through the system's search.
// Returns nullptr on failure, with the system's reason in *error when given.
LibraryHandle OpenLibrary(const std::string& pathOrName, std::string* error = nullptr);
// The address of an exported symbol, or nullptr.
void* LibrarySymbol(LibraryHandle library, const char* name);
void CloseLibrary(LibraryHandle library);

}  // namespace platform
