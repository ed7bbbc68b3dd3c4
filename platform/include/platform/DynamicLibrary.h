#pragma once

#include <string>

namespace platform {

// A loaded shared library; null when none.
using LibraryHandle = void*;

// The file a Windows library name stands for: a file name ending in ".dll" (in any
// case) becomes "lib" + its stem + ".so" ("Ardentis.dll" gives "libArdentis.so"), a
// folder in front of it stays; any other name is kept as it is.
std::string library_file_name(const std::string& name);

// Why a library did not load: the file given to the system loader and the
// loader's own text.
struct LibraryLoadFailure {
    std::string file;
    std::string reason;
};

// Loads a library by name as the Windows loader does. A name without a folder is
// looked for in the executable's folder first (the folder Windows searches first),
// then along the system loader's search path; a name with a folder is loaded as it
// stands. All its symbols are bound at once and kept to itself. Null when it
// cannot be loaded, with the failure filled in when one is given. Each
// successful load takes a reference.
LibraryHandle load_library(const std::string& name, LibraryLoadFailure* failure = nullptr);

// The file the library was loaded from; empty for a null handle.
std::string library_path(LibraryHandle library);

// The address of the library's exported symbol of that name, or null.
void* find_library_symbol(LibraryHandle library, const char* name);

// Drops one reference taken by load_library; the library goes with the last one.
// False for a null handle or when the system refuses.
bool free_library(LibraryHandle library);

} // namespace platform
