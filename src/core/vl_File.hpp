#pragma once

// Path and directory helpers for the preset and sequence stores, and the two safety rules every
// store follows: names that come from outside stay inside their directory, and a file is
// replaced only once its new content is completely on disk.

#include <string>
#include <vector>

namespace vl {

class File {
 public:
  // The path with a trailing "/" (unchanged when empty or already ending in a separator).
  static std::string conformDirectory(const std::string& path);
  static bool exists(const std::string& path);
  static bool isDirectory(const std::string& path);
  // Creates the directory and its parents; true when it exists afterwards.
  static bool createDirectory(const std::string& path);
  // Names (not paths) of the regular files in dir whose names end in extension, sorted
  // byte-wise so that every platform lists them in the same order.
  static std::vector<std::string> listFiles(const std::string& dir, const std::string& extension);
  static bool endsWith(const std::string& text, const std::string& ending);

  // True when name is a single, non-empty file name: no "/", "\", ":" (a drive on Windows),
  // no ".." and no control characters. Prints why on standard error when it is not, naming
  // what the name was for.
  static bool checkName(const std::string& name, const std::string& what);
  // A relative path of plain names (for sub-directories set by the program): empty, or
  // components separated by "/" none of which is empty, "." or "..".
  static bool checkRelativeDirectory(const std::string& path, const std::string& what);

  enum class WriteResult { OK, OPEN_FAILED, WRITE_FAILED };
  // Writes content to a temporary file beside path and renames it over path, so that a failed
  // or interrupted write leaves the previous file untouched.
  static WriteResult writeReplacing(const std::string& path, const std::string& content);
};

}  // namespace vl
