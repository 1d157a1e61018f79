#pragma once

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
