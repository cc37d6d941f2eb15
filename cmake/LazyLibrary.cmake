# Libraries that only some windows or catalogues need (a server's client library, the
# installer and spreadsheet formats, Qt's print support) are loaded the first time one of their functions is
# called, not when the program starts: each costs the start-up its loading and symbol lookups,
# and most sessions never call them.
#
# quivel_lazy_library(NAME TARGET ...) makes the INTERFACE target NAME, which gives TARGET's
# headers and, in place of linking the library, one small stub per function the library
# exports: the first call through any stub opens the library by its soname and binds every
# stub to the real function. Only functions are stubbed; a program that uses a library's data
# (for a C++ library also its classes' meta-objects, as qobject_cast does) fails to link, which
# is how it would show. On processors the stubs are not written for, NAME
# links TARGET as usual.
include_guard(GLOBAL)

option(QUIVEL_LAZY_LIBRARIES "Load the optional format and server libraries on first use" ON)
set(_quivel_lazy_dir "${CMAKE_CURRENT_LIST_DIR}/lazy")

if(QUIVEL_LAZY_LIBRARIES AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    set(QUIVEL_LAZY_STUBS ON)
    enable_language(ASM)
    add_library(quivel_lazy_binder STATIC "${_quivel_lazy_dir}/lazy_binder.cpp")
    target_link_libraries(quivel_lazy_binder PRIVATE quivel_common ${CMAKE_DL_LIBS})
else()
    set(QUIVEL_LAZY_STUBS OFF)
endif()

# The shared library files a target links: an imported target's (the files it links, else the
# library it is, as a package's CMake files describe Qt's), or the path itself.
function(_quivel_lazy_files target out)
    set(files "")
    if(TARGET ${target})
        get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
        foreach(link IN LISTS links)
            if(link MATCHES "\\.so$" AND EXISTS "${link}")
                list(APPEND files "${link}")
            endif()
        endforeach()
        get_target_property(imported ${target} IMPORTED)
        if(NOT files AND imported)
            get_target_property(configurations ${target} IMPORTED_CONFIGURATIONS)
            set(properties IMPORTED_LOCATION)
            foreach(configuration IN LISTS configurations)
                list(APPEND properties IMPORTED_LOCATION_${configuration})
            endforeach()
            foreach(property IN LISTS properties)
                get_target_property(location ${target} ${property})
                if(location AND EXISTS "${location}")
                    set(files "${location}")
                    break()
                endif()
            endforeach()
        endif()
    else()
        set(files "${target}")
    endif()
    if(NOT files)
        message(FATAL_ERROR "No shared library file found for ${target}")
    endif()
    set(${out} "${files}" PARENT_SCOPE)
endfunction()

# quivel_lazy_library(NAME TARGET [ONLY lib...]): with ONLY, of the files TARGET links only
# those named (as in -lNAME) are loaded on first use, the others linked as usual.
function(quivel_lazy_library name target)
    cmake_parse_arguments(PARSE_ARGV 2 lazy "" "" "ONLY")
    add_library(${name} INTERFACE)
    if(TARGET ${target})
        target_include_directories(${name} INTERFACE
            $<TARGET_PROPERTY:${target},INTERFACE_INCLUDE_DIRECTORIES>)
        target_compile_options(${name} INTERFACE
            $<TARGET_PROPERTY:${target},INTERFACE_COMPILE_OPTIONS>)
    endif()
    if(NOT QUIVEL_LAZY_STUBS)
        target_link_libraries(${name} INTERFACE ${target})
        return()
    endif()
    _quivel_lazy_files(${target} files)
    foreach(file IN LISTS files)
        get_filename_component(base "${file}" NAME)
        string(REGEX REPLACE "^lib(.*)\\.so(\\.[0-9.]+)?$" "\\1" short "${base}")
        if(lazy_ONLY AND NOT short IN_LIST lazy_ONLY)
            target_link_libraries(${name} INTERFACE "${file}")
        else()
            _quivel_lazy_stubs(${name} "${file}" "${short}")
        endif()
    endforeach()
    target_link_libraries(${name} INTERFACE quivel_lazy_binder)
endfunction()

function(_quivel_lazy_stubs name file short)
    get_filename_component(real "${file}" REALPATH)
    # The package that holds the library: the scan of linked libraries no longer sees it.
    find_program(DPKG_QUERY dpkg-query)
    if(DPKG_QUERY)
        execute_process(COMMAND ${DPKG_QUERY} -S "${real}" OUTPUT_VARIABLE owner
                        RESULT_VARIABLE failed ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT failed AND owner MATCHES "^([^:, ]+)")
            set_property(GLOBAL APPEND PROPERTY QUIVEL_LAZY_PACKAGES "${CMAKE_MATCH_1}")
        endif()
    endif()

    execute_process(COMMAND ${CMAKE_OBJDUMP} -p "${real}" OUTPUT_VARIABLE headers
                    RESULT_VARIABLE failed)
    if(failed OR NOT headers MATCHES "SONAME +([^\n ]+)")
        message(FATAL_ERROR "No soname in ${real}")
    endif()
    set(soname "${CMAKE_MATCH_1}")
    execute_process(COMMAND ${CMAKE_NM} -D --defined-only "${real}" OUTPUT_VARIABLE symbols
                    RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "Could not list the symbols of ${real}")
    endif()
    string(REPLACE "\n" ";" symbols "${symbols}")
    set(functions "")
    foreach(line IN LISTS symbols)
        # "address T name" or "address T name@@VERSION": global functions only, not weak
        # ones, which may be inline copies the program defines as well.
        if(line MATCHES "^[0-9a-f]+ T ([A-Za-z_][A-Za-z0-9_]*)(@.*)?$")
            list(APPEND functions "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    list(REMOVE_DUPLICATES functions)
    list(SORT functions)
    list(LENGTH functions count)
    if(count EQUAL 0)
        message(FATAL_ERROR "No functions exported by ${real}")
    endif()

    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${real}")
    quivel_lazy_stubs(quivel_lazy_${short} ${soname} ${functions})
    target_link_libraries(${name} INTERFACE quivel_lazy_${short})
endfunction()

# quivel_lazy_stubs(TARGET SONAME FUNCTION...): the static library TARGET of stubs for the
# named functions of the library SONAME.
function(quivel_lazy_stubs target soname)
    if(TARGET ${target})
        return()
    endif()
    set(functions ${ARGN})
    list(LENGTH functions count)
    string(MAKE_C_IDENTIFIER "${target}" p)
    set(slots "")
    set(names "")
    set(strings "")
    set(stubs "")
    set(index 0)
    foreach(function IN LISTS functions)
        string(APPEND slots "    .quad ${p}_bind_${index}\n")
        string(APPEND names "    .quad ${p}_name_${index}\n")
        string(APPEND strings "${p}_name_${index}: .asciz \"${function}\"\n")
        string(APPEND stubs
            "    .globl ${function}\n    .type ${function}, @function\n${function}:\n"
            "    jmp *${p}_slots+${index}*8(%rip)\n    .size ${function}, .-${function}\n"
            "${p}_bind_${index}:\n    pushq $${index}\n    jmp ${p}_bind\n")
        math(EXPR index "${index} + 1")
    endforeach()
    set(out "${CMAKE_BINARY_DIR}/lazy/${target}.S")
    configure_file("${_quivel_lazy_dir}/stubs.S.in" "${out}" @ONLY)
    add_library(${target} STATIC "${out}")
    target_link_libraries(${target} PRIVATE quivel_lazy_binder)
endfunction()
