# kelvane_library(<folder> [PUBLIC libs...] [PRIVATE libs...])
# The static library kelvane_<folder> of every .cpp file directly in src/<folder>/, with the alias
# kelvane::<folder>, C++20 and the src/ include root. A folder still without sources gets an
# empty translation unit, so that dependants can link it already.
function(kelvane_library folder)
  cmake_parse_arguments(ARG "" "" "PUBLIC;PRIVATE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${folder}_empty.cpp)
    file(WRITE ${stub} "// ${folder} has no sources yet\n")
    set(sources ${stub})
  endif()
  set(target kelvane_${folder})
  add_library(${target} STATIC ${sources})
  add_library(kelvane::${folder} ALIAS ${target})
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE} kelvane_options)
endfunction()
