# Presets, preset sequencer, sequence recorder and synth sequencer.
zentha_add_test(preset_handler_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/test_preset_handler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_preset_morph.cpp)
zentha_add_test(preset_sequencer_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/test_sequence_player.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_sequencer_threads.cpp)
zentha_add_test(sequence_recorder_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/test_sequence_recorder.cpp)
zentha_add_test(synth_sequence_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/test_sequence_synth.cpp)
# The synth sequencer on the real polyphonic synth, where the tree has it.
if(EXISTS ${CMAKE_SOURCE_DIR}/src/sound/vl_PolySynth.hpp)
  zentha_add_test(synth_sequencer_polysynth_tests SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/test_sequence_polysynth.cpp)
endif()
