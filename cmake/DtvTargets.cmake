# Shared settings of the project's own targets.

function(dtv_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# A shared library of the project: export header, flat public headers, install rules.
#   dtv_add_library(<name> EXPORT_BASE <BASE> HEADERS <public headers> SOURCES <sources>
#                   [INCLUDE_DIRS <dirs>] [LINK <libs>])
function(dtv_add_library name)
    cmake_parse_arguments(ARG "" "EXPORT_BASE" "HEADERS;SOURCES;INCLUDE_DIRS;LINK" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES} ${ARG_HEADERS})
    add_library(DecodedTextView::${name} ALIAS ${name})
    string(TOLOWER "${ARG_EXPORT_BASE}_export.h" export_file)
    generate_export_header(${name} BASE_NAME ${ARG_EXPORT_BASE}
        EXPORT_FILE_NAME "${CMAKE_CURRENT_BINARY_DIR}/${export_file}")
    dtv_set_warnings(${name})
    target_include_directories(${name} PUBLIC
        "$<BUILD_INTERFACE:${CMAKE_CURRENT_BINARY_DIR}>"
        "$<INSTALL_INTERFACE:${DTV_INSTALL_INCLUDEDIR}>")
    foreach(dir ${ARG_INCLUDE_DIRS})
        target_include_directories(${name} PUBLIC "$<BUILD_INTERFACE:${dir}>")
    endforeach()
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
    set_target_properties(${name} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
    install(TARGETS ${name} EXPORT DecodedTextViewTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${ARG_HEADERS} "${CMAKE_CURRENT_BINARY_DIR}/${export_file}"
        DESTINATION ${DTV_INSTALL_INCLUDEDIR})
endfunction()

# One QtTest executable per unit, registered with CTest and run on the offscreen platform.
function(dtv_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LINK" ${ARGN})
    if(NOT ARG_SOURCES)
        set(ARG_SOURCES ${name}.cpp)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    dtv_set_warnings(${name})
    target_link_libraries(${name} PRIVATE DecodedTextView Qt5::Test ${ARG_LINK})
    target_include_directories(${name} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set(env "QT_QPA_PLATFORM=offscreen;VX_TRACE_MASK=0;LC_ALL=C.UTF-8;TZ=Europe/Berlin")
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}")
    # Line heights, leading and wrapping depend on the font: every test runs a second time with
    # another monospace font at another resolution, so that a fault that only one font shows
    # is seen.
    set(altfont "${PROJECT_BINARY_DIR}/altfont/fonts.conf")
    if(NOT EXISTS "${altfont}")
        file(WRITE "${altfont}" "<?xml version=\"1.0\"?>
<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">
<fontconfig>
  <include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>
  <match target=\"pattern\">
    <edit name=\"family\" mode=\"prepend\" binding=\"strong\"><string>DejaVu Sans Mono</string></edit>
  </match>
</fontconfig>
")
    endif()
    add_test(NAME ${name}.altfont COMMAND ${name})
    set_tests_properties(${name}.altfont PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "${env};FONTCONFIG_FILE=${altfont};QT_FONT_DPI=96")
endfunction()
