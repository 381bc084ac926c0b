zentha_add_test(polysynth_tests SOURCES test_polysynth.cpp)
zentha_add_test(scene_tests SOURCES test_scene.cpp)
zentha_add_test(scene_realtime_tests SOURCES test_scene_realtime.cpp LIBS ${CMAKE_DL_LIBS})
