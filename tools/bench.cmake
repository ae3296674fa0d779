# Benchmarks of the module update (make bench); not part of the test suite.
add_executable(launcher_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench/bench_main.cpp ${ORVIN_RESOURCES})
target_link_libraries(launcher_bench PRIVATE installer manifest_producer_core http_test_server testing_support wininet
                      bcrypt psapi)
