# Installs the build tree into a scratch prefix, builds the standard-style federate outside the
# tree twice, with find_package (halden13::compat) and with a bare compiler line from pkg-config
# (halden13-compat), and runs each build against the data federate in lockstep: both must get
# every time-stamped update and interaction of the other once, intact, between the right grants.
# Defined by the caller: BUILD_DIR, SOURCE_DIR (the federate's folder), WORK_DIR, RID_PORT, CXX,
# CXX_FLAGS, DATA_FEDERATE, FED_FILE.
set(steps 20)

include(${CMAKE_CURRENT_LIST_DIR}/../support/installed_prefix.cmake)

# The RID of both federates, as the scenario tests write theirs (tests/support/test_rid.h): the
# test's own port, loopback, no wait for other federates at join. Every key of a section it
# gives is spelled out: a key missing from a given section reads as 0, and a liveness timeout
# of 0 would declare a federate gone at its first late heartbeat.
file(WRITE ${WORK_DIR}/compat.rid
     "(rti (version D22)\n"
     "  (federation_parameters\n"
     "    (routing_spaces)\n"
     "    (connectivity_providers (multicast MULTICAST_PATH\n"
     "      (packet_size 1448) (ratelimit_max_mbps 75.0) (fragment_timeout 1000)\n"
     "      (bundle_timeout 20) (bundle_flush_threshold 128) (socket_poll_interval 10)\n"
     "      (base_address \"224.22.0.0\") (port ${RID_PORT}) (ttl 0)))\n"
     "    (subscriptions (region_sub_gets_nonregion true) (nonregion_sub_gets_region true)\n"
     "      (validate_regions true) (force_static_spaces true) (one_byclass_stream false))\n"
     "    (federation (heartbeat_interval 5) (join_timeout 0) (federate_amber_timeout 12)\n"
     "      (federate_red_timeout 30) (federate_gone_timeout 60))\n"
     "    (disable (syncpoints enabled) (saverestore enabled) (queries enabled) (ownership enabled)\n"
     "      (timeadvance enabled) (regions enabled))\n"
     "    (transport_types\n"
     "      (best_effort (type \"simple\") (suppress_dups false) (implicit_transfer false)\n"
     "        (message_service \"best_effort\") (message_priority 0) (use_low_latency false))\n"
     "      (reliable (type \"simple\") (suppress_dups false) (implicit_transfer false)\n"
     "        (message_service \"reliable\") (message_priority 0x3f) (use_low_latency false)))\n"
     "    (updates (sort_attributes true) (pass_times false) (perfect_filter true) (send_trans_attrs false))\n"
     "    (objects (deletion_memory_length 5000) (creation_announcements true)))\n"
     "  (federate_parameters\n"
     "    (connectivity (default_uplink \"multicast\") (default_server \"unnecessary\")\n"
     "      (network_device \"\") (interface \"127.0.0.1\") (receive_buffer_size 2048)\n"
     "      (send_buffer_size 512) (connectivity_map) (spawn_router false))\n"
     "    (virtual_terminal (accept_connections false))\n"
     "    (console (listen_address \"127.0.0.1\") (telnet_port 0) (local_keyboard false))\n"
     "    (debug_flags)))\n")
set(ENV{RTI_RID_FILE} ${WORK_DIR}/compat.rid)

# With find_package, as the federate's own CMakeLists says.
set(cmake_build ${WORK_DIR}/with_cmake)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${cmake_build} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build ${cmake_build})

# With pkg-config, as a makefile would: the compat folder must come before the headers' own.
file(GLOB pc_file ${prefix}/*/pkgconfig/halden13-compat.pc ${prefix}/*/*/pkgconfig/halden13-compat.pc)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs halden13-compat)
separate_arguments(pc_flags UNIX_COMMAND "${run_output}")
set(pc_build ${WORK_DIR}/with_pkg_config)
file(MAKE_DIRECTORY ${pc_build})
separate_arguments(extra_flags UNIX_COMMAND "${CXX_FLAGS}")
run(${CXX} -std=c++14 ${extra_flags} ${SOURCE_DIR}/compat_federate.cpp -o ${pc_build}/compat_federate ${pc_flags})

# Where a whole line first stands in a federate's output (-1 when it does not), and how often
# it is there. Every line starts with the federate's name in brackets, so a line is never the
# tail of another.
function(find_line output line result)
  string(FIND "${output}" "${line}\n" at)
  set(${result} ${at} PARENT_SCOPE)
endfunction()
function(count_line output line result)
  string(REPLACE "${line}\n" "" rest "${output}")
  string(LENGTH "${output}" all)
  string(LENGTH "${rest}" left)
  string(LENGTH "${line}\n" one)
  math(EXPR count "(${all} - ${left}) / ${one}")
  set(${result} ${count} PARENT_SCOPE)
endfunction()

foreach(build ${cmake_build} ${pc_build})
  get_filename_component(how ${build} NAME)
  set(federation "Compat_${how}")
  set(ENV{DATA_OUT} ${build}/data.out)
  set(ENV{COMPAT_OUT} ${build}/compat.out)
  # The data federate waits for a signal after its last step, so that it stays until the other
  # federate has checked its values and resigned.
  run(sh -c "\"$1\" data ${federation} publish subscribe time register:1 hello:1 lockstep:${steps} wait \
               >\"$DATA_OUT\" 2>&1 &
             data=$!
             timeout 300 \"$2\" compat ${federation} \"$3\" ${steps} >\"$COMPAT_OUT\" 2>&1
             compat=$?
             kill -USR1 $data
             wait $data
             echo \"statuses $compat $?\""
      sh ${DATA_FEDERATE} ${build}/compat_federate ${FED_FILE})
  file(READ ${build}/data.out data_output)
  file(READ ${build}/compat.out compat_output)
  if(NOT run_output MATCHES "statuses 0 0" OR NOT compat_output MATCHES "received ${steps} updates and ${steps} interactions in order")
    message(FATAL_ERROR "${how}: ${run_output}\ncompat federate:\n${compat_output}\ndata federate:\n${data_output}")
  endif()

  # Each of the compat federate's values reached the data federate once, intact, stamped with
  # its sequence number, after the grant before that time and before the grant of that time.
  foreach(seq RANGE 1 ${steps})
    math(EXPR before "${seq} - 1")
    find_line("${data_output}" "[data] grant ${before}" after_at)
    find_line("${data_output}" "[data] grant ${seq}" grant_at)
    if(seq EQUAL 1)
      find_line("${data_output}" "[data] regulating" after_at)
    endif()
    foreach(line "[data] reflect compat.0 Load ${seq} ok ${seq}" "[data] interaction compat ${seq} ok ${seq}")
      count_line("${data_output}" "${line}" count)
      find_line("${data_output}" "${line}" at)
      if(NOT count EQUAL 1 OR at LESS after_at OR NOT at LESS grant_at)
        message(FATAL_ERROR "${how}: '${line}' seen ${count} times, at ${at}, grants at ${after_at} and ${grant_at}:\n"
                            "${data_output}")
      endif()
    endforeach()
  endforeach()
  message(STATUS "${how}: the compat federate and the data federate exchanged ${steps} steps")
endforeach()
