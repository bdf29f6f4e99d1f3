// Whether two names stand for one file, so that nothing a run writes besides its spectra
// (a log, a summary, a page, a saved red.dat) lands on a file the run reads or writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "spcfile/file_access.h"

namespace ftir::spcfile {

// A name as a run will use it, looked up once: the identity of what it names now (links
// followed), and its last component, which tells most names apart without looking at
// their folders.
struct FilePlace {
  std::string name;
  std::optional<FileId> id;
  std::string leaf;  // the last component with "." and ".." folded; empty when there is none
};

FilePlace file_place(std::string_view name);

// Whether `a` and `b` are one file: the same identity when both name a file now; otherwise
// the same absolute path once the links of the existing folders are resolved and "." and
// ".." folded (`out/./a.spc` and `out/a.spc`). An empty name, or one holding a NUL byte,
// names no file and is the same as nothing.
bool same_place(const FilePlace& a, const FilePlace& b);

}  // namespace ftir::spcfile
