#include "core/vl_File.hpp"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "core/vl_Console.hpp"

namespace fs = std::filesystem;

namespace vl {

namespace {
// Flushes a file's or a directory's contents to the device; where that cannot be asked, true.
bool syncToDisk(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return true;
#else
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync
  ::close(fd);
  return ok;
#endif
}
}  // namespace

std::string File::conformDirectory(const std::string& path) {
  if (path.empty() || path.back() == '/' || path.back() == '\\') return path;
  return path + "/";
}

bool File::exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

bool File::isDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

bool File::createDirectory(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return isDirectory(path);
}

bool File::endsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

std::vector<std::string> File::listFiles(const std::string& dir, const std::string& extension) {
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(dir.empty() ? "." : dir, ec);
  if (ec) return names;
  for (const auto& entry : it) {
    std::error_code typeError;
    if (!entry.is_regular_file(typeError)) continue;
    std::string name = entry.path().filename().string();
    if (endsWith(name, extension)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool File::checkName(const std::string& name, const std::string& what) {
  bool ok = !name.empty() && name.find("..") == std::string::npos;
  for (char c : name) {
    if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) ok = false;
  }
  if (!ok) {
    printError(
        "ERROR: Refusing %s name \"%s\": names must not be empty or contain path separators "
        "or \"..\"\n",
        what.c_str(), name.c_str());
  }
  return ok;
}

bool File::checkRelativeDirectory(const std::string& path, const std::string& what) {
  bool ok = true;
  if (!path.empty()) {
    std::string p = path;
    if (p.back() == '/') p.pop_back();
    std::size_t start = 0;
    while (ok) {
      const std::size_t end = p.find('/', start);
      const std::string part = p.substr(start, end == std::string::npos ? end : end - start);
      bool plain = !part.empty() && part != "." && part != "..";
      for (char c : part) {
        if (c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) plain = false;
      }
      ok = plain;
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  if (!ok) {
    printError("ERROR: Refusing %s \"%s\": it must be a relative path without \"..\"\n",
               what.c_str(), path.c_str());
  }
  return ok;
}

File::WriteResult File::writeReplacing(const std::string& path, const std::string& content) {
  // Unique per process and call, so two writers of one file never share a temporary.
  static std::atomic<unsigned> counter{0};
  const std::string temp = path + ".tmp" + std::to_string(counter++);
  {
    std::ofstream out(temp, std::ios::out | std::ios::trunc);
    if (!out.is_open()) return WriteResult::OPEN_FAILED;
    out << content;
    out.flush();
    const bool good = out.good();
    out.close();
    if (!good || out.fail()) {
      std::error_code ec;
      fs::remove(temp, ec);
      return WriteResult::WRITE_FAILED;
    }
  }
  // On disk before the rename, so that a power cut cannot leave the new name on an empty file.
  if (!syncToDisk(temp)) {
    std::error_code ec;
    fs::remove(temp, ec);
    return WriteResult::WRITE_FAILED;
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) {
    std::error_code removeError;
    fs::remove(temp, removeError);
    return WriteResult::WRITE_FAILED;
  }
  const fs::path parent = fs::path(path).parent_path();
  syncToDisk(parent.empty() ? std::string(".") : parent.string());
  return WriteResult::OK;
}

}  // namespace vl
