# Sourced by the checks that run under AddressSanitizer and UndefinedBehaviorSanitizer: one
# clang build of the whole tree, tests and fuzz targets included, shared by all of them so
# that CI compiles the instrumented library once. Usage: asan_build TARGET...
asan_dir=build-asan
asan_build() {
  cmake -S . -B "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DZENTHA_FUZZ=ON -DZENTHA_BENCH=OFF \
    -DZENTHA_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fno-sanitize-recover=all >/dev/null
  cmake --build "$asan_dir" -j"$(nproc)" --target "$@"
}
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
