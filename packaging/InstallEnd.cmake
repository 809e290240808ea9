# Run last in `cmake --install`. The folders the install made get mode 0755 whatever the umask
# narrowed when they were made (InstallBegin.cmake listed them).
foreach(dir IN LISTS PICTAVO_MADE_DIRS)
  if(IS_DIRECTORY "${dir}" AND NOT IS_SYMLINK "${dir}")
    file(CHMOD "${dir}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()

# GIO and xdg-open find the program for a MIME type only through mimeinfo.cache. Installed with
# DESTDIR (a package being staged) nothing is done: the package's triggers update the caches on
# the system it is installed on. A missing tool is skipped silently. The caches are readable by
# every user whatever the umask.
if(NOT PICTAVO_INSTALLS_WINDOW OR NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
if(IS_ABSOLUTE "${PICTAVO_INSTALL_DATADIR}")
  set(data_dir "${PICTAVO_INSTALL_DATADIR}")
else()
  set(data_dir "${CMAKE_INSTALL_PREFIX}/${PICTAVO_INSTALL_DATADIR}")
endif()

# Runs TOOL with ARGS over FOLDER when both exist, then makes the CACHE it wrote readable by all.
function(pictavo_refresh_cache tool folder cache)
  if(NOT tool OR NOT IS_DIRECTORY "${folder}")
    return()
  endif()
  message(STATUS "Updating: ${folder}/${cache}")
  execute_process(COMMAND "${tool}" ${ARGN} "${folder}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(WARNING "${tool} failed (${result}): \"Open with\" and the icon may not show Pictavo yet")
  elseif(EXISTS "${folder}/${cache}")
    file(CHMOD "${folder}/${cache}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endfunction()

find_program(update_desktop_database update-desktop-database)
pictavo_refresh_cache("${update_desktop_database}" "${data_dir}/applications" mimeinfo.cache -q)

# GTK reads an icon theme's folders, unless the theme has an icon cache: then it trusts the cache
# and misses whatever is added to those folders later, by any program. So a cache is brought up
# to date only where one already exists (made by a package or by the user); where there is none
# (a fresh ~/.local) none is made. -t: a folder of its own (~/.local/share/icons/hicolor) has no
# index.theme; the system's hicolor theme describes it.
set(icon_dir "${data_dir}/icons/hicolor")
if(EXISTS "${icon_dir}/icon-theme.cache")
  find_program(gtk_update_icon_cache NAMES gtk-update-icon-cache gtk4-update-icon-cache)
  pictavo_refresh_cache("${gtk_update_icon_cache}" "${icon_dir}" icon-theme.cache -q -f -t)
endif()
