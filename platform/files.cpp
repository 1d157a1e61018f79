#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/error.h"

namespace platform {

namespace {

[[noreturn]] void ThrowIo(const std::string& what, const std::string& path, int err) {
  throw Error(kInOutError, what + " " + path + ": " + std::strerror(err));
}

void WriteAll(int fd, std::string_view data, const std::string& path) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      ThrowIo("Cannot write", path, err);
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
}

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string FolderOf(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string NameOf(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool WildcardMatch(std::string_view pattern, std::string_view name, bool ignoreCase) {
  // Iterative match with one backtrack point for the last "*".
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  auto same = [ignoreCase](char a, char b) { return ignoreCase ? Lower(a) == Lower(b) : a == b; };
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<DirEntry> ListMatching(const std::string& pathPattern) {
  const std::string folder = FolderOf(pathPattern);
  const std::string pattern = NameOf(pathPattern);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
  if (!dir) ThrowIo("Cannot list", folder.empty() ? "." : folder, errno);
  std::vector<DirEntry> entries;
  errno = 0;
  while (dirent* e = ::readdir(dir.get())) {
    std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    if (!WildcardMatch(pattern, name, /*ignoreCase=*/true)) continue;
    DirEntry entry{std::string(name), false};
    if (e->d_type == DT_DIR) {
      entry.isDirectory = true;
    } else if (e->d_type == DT_UNKNOWN) {
      struct stat st {};
      entry.isDirectory = ::stat((folder + entry.name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

void AppendToFile(const std::string& path, std::string_view data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) ThrowIo("Cannot open", path, errno);
  WriteAll(fd, data, path);
  if (::close(fd) != 0) ThrowIo("Cannot close", path, errno);
}

void ReplaceFileAtomically(const std::string& path, std::string_view data) {
  std::string temp = path + ".tmp-XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) ThrowIo("Cannot create", temp, errno);
  try {
    WriteAll(fd, data, temp);  // closes fd when it throws
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  ::fchmod(fd, 0644);
  if (::fsync(fd) != 0) {
    int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    ThrowIo("Cannot flush", temp, err);
  }
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    ThrowIo("Cannot close", temp, err);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    ThrowIo("Cannot replace", path, err);
  }
}

std::string ReadFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowIo("Cannot open", path, errno);
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      ThrowIo("Cannot read", path, err);
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return content;
}

}  // namespace platform

namespace platform {

FolderUsage MeasureFolder(const std::string& path, std::uint64_t maxEntries) {
  namespace fs = std::filesystem;
  FolderUsage usage;
  std::error_code ec;
  fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
  std::uint64_t seen = 0;
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (seen++ == maxEntries) {
      usage.cut = true;
      break;
    }
    std::error_code entryError;
    if (!it->is_regular_file(entryError) || it->is_symlink(entryError)) continue;
    const std::uintmax_t size = it->file_size(entryError);
    if (entryError) continue;
    usage.bytes += size;
    ++usage.files;
  }
  return usage;
}

FileSystemSpace SpaceOf(const std::string& path) {
  struct statvfs st {};
  if (::statvfs(path.c_str(), &st) != 0) return {};
  return {static_cast<std::uint64_t>(st.f_blocks) * st.f_frsize, static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize};
}

}  // namespace platform
