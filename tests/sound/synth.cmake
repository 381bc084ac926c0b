zentha_add_test(polysynth_tests SOURCES test_polysynth.cpp)
zentha_add_test(scene_tests SOURCES test_scene.cpp)
