# Installs the build tree into a scratch prefix, then builds and runs the out-of-tree federate
# against it with find_package as C++14 and as C++20, and checks the pkg-config file.
# Defined by the caller: BUILD_DIR, SOURCE_DIR (this folder), WORK_DIR, RID_PORT, CXX_FLAGS, PLUGIN_SOURCE
# (a plug-in module built against the installed headers too).
include(${CMAKE_CURRENT_LIST_DIR}/../../../tests/support/installed_prefix.cmake)

# The federate reads this RID when it makes its ambassador: it listens on the test's own port,
# its telnet console off.
file(WRITE ${WORK_DIR}/federate.rid
     "(rti (version D22)\n"
     "  (federation_parameters\n"
     "    (connectivity_providers (multicast MULTICAST_PATH\n"
     "      (packet_size 1448) (ratelimit_max_mbps 75.0) (fragment_timeout 1000)\n"
     "      (bundle_timeout 20) (bundle_flush_threshold 128) (socket_poll_interval 10)\n"
     "      (base_address \"224.22.0.0\") (port ${RID_PORT}) (ttl 0))))\n"
     "  (federate_parameters\n"
     "    (connectivity (default_uplink \"multicast\") (default_server \"unnecessary\")\n"
     "      (network_device \"\") (interface \"127.0.0.1\") (receive_buffer_size 512)\n"
     "      (send_buffer_size 512) (connectivity_map) (spawn_router false))\n"
     "    (virtual_terminal (accept_connections false))))\n")
set(ENV{RTI_RID_FILE} ${WORK_DIR}/federate.rid)

foreach(standard 14 20)
  set(build ${WORK_DIR}/federate_cpp${standard})
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_STANDARD=${standard}
      -DPLUGIN_SOURCE=${PLUGIN_SOURCE}
      -DCMAKE_CXX_STANDARD_REQUIRED=ON "-DCMAKE_CXX_FLAGS=${CXX_FLAGS} -Wno-deprecated")
  run(${CMAKE_COMMAND} --build ${build})
  run(${build}/federate)
  if(NOT run_output MATCHES "refused: FederateNotExecutionMember \\(" OR NOT run_output MATCHES "rti Varnel D22 time 2.5 tick 0")
    message(FATAL_ERROR "unexpected output of the C++${standard} federate:\n${run_output}")
  endif()
  message(STATUS "C++${standard} federate ran")
endforeach()

file(GLOB pc_file ${prefix}/*/pkgconfig/halden13.pc ${prefix}/*/*/pkgconfig/halden13.pc)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs halden13)
if(NOT run_output MATCHES "-lhalden13" OR NOT run_output MATCHES "include/halden13")
  message(FATAL_ERROR "unexpected pkg-config answer: ${run_output}")
endif()
string(REGEX MATCH "-I([^ \n]*)" include_flag "${run_output}")
if(NOT EXISTS ${CMAKE_MATCH_1}/RTI.hh)
  message(FATAL_ERROR "pkg-config names ${CMAKE_MATCH_1}, which holds no RTI.hh")
endif()
