#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True for an existing file that is not a folder.
bool FileExists(const std::string& path);
// Removes a file; false when it could not be removed.
bool DeleteFile(const std::string& path);

// The folder part of a path including its trailing "/" (empty without one),
// and the name after it.
std::string FolderOf(std::string_view path);
std::string NameOf(std::string_view path);

// "*" matches any run of characters, "?" any one character.
bool WildcardMatch(std::string_view pattern, std::string_view name, bool ignoreCase);

struct DirEntry {
  std::string name;  // bare name, without the folder
  bool isDirectory = false;
};

// Lists the entries of the folder of `pathPattern` whose names match its name
// part, hidden ones included. Names are matched without regard to case, so a
// pattern ending "csv" also finds the daily ".CSV" files. Throws
// platform::Error when the folder cannot be listed.
std::vector<DirEntry> ListMatching(const std::string& pathPattern);

// Appends bytes to a file, creating it when missing; flushed and closed on
// return. Throws platform::Error (EInOutError) on failure.
void AppendToFile(const std::string& path, std::string_view data);

// Replaces a file's content: writes a temporary file in the same folder, flushes
// it to disk and renames it over `path`, so the file is always either the old or
// the complete new one. Throws platform::Error (EInOutError) on failure.
void ReplaceFileAtomically(const std::string& path, std::string_view data);

// Reads a whole file. Throws platform::Error (EInOutError) on failure.
std::string ReadFile(const std::string& path);

}  // namespace platform

namespace platform {

// The files of a folder and its subfolders, at most `maxEntries` entries
// looked at; `cut` when there were more. Entries that vanish or cannot be
// read while it walks are skipped.
struct FolderUsage {
  std::uint64_t bytes = 0;
  std::uint64_t files = 0;
  bool cut = false;
};
FolderUsage MeasureFolder(const std::string& path, std::uint64_t maxEntries);

// The file system that holds `path`: its size and the space free for an
// ordinary user; both 0 when it cannot be asked.
struct FileSystemSpace {
  std::uint64_t sizeBytes = 0;
  std::uint64_t freeBytes = 0;
};
FileSystemSpace SpaceOf(const std::string& path);

}  // namespace platform
