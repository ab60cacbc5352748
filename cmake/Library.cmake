# tessaly_library(NAME FOLDER SOURCES...): the static library of one folder of the tree.
#
# A library exposes only its own headers. The build tree holds, for each folder, an
# include directory with a single link, <folder> -> the source folder, and that directory
# is the library's public include path: "<folder>/X.h" resolves for the folder itself and
# for the targets that link the library (directly or through a library that links it
# publicly), and for no other. Dependencies run one way, so a lower layer that includes an
# upper layer's header does not compile.
function(tessaly_library name)
  cmake_parse_arguments(ARG "" "FOLDER" "SOURCES" ${ARGN})
  set(include_dir ${PROJECT_BINARY_DIR}/include/${ARG_FOLDER})
  get_filename_component(link_parent ${include_dir}/${ARG_FOLDER} DIRECTORY)
  file(MAKE_DIRECTORY ${link_parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${ARG_FOLDER} ${include_dir}/${ARG_FOLDER} SYMBOLIC)
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${include_dir})
  tessaly_warnings(${name})
endfunction()
