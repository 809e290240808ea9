# Stored window properties: the text notation and the geometry arithmetic (GoogleTest), the
# per-user store with real windows (Qt Test, offscreen).
add_executable(pictavo_settings_tests
  ${CMAKE_CURRENT_LIST_DIR}/PropFilerTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FormGeometryTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StoredBytesTest.cpp
)
target_link_libraries(pictavo_settings_tests PRIVATE pictavo_core GTest::gtest_main)
gtest_discover_tests(pictavo_settings_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS settings)

if(PICTAVO_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(pictavo_settings_store_tests ${CMAKE_CURRENT_LIST_DIR}/PropStorageTest.cpp)
  target_link_libraries(pictavo_settings_store_tests PRIVATE pictavo_app Qt6::Test)
  set_target_properties(pictavo_settings_store_tests PROPERTIES AUTOMOC ON)
  add_test(NAME pictavo_settings_store_tests COMMAND pictavo_settings_store_tests)
  set_tests_properties(pictavo_settings_store_tests PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "settings;app" TIMEOUT 300)
  add_executable(pictavo_stored_bytes_tests ${CMAKE_CURRENT_LIST_DIR}/StoredBytesStoreTest.cpp)
  target_link_libraries(pictavo_stored_bytes_tests PRIVATE pictavo_app Qt6::Test)
  set_target_properties(pictavo_stored_bytes_tests PROPERTIES AUTOMOC ON)
  add_test(NAME pictavo_stored_bytes_tests COMMAND pictavo_stored_bytes_tests)
  set_tests_properties(pictavo_stored_bytes_tests PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "settings;app")
  # The main window keeps its settings in the per-user store: its tests get a store of their
  # own instead of the real one of whoever runs them.
  if(TEST pictavo_app_tests)
    set_property(TEST pictavo_app_tests APPEND PROPERTY ENVIRONMENT
      "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/settings-app-config")
  endif()
endif()
