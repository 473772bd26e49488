# umbra_library(NAME FOLDER folder [SOURCES ...] [LINKS ...] [PRIVATE_LINKS ...])
#
# One static library per source folder. The library sees only its own folder's headers and
# those of the libraries it links: each library's headers are exposed through a folder of links
# of its own in the build tree, so an include that runs upward (a lower folder reaching for a
# higher one) fails to compile instead of waiting for a review.

# umbra_host_sources(VAR folder): the folder's .cpp files for this host. A `_win`/`_posix` pair
# holds what differs between hosts; the build takes the host's half.
function(umbra_host_sources var folder)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
  endif()
  set(${var} ${sources} PARENT_SCOPE)
endfunction()

# umbra_expose_headers(TARGET folder SCOPE): `folder`'s own headers (not those of its
# subfolders) in a folder of links of the target's own, as "folder/x.h".
function(umbra_expose_headers target folder scope)
  set(exposed ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${exposed})
  file(MAKE_DIRECTORY ${exposed}/${folder})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  foreach(header ${headers})
    get_filename_component(leaf ${header} NAME)
    file(CREATE_LINK ${header} ${exposed}/${folder}/${leaf} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${exposed})
endfunction()

function(umbra_library name)
  cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;LINKS;PRIVATE_LINKS" ${ARGN})
  if(NOT ARG_SOURCES)
    umbra_host_sources(ARG_SOURCES ${ARG_FOLDER})
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  umbra_expose_headers(${name} ${ARG_FOLDER} PUBLIC)
  target_include_directories(${name} SYSTEM PUBLIC ${UMBRA_THIRD_PARTY})
  target_compile_options(${name} PRIVATE ${UMBRA_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE ${ARG_PRIVATE_LINKS})
endfunction()
