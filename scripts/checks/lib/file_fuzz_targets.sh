# Sourced by the checks and the campaign that fuzz the readers of files: the targets, the
# file name extension of their inputs, and the corpus each starts from.
file_fuzz_targets=(preset_file_fuzz preset_map_fuzz sequence_fuzz synth_sequence_fuzz toml_fuzz
  vr_script_fuzz)
declare -A file_fuzz_extension=([preset_file_fuzz]=.preset [preset_map_fuzz]=.presetMap
  [sequence_fuzz]=.sequence [synth_sequence_fuzz]=.synthSequence [toml_fuzz]=.toml
  [vr_script_fuzz]=.vrscript)

# Fills dir with the target's hand-written seeds, its kept regression inputs and the
# program's own files of its kind from data/ (the files it really reads).
seed_corpus() {
  local target=$1 dir=$2 ext=${file_fuzz_extension[$1]}
  mkdir -p "$dir"
  cp fuzz/corpus/"$target"/* "$dir"/
  if [ -d fuzz/regressions/"$target" ]; then cp fuzz/regressions/"$target"/* "$dir"/; fi
  # Data file names may repeat across folders: keep each under its path, flattened.
  find data -type f -name "*$ext" -size -64k 2>/dev/null | while read -r f; do
    cp "$f" "$dir/data_$(echo "$f" | tr '/ ' '__')"
  done
}

# Runs every kept regression input of the target once; fails on the first that crashes.
replay_regressions() {
  local target=$1 binary=$2
  [ -d fuzz/regressions/"$target" ] || return 0
  local inputs=(fuzz/regressions/"$target"/*)
  [ -e "${inputs[0]}" ] || return 0
  "$binary" -close_fd_mask=3 -runs=1 "${inputs[@]}" >/dev/null 2>&1 || {
    echo "$target: a regression input fails again:"
    "$binary" -runs=1 "${inputs[@]}" 2>&1 | tail -40
    return 1
  }
}
