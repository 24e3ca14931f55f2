# What `cmake --install` puts in place for federate programmers: the binding library with the
# libraries it loads, the public rti13 headers under include/halden13, the headers of plug-in
# modules under include/halden13/varnel, the standard's names for existing federates under
# include/halden13/compat, a CMake package (find_package(halden13) gives halden13::halden13 for
# federates, halden13::compat for existing ones and halden13::varnel for plug-ins) and two
# pkg-config files (halden13.pc, halden13-compat.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(HALDEN13_INSTALLED_LIBRARIES halden13 tempora13 varnel vessmark parser brindle)
set(HALDEN13_INCLUDE_SUBDIR ${CMAKE_INSTALL_INCLUDEDIR}/halden13)
set(HALDEN13_CONFIG_SUBDIR ${CMAKE_INSTALL_LIBDIR}/cmake/halden13)

# The libraries find each other next to themselves wherever the tree is installed.
set_target_properties(${HALDEN13_INSTALLED_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${HALDEN13_INSTALLED_LIBRARIES} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/binding/include/ DESTINATION ${HALDEN13_INCLUDE_SUBDIR}
        FILES_MATCHING PATTERN "*.hh")

# What a plug-in module includes besides: the intercept class, the distribution manager and the
# types their declarations name, under include/halden13/varnel in the layout the core uses (core
# headers by their path, brindle's and vessmark's by their bare names).
set(HALDEN13_PLUGIN_CORE_HEADERS frame/intercept.h frame/local_distribution_manager.h frame/ldm_error.h
    frame/rti_api_call.h frame/varnel_export.h federation/federation_manager.h federation/federate_handle_set.h
    messages/handle_value_set.h messages/handle_value_pair.h messages/user_tag.h time/absolute_time.h
    time/relative_time.h time/event_retraction_handle.h)
foreach(header ${HALDEN13_PLUGIN_CORE_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/core/${header} DESTINATION ${HALDEN13_INCLUDE_SUBDIR}/varnel/${folder})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/support/bit_vector.h ${PROJECT_SOURCE_DIR}/support/brindle_export.h
              ${PROJECT_SOURCE_DIR}/support/byte_order.h ${PROJECT_SOURCE_DIR}/support/federate_identifier.h
              ${PROJECT_SOURCE_DIR}/support/ldm_buf.h ${PROJECT_SOURCE_DIR}/support/pools.h
              ${PROJECT_SOURCE_DIR}/support/scheduler.h ${PROJECT_SOURCE_DIR}/support/timers.h
              ${PROJECT_SOURCE_DIR}/platform/vessmark/stream_service.h
              ${PROJECT_SOURCE_DIR}/platform/vessmark/vessmark_export.h
        DESTINATION ${HALDEN13_INCLUDE_SUBDIR}/varnel)

# The release word of support/release.h is the package version.
file(STRINGS ${PROJECT_SOURCE_DIR}/support/release.h HALDEN13_RELEASE_LINE REGEX "rti_release\\[\\] = ")
string(REGEX REPLACE ".*\"([^\"]*)\".*" "\\1" HALDEN13_RELEASE "${HALDEN13_RELEASE_LINE}")

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/halden13Config.cmake.in
                              ${CMAKE_BINARY_DIR}/halden13Config.cmake
                              INSTALL_DESTINATION ${HALDEN13_CONFIG_SUBDIR}
                              PATH_VARS HALDEN13_INCLUDE_SUBDIR CMAKE_INSTALL_LIBDIR)
install(FILES ${CMAKE_BINARY_DIR}/halden13Config.cmake DESTINATION ${HALDEN13_CONFIG_SUBDIR})

# The .pc files find the prefix from their own place, so the tree may be installed anywhere.
file(RELATIVE_PATH HALDEN13_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" HALDEN13_PC_TO_PREFIX "${HALDEN13_PC_TO_PREFIX}")
foreach(package halden13 halden13-compat)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${package}.pc.in ${CMAKE_BINARY_DIR}/${package}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${package}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
