# Run first in `cmake --install`: notes which of the folders the install will put files into,
# and of the folders above them, do not exist yet. InstallEnd.cmake sets those it made to 0755.
# Expects PICTAVO_INSTALL_DIRS, the install folders relative to the prefix (or absolute).
set(PICTAVO_MADE_DIRS "")
foreach(dir IN LISTS PICTAVO_INSTALL_DIRS)
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  set(dir "$ENV{DESTDIR}${dir}")
  while(NOT IS_DIRECTORY "${dir}" AND NOT dir STREQUAL "/" AND NOT dir STREQUAL "")
    list(APPEND PICTAVO_MADE_DIRS "${dir}")
    get_filename_component(dir "${dir}" DIRECTORY)
  endwhile()
endforeach()
list(REMOVE_DUPLICATES PICTAVO_MADE_DIRS)
