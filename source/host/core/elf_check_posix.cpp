// ELF is the library format of the POSIX systems this host runs on, except
// Mac OS X, whose loader takes Mach-O files and is not checked here.
#if !defined(__APPLE__)
#include "elf_check.h"

#include <elf.h>

#include <cstdint>
#include <cstring>
#include <fstream>

namespace kurvo::host {
namespace {

template <class Header, class ProgramHeader>
std::string checkTables(std::ifstream& in, uint64_t size) {
  Header h{};
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(&h), sizeof h)) return "it is too short for an ELF header (truncated?)";
  const auto within = [&](uint64_t offset, uint64_t bytes) { return offset <= size && bytes <= size - offset; };
  if (!within(h.e_phoff, static_cast<uint64_t>(h.e_phnum) * h.e_phentsize))
    return "its program headers lie past its end (the file is truncated)";
  if (h.e_shnum != 0 && !within(h.e_shoff, static_cast<uint64_t>(h.e_shnum) * h.e_shentsize))
    return "its section headers lie past its end (the file is truncated)";
  if (h.e_phentsize != sizeof(ProgramHeader)) return "its program headers have an unexpected size";
  for (uint64_t i = 0; i < h.e_phnum; ++i) {
    ProgramHeader p{};
    in.seekg(static_cast<std::streamoff>(h.e_phoff + i * sizeof p));
    if (!in.read(reinterpret_cast<char*>(&p), sizeof p)) return "its program headers cannot be read";
    if (p.p_type == PT_LOAD && !within(p.p_offset, p.p_filesz))
      return "a segment of it lies past its end (the file is truncated: " + std::to_string(size) + " bytes, " +
             std::to_string(static_cast<uint64_t>(p.p_offset) + p.p_filesz) + " needed)";
  }
  return {};
}

}  // namespace

std::string elfFileProblem(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) return "cannot be opened";
  const auto size = static_cast<uint64_t>(in.tellg());
  unsigned char ident[EI_NIDENT] = {};
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(ident), EI_NIDENT) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
    return "is not a shared library (no ELF header)";
  if (ident[EI_CLASS] == ELFCLASS64 && sizeof(void*) == 8) return checkTables<Elf64_Ehdr, Elf64_Phdr>(in, size);
  if (ident[EI_CLASS] == ELFCLASS32 && sizeof(void*) == 4) return checkTables<Elf32_Ehdr, Elf32_Phdr>(in, size);
  return sizeof(void*) == 8 ? "is a 32-bit library; this kurvo loads 64-bit ones"
                            : "is a 64-bit library; this kurvo loads 32-bit ones";
}

}  // namespace kurvo::host

#endif
