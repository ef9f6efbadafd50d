# The message object's bench (see messages_bench.cpp): run on demand under Wine with the DLLs
# registered: scripts/wine.sh run $PELKARY_BUILD/bin/messages_bench.exe [messages] [megabytes]
add_executable(messages_bench ${CMAKE_CURRENT_LIST_DIR}/messages_bench.cpp)
target_link_libraries(messages_bench PRIVATE pelkary_bench_support pelkary_core pelkary_abi ${PELKARY_STATIC_LINK})
target_compile_definitions(messages_bench PRIVATE
    PELKARY_MESSAGES_BENCH_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/messages_bench.vbs")
pelkary_warnings(messages_bench)
