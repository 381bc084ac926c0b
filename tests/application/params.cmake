# Application and voice parameter sets and the state record.
set(ZENTHA_PARAMS_SOURCES
  ${CMAKE_SOURCE_DIR}/application/AppParameters.cpp
  ${CMAKE_SOURCE_DIR}/application/AtomParameters.cpp
  ${CMAKE_SOURCE_DIR}/application/SoundParameters.cpp
  ${CMAKE_SOURCE_DIR}/application/VisualParameters.cpp
  ${CMAKE_SOURCE_DIR}/application/VoiceParameters.cpp
  ${CMAKE_SOURCE_DIR}/application/WaveFunctionParameters.cpp)

zentha_add_test(app_parameter_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/test_parameter_tables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_wave_function_parameters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_app_parameter_rules.cpp
  ${ZENTHA_PARAMS_SOURCES})
target_include_directories(app_parameter_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})

zentha_add_test(shared_state_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_shared_state.cpp)
