// dlopen maps a module's segments as its program headers describe them; a
// truncated file maps pages past its end, and the first touch of one ends
// the process with SIGBUS inside the loader. This check reads the headers
// first and refuses a file whose segments or tables reach past its end.
#pragma once

#include <filesystem>
#include <string>

namespace kurvo::host {

// Empty when `file` is a whole ELF file of this machine's class; otherwise
// the problem, without the file's name.
std::string elfFileProblem(const std::filesystem::path& file);

}  // namespace kurvo::host
