# Build helpers shared by every directory of the project.

# Warnings are errors of taste here: the build stays free of them.
function(pelkary_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

if(NOT PELKARY_NATIVE)
    # The Windows architecture of this tree (x86_64 or i686), which the tests' runners are told:
    # scripts/wine.sh picks the script host and regsvr32 of that architecture.
    set(PELKARY_ARCH ${CMAKE_SYSTEM_PROCESSOR})
    set(PELKARY_TEST_ENVIRONMENT "PELKARY_BUILD=${CMAKE_BINARY_DIR};PELKARY_ARCH=${PELKARY_ARCH}")
    # Tests that run on the host and check no architecture's facts (the reference, the layering,
    # the bundle of both architectures) are registered once, in the x86-64 tree.
    if(PELKARY_ARCH STREQUAL "x86_64")
        set(PELKARY_HOST_TESTS ON)
    else()
        set(PELKARY_HOST_TESTS OFF)
    endif()

    # Link the GCC runtime and winpthread statically so every DLL and program stands alone.
    set(PELKARY_STATIC_LINK -static -static-libgcc -static-libstdc++)

    # pelkary_widl(<idl> HEADER <var> [TLB <var>] [IID <var>]): compiles an IDL file with widl into
    # ${CMAKE_BINARY_DIR}/generated, returning the paths of the outputs it was asked for.
    function(pelkary_widl idl)
        cmake_parse_arguments(W "" "HEADER;TLB;IID" "DEPENDS" ${ARGN})
        get_filename_component(name ${idl} NAME_WE)
        get_filename_component(idl_abs ${idl} ABSOLUTE)
        set(out ${CMAKE_BINARY_DIR}/generated)
        file(MAKE_DIRECTORY ${out})
        get_filename_component(idl_dir ${idl_abs} DIRECTORY)
        set(flags -I/usr/include/wine/wine/windows -I${idl_dir} -I${CMAKE_SOURCE_DIR}/interfaces -I${out}
                  ${PELKARY_WIDL_TARGET} -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
        set(header ${out}/${name}.h)
        add_custom_command(OUTPUT ${header}
            COMMAND ${PELKARY_WIDL} ${flags} -DPELKARY_WIDL_HEADER -h -o ${header} ${idl_abs}
            DEPENDS ${idl_abs} ${W_DEPENDS} VERBATIM)
        set(${W_HEADER} ${header} PARENT_SCOPE)
        if(W_IID)
            set(iid ${out}/${name}_i.c)
            add_custom_command(OUTPUT ${iid}
                COMMAND ${PELKARY_WIDL} ${flags} -u -o ${iid} ${idl_abs}
                DEPENDS ${idl_abs} ${W_DEPENDS} VERBATIM)
            set(${W_IID} ${iid} PARENT_SCOPE)
        endif()
        if(W_TLB)
            set(tlb ${out}/${name}.tlb)
            add_custom_command(OUTPUT ${tlb}
                COMMAND ${PELKARY_WIDL} ${flags} -t -o ${tlb} ${idl_abs}
                DEPENDS ${idl_abs} ${W_DEPENDS} VERBATIM)
            set(${W_TLB} ${tlb} PARENT_SCOPE)
        endif()
    endfunction()

    # pelkary_add_wine_test(NAME <name> SOURCES <files...> [LIBS <libs...>]): a GoogleTest program
    # that CTest runs under Wine (through the cross-compiling emulator).
    function(pelkary_add_wine_test)
        cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
        add_executable(${T_NAME} ${T_SOURCES})
        target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main ${PELKARY_STATIC_LINK})
        target_compile_definitions(${T_NAME} PRIVATE
            PELKARY_BIN_DIR="${CMAKE_BINARY_DIR}/bin" PELKARY_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
        pelkary_warnings(${T_NAME})
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
        # A program that dies under Wine can still exit 0: a test passes only when GoogleTest says so
        # at its end, and never when Wine reports a crash.
        set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${PELKARY_TEST_ENVIRONMENT}"
            PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
            FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|Unhandled exception")
    endfunction()

    # pelkary_add_code_page_runs(NAME <name> COMMAND <command...>): registers a test a second and a
    # third time as <name>_cp932 and <name>_cp1251, run under the double-byte code page 932
    # (LANG=ja_JP.UTF-8) and under 1251 (ru_RU.UTF-8): Wine takes a process's ANSI code page from
    # its locale. LC_ALL and LC_CTYPE are emptied so that the caller's own cannot win over LANG.
    function(pelkary_add_code_page_runs)
        cmake_parse_arguments(T "" "NAME" "COMMAND" ${ARGN})
        foreach(run "cp932;ja_JP.UTF-8" "cp1251;ru_RU.UTF-8")
            list(GET run 0 suffix)
            list(GET run 1 locale)
            add_test(NAME ${T_NAME}_${suffix} COMMAND ${T_COMMAND})
            set_tests_properties(${T_NAME}_${suffix} PROPERTIES
                ENVIRONMENT "${PELKARY_TEST_ENVIRONMENT};LANG=${locale};LC_ALL=;LC_CTYPE=")
            foreach(verdict PASS_REGULAR_EXPRESSION FAIL_REGULAR_EXPRESSION)
                get_test_property(${T_NAME} ${verdict} pattern)
                if(pattern)
                    set_tests_properties(${T_NAME}_${suffix} PROPERTIES ${verdict} "${pattern}")
                endif()
            endforeach()
        endforeach()
    endfunction()

    # pelkary_add_script_test(NAME <name> SCRIPT <file.vbs|file.js> [ARGS <args...>]): runs a script
    # with Wine's cscript. Wine's cscript stops silently with exit code 0 on an uncaught runtime
    # error, so a script passes only when its last line of output is PASS (and it exits 0).
    function(pelkary_add_script_test)
        cmake_parse_arguments(T "" "NAME;SCRIPT" "ARGS" ${ARGN})
        get_filename_component(script ${T_SCRIPT} ABSOLUTE)
        add_test(NAME ${T_NAME}
            COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine.sh cscript ${script} ${T_ARGS})
        set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${PELKARY_TEST_ENVIRONMENT}"
            PASS_REGULAR_EXPRESSION "(^|\n)PASS\r?\n?$")
    endfunction()
else()
    set(PELKARY_STATIC_LINK)
    # pelkary_add_native_test(NAME <name> SOURCES <files...> [LIBS <libs...>])
    function(pelkary_add_native_test)
        cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
        add_executable(${T_NAME} ${T_SOURCES})
        target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main Threads::Threads)
        target_compile_definitions(${T_NAME} PRIVATE PELKARY_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
        pelkary_warnings(${T_NAME})
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    endfunction()
endif()
