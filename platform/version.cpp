#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "platform/system.h"

// The version note that every program of the project carries: owner
// "RVUKiosk", type 1, two 32-bit words (major << 16 | minor, release << 16 | build).

namespace platform {

namespace {

constexpr char kNoteOwner[] = "RVUKiosk";
constexpr std::uint32_t kNoteType = 1;

template <typename T>
bool ReadAt(std::ifstream& in, std::uint64_t offset, T& out) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(&out), sizeof out);
  return static_cast<size_t>(in.gcount()) == sizeof out;
}

std::uint32_t Align4(std::uint32_t n) { return (n + 3u) & ~3u; }

// Looks for the note in one SHT_NOTE section's bytes.
bool FindNote(const std::vector<char>& bytes, std::uint32_t& ms, std::uint32_t& ls) {
  size_t pos = 0;
  while (pos + 12 <= bytes.size()) {
    std::uint32_t namesz, descsz, type;
    std::memcpy(&namesz, &bytes[pos], 4);
    std::memcpy(&descsz, &bytes[pos + 4], 4);
    std::memcpy(&type, &bytes[pos + 8], 4);
    pos += 12;
    const std::uint64_t nameEnd = pos + static_cast<std::uint64_t>(Align4(namesz));
    const std::uint64_t descEnd = nameEnd + static_cast<std::uint64_t>(Align4(descsz));
    if (namesz > bytes.size() || descsz > bytes.size() || descEnd > bytes.size()) return false;
    if (type == kNoteType && namesz == sizeof kNoteOwner && std::memcmp(&bytes[pos], kNoteOwner, namesz) == 0 &&
        descsz == 8) {
      std::memcpy(&ms, &bytes[nameEnd], 4);
      std::memcpy(&ls, &bytes[nameEnd + 4], 4);
      return true;
    }
    pos = static_cast<size_t>(descEnd);
  }
  return false;
}

template <typename Ehdr, typename Shdr>
bool ScanSections(std::ifstream& in, std::uint32_t& ms, std::uint32_t& ls) {
  Ehdr header{};
  if (!ReadAt(in, 0, header)) return false;
  if (header.e_shentsize != sizeof(Shdr) || header.e_shnum == 0 || header.e_shnum > 4096) return false;
  for (unsigned i = 0; i < header.e_shnum; ++i) {
    Shdr section{};
    if (!ReadAt(in, header.e_shoff + static_cast<std::uint64_t>(i) * sizeof(Shdr), section)) return false;
    if (section.sh_type != SHT_NOTE || section.sh_size == 0 || section.sh_size > (1u << 20)) continue;
    std::vector<char> bytes(section.sh_size);
    in.clear();
    in.seekg(static_cast<std::streamoff>(section.sh_offset));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<size_t>(in.gcount()) != bytes.size()) continue;
    if (FindNote(bytes, ms, ls)) return true;
  }
  return false;
}

}  // namespace

std::string ReadFileVersion(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  unsigned char ident[EI_NIDENT] = {};
  in.read(reinterpret_cast<char*>(ident), sizeof ident);
  if (in.gcount() != EI_NIDENT || std::memcmp(ident, ELFMAG, SELFMAG) != 0) return {};
  // Only files of this machine's byte order are read.
  if (ident[EI_DATA] != (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB)) return {};
  std::uint32_t ms = 0, ls = 0;
  bool found = false;
  if (ident[EI_CLASS] == ELFCLASS64)
    found = ScanSections<Elf64_Ehdr, Elf64_Shdr>(in, ms, ls);
  else if (ident[EI_CLASS] == ELFCLASS32)
    found = ScanSections<Elf32_Ehdr, Elf32_Shdr>(in, ms, ls);
  if (!found) return {};
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
         std::to_string(ls & 0xFFFF);
}

}  // namespace platform
