# Run last in `cmake --install`. The folders the install made get mode 0755 whatever the umask
# narrowed when they were made (InstallBegin.cmake listed them).
foreach(dir IN LISTS PICTAVO_MADE_DIRS)
  if(IS_DIRECTORY "${dir}" AND NOT IS_SYMLINK "${dir}")
    file(CHMOD "${dir}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()

# GIO and xdg-open find the program for a MIME type only through mimeinfo.cache, and GTK finds
# new theme icons through the icon cache. Installed with DESTDIR (a package being staged)
# nothing is done: the package's triggers update the caches on the system it is installed on.
# A missing tool is skipped silently. The caches are readable by every user whatever the umask.
if(NOT PICTAVO_INSTALLS_WINDOW OR NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
if(IS_ABSOLUTE "${PICTAVO_INSTALL_DATADIR}")
  set(data_dir "${PICTAVO_INSTALL_DATADIR}")
else()
  set(data_dir "${CMAKE_INSTALL_PREFIX}/${PICTAVO_INSTALL_DATADIR}")
endif()

find_program(update_desktop_database update-desktop-database)
if(update_desktop_database AND IS_DIRECTORY "${data_dir}/applications")
  message(STATUS "Updating: ${data_dir}/applications/mimeinfo.cache")
  execute_process(COMMAND "${update_desktop_database}" -q "${data_dir}/applications"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(WARNING "update-desktop-database failed (${result}): \"Open with\" may not list Pictavo yet")
  elseif(EXISTS "${data_dir}/applications/mimeinfo.cache")
    file(CHMOD "${data_dir}/applications/mimeinfo.cache" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endif()

find_program(gtk_update_icon_cache NAMES gtk-update-icon-cache gtk4-update-icon-cache)
if(gtk_update_icon_cache AND IS_DIRECTORY "${data_dir}/icons/hicolor")
  message(STATUS "Updating: ${data_dir}/icons/hicolor/icon-theme.cache")
  # -t: a folder of its own (~/.local/share/icons/hicolor) has no index.theme; the system's
  # hicolor theme describes it.
  execute_process(COMMAND "${gtk_update_icon_cache}" -q -f -t "${data_dir}/icons/hicolor"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(WARNING "gtk-update-icon-cache failed (${result})")
  elseif(EXISTS "${data_dir}/icons/hicolor/icon-theme.cache")
    file(CHMOD "${data_dir}/icons/hicolor/icon-theme.cache" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endif()
