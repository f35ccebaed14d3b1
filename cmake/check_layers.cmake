# check_layers.cmake - the direction of dependencies between the rooms of
# src/, checked over the sources' #include lines:
#   - shell/, package/, records/, identify/ and report/ include nothing from wizard/
#     or main/ (the top room);
#   - shell/ includes only the platform layer, the pure cores (the decoder
#     and CRC-32 of package/explode/) and itself;
#   - nothing outside platform/ includes a Linux-only header (the Linux
#     backend's own headers or the POSIX system headers).
# Run: cmake -DSOURCE_DIR=<repository> -P cmake/check_layers.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(_failures "")

function(_check_room room pattern why)
  file(GLOB_RECURSE _files "${SOURCE_DIR}/src/${room}/*.h" "${SOURCE_DIR}/src/${room}/*.cpp")
  foreach(_file ${_files})
    file(STRINGS "${_file}" _lines REGEX "^[ \t]*#[ \t]*include")
    foreach(_line ${_lines})
      if(_line MATCHES "${pattern}")
        file(RELATIVE_PATH _rel "${SOURCE_DIR}" "${_file}")
        string(STRIP "${_line}" _line)
        set(_failures "${_failures}\n  ${_rel}: ${_line} (${why})")
      endif()
    endforeach()
  endforeach()
  set(_failures "${_failures}" PARENT_SCOPE)
endfunction()

foreach(_room shell package records identify report)
  _check_room(${_room} "#[ \t]*include[ \t]*\"(wizard|main)/" "a lower room includes from wizard/ or main/")
endforeach()
_check_room(shell "#[ \t]*include[ \t]*\"(package/[a-z_]+\\.h|records/|identify/|engine/|recovery/|wizard/|ui/|main/)"
            "shell/ uses only the platform layer and the pure cores")

set(_linux "#[ \t]*include[ \t]*(\"platform/posix/|<(unistd|strings|dirent|fcntl|termios|poll|pthread|dlfcn|syslog|pwd|grp)\\.h>|<sys/)")
foreach(_room main ui shell package records identify engine recovery wizard report)
  _check_room(${_room} "${_linux}" "a Linux-only header outside platform/")
endforeach()

if(_failures)
  message(FATAL_ERROR "The direction of dependencies is broken:${_failures}")
endif()
message(STATUS "Dependency direction holds")
