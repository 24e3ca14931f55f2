# Each of our shared libraries is built from an object library of its sources (<name>_objects).
# The shared library is compiled with hidden symbol visibility and exports only what its export
# macro marks; tests, benchmarks and fuzz targets that use internal classes link the object
# library instead, so nothing is exported for them.
function(add_shared_from_objects name)
  set_target_properties(${name}_objects PROPERTIES POSITION_INDEPENDENT_CODE ON CXX_VISIBILITY_PRESET hidden
                                                   VISIBILITY_INLINES_HIDDEN ON)
  add_library(${name} SHARED)
  target_link_libraries(${name} PUBLIC ${name}_objects)
  # An unexported symbol that another library needs shows up when that library links, not later.
  if(NOT FUZZ)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
