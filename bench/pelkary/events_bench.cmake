# events_bench: commit-to-event latency across processes and the new-message scan, beside the
# store's own notification and enumeration. Run on demand:
#   scripts/wine.sh run $PELKARY_BUILD/bin/events_bench.exe [--messages N] [--store-messages M]
add_executable(events_bench ${CMAKE_CURRENT_LIST_DIR}/events_bench.cpp)
target_link_libraries(events_bench PRIVATE pelkary_bench_support pelkary_core pelkary_abi ${PELKARY_STATIC_LINK})
pelkary_warnings(events_bench)
