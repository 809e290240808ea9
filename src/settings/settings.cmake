# Stored window properties. The text notation and the geometry arithmetic have no Qt and join
# the core; the per-user store, the storages and their manager join the window.
target_sources(pictavo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PropFilerEh.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StoragePropertyInterceptor.cpp
)

if(PICTAVO_BUILD_GUI)
  target_sources(pictavo_app PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/SettingsStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PropStorageEh.cpp
  )
endif()
