#pragma once

// Directories that refuse writes as a real machine's do: a read-only mount, or a filesystem
// that is full to the last byte. The mounts live in a mount namespace that the calling thread
// enters (threads it starts later share it), so the machine's own mounts are never touched.

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace unwritable {

enum class Trouble { READ_ONLY, FULL };

inline std::string name(Trouble t) {
  return t == Trouble::READ_ONLY ? "ReadOnly" : "Full";
}

inline bool enterOwnMountNamespace() {
  static const bool entered = [] {
    if (unshare(CLONE_NEWNS) != 0) {
      std::perror("unshare(CLONE_NEWNS) (run as root)");
      return false;
    }
    // Private, so that nothing mounted here shows up outside.
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  }();
  return entered;
}

// A directory that becomes unwritable in two steps: prepare() before the files that must
// survive are written into it (a full filesystem needs its own mount first), seal() after.
class Dir {
 public:
  Dir(Trouble trouble) : mTrouble(trouble) {
    std::string pattern = (std::filesystem::temp_directory_path() / "unwritableXXXXXX").string();
    if (mkdtemp(pattern.data())) mPath = pattern;
  }
  ~Dir() {
    for (int i = 0; i < mMounts; ++i) umount2(mPath.c_str(), MNT_DETACH);
    std::error_code ec;
    std::filesystem::remove_all(mPath, ec);
  }
  const std::string& path() const { return mPath; }

  bool prepare() {
    if (mPath.empty() || !enterOwnMountNamespace()) return false;
    if (mTrouble == Trouble::FULL) {
      if (mount("tmpfs", mPath.c_str(), "tmpfs", 0, "size=256k") != 0) return false;
      ++mMounts;
    }
    return true;
  }

  bool seal() {
    if (mTrouble == Trouble::READ_ONLY) {
      if (mount(mPath.c_str(), mPath.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
      ++mMounts;
      if (mount(nullptr, mPath.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        return false;
      }
      // A working directory inside still points below the new mount: step into it again.
      std::error_code ec;
      if (std::filesystem::equivalent(std::filesystem::current_path(), mPath, ec)) {
        std::filesystem::current_path(mPath);
      }
      return true;
    }
    const int fd = open((mPath + "/" + kFiller).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    std::vector<char> block(4096, 'x');
    // Whole blocks, then byte by byte into whatever the last block left.
    while (write(fd, block.data(), block.size()) > 0) {
    }
    while (write(fd, block.data(), 1) == 1) {
    }
    const bool full = errno == ENOSPC;
    close(fd);
    return full;
  }

  // Every file below the directory (the filler left out) with its bytes.
  std::map<std::string, std::string> contents() const {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(mPath)) {
      if (!e.is_regular_file() || e.path().filename() == kFiller) continue;
      std::ifstream in(e.path(), std::ios::binary);
      files[e.path().string()] =
          std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
  }

 private:
  static constexpr const char* kFiller = "filler";
  Trouble mTrouble;
  std::string mPath;
  int mMounts = 0;
};

}  // namespace unwritable
