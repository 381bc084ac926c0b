# Application and voice parameter sets and the state record.
zentha_add_test(app_parameter_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/test_parameter_tables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_wave_function_parameters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_app_parameter_rules.cpp
  LIBS zentha_piece)
target_include_directories(app_parameter_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})

zentha_add_test(shared_state_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_shared_state.cpp)
