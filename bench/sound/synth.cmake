zentha_add_bench(scene_bench SOURCES bench_scene.cpp)
