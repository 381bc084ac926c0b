#pragma once

// Every console line of the libraries and the piece goes through these two calls: progress and
// warnings on standard output, errors on standard error. Each call is formatted first and
// written whole, then flushed, so lines from several threads never interleave and nothing is
// lost when the program is killed. They format and write, so never call them from the audio
// thread.

namespace vl {

void print(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void printError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vl
