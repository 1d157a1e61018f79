#include "bench/process_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "bench/bench_util.h"

namespace bench {

ProgramCopy::ProgramCopy(const std::string& program) {
  std::string pattern = "/tmp/kiosk-bench-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
  path_ = folder_ + "/" + std::filesystem::path(program).filename().string();
  std::filesystem::copy_file(program, path_);
}

ProgramCopy::~ProgramCopy() {
  std::error_code error;
  std::filesystem::remove_all(folder_, error);
}

void BecomeSubreaper() { prctl(PR_SET_CHILD_SUBREAPER, 1UL); }

void ReapOrphans() {
  int status = 0;
  while (waitpid(-1, &status, WNOHANG) > 0) {
  }
}

namespace {

// Every process's parent, from /proc/<pid>/stat.
std::map<pid_t, pid_t> Parents() {
  std::map<pid_t, pid_t> parents;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return parents;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 2));
    char state = 0;
    long parent = 0;
    rest >> state >> parent;
    parents[static_cast<pid_t>(pid)] = static_cast<pid_t>(parent);
  }
  closedir(proc);
  return parents;
}

}  // namespace

std::vector<pid_t> ProcessTree(pid_t root) {
  const auto parents = Parents();
  std::vector<pid_t> tree;
  if (parents.count(root) == 0) return tree;
  tree.push_back(root);
  for (std::size_t i = 0; i < tree.size(); ++i)
    for (const auto& [pid, parent] : parents)
      if (parent == tree[i]) tree.push_back(pid);
  return tree;
}

pid_t FindInTree(pid_t root, const std::string& name) {
  for (pid_t pid : ProcessTree(root)) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/exe", pid);
    char target[4096];
    const ssize_t n = readlink(path, target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    const std::string file(target);
    if (file.substr(file.rfind('/') + 1) == name) return pid;
  }
  return -1;
}

namespace {

// The name and the user + system seconds from a /proc .../stat file.
bool ReadStat(const std::string& path, std::string& name, double& cpuSeconds) {
  std::ifstream stat(path);
  std::string text;
  if (!std::getline(stat, text)) return false;
  const std::size_t open = text.find('('), close = text.rfind(')');
  if (open == std::string::npos || close == std::string::npos) return false;
  name = text.substr(open + 1, close - open - 1);
  std::istringstream rest(text.substr(close + 2));
  std::string field;
  // Fields 3 to 13 come before utime (14) and stime (15).
  for (int i = 3; i <= 13; ++i) rest >> field;
  unsigned long long user = 0, system = 0;
  rest >> user >> system;
  if (!rest) return false;
  cpuSeconds = static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
  return true;
}

}  // namespace

std::map<std::string, double> ThreadCpu(pid_t pid) {
  std::map<std::string, double> threads;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* folder = opendir(tasks.c_str());
  if (folder == nullptr) return threads;
  while (dirent* entry = readdir(folder)) {
    if (entry->d_name[0] == '.') continue;
    std::string name;
    double seconds = 0;
    if (ReadStat(tasks + "/" + entry->d_name + "/stat", name, seconds)) threads[name] += seconds;
  }
  closedir(folder);
  return threads;
}

bool ReadProcess(pid_t pid, ProcessSample& sample, bool withPss) {
  const std::string base = "/proc/" + std::to_string(pid);
  if (!ReadStat(base + "/stat", sample.name, sample.cpuSeconds)) return false;

  std::ifstream statm(base + "/statm");
  unsigned long long size = 0, resident = 0;
  statm >> size >> resident;
  sample.rssBytes = resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  sample.pssBytes = 0;
  if (withPss) {
    std::ifstream rollup(base + "/smaps_rollup");
    std::string line;
    while (std::getline(rollup, line))
      if (line.rfind("Pss:", 0) == 0) {
        sample.pssBytes = std::stoull(line.substr(4)) * 1024;
        break;
      }
  }
  return true;
}

void TreeCpu::Begin() {
  seen_.clear();
  begun_ = false;
  Sample();
  begun_ = true;
}

void TreeCpu::Sample() {
  for (pid_t pid : ProcessTree(root_)) {
    ProcessSample sample;
    if (!ReadProcess(pid, sample)) continue;
    auto it = seen_.find(pid);
    if (it == seen_.end()) {
      // A process that starts after the beginning counts from nothing.
      seen_[pid] = {sample.name, begun_ ? 0.0 : sample.cpuSeconds, sample.cpuSeconds};
    } else {
      it->second.last = sample.cpuSeconds;
    }
  }
}

double TreeCpu::Seconds() const {
  double total = 0;
  for (const auto& [pid, seen] : seen_) total += seen.last - seen.first;
  return total;
}

std::map<std::string, double> TreeCpu::ByName() const {
  std::map<std::string, double> names;
  for (const auto& [pid, seen] : seen_) names[seen.name] += seen.last - seen.first;
  return names;
}

TreeMemory ReadTreeMemory(pid_t root) {
  TreeMemory memory;
  for (pid_t pid : ProcessTree(root)) {
    ProcessSample sample;
    if (!ReadProcess(pid, sample, true)) continue;
    memory.rssBytes += sample.rssBytes;
    memory.pssBytes += sample.pssBytes;
    ++memory.processes;
  }
  return memory;
}

}  // namespace bench
