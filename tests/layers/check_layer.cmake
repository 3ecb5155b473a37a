# Proves that the build keeps the layer LAYER from seeing the headers of the
# layers above and beside it. Run by CTest with:
#   COMPILER, FLAGS   the C++ compiler and its flags ("|"-separated)
#   INCLUDES          the include directories of the layer's library ("|"-separated)
#   LAYER, HEADER     the layer and its main header
#   VISIBLE, HIDDEN   "layer=header" pairs ("|"-separated): the layers it may
#                     include and those it may not
#   SOURCE_DIR        the layer's source folder; WORK_DIR a scratch folder
# A file of the layer that includes its own and every visible header compiles;
# one that includes a hidden header fails with that header not found. A file of
# the folder may not step out of it with "..", which would pass around the
# include directories.
cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" flags "${FLAGS}")
string(REPLACE "|" ";" includes "${INCLUDES}")
string(REPLACE "|" ";" visible "${VISIBLE}")
string(REPLACE "|" ";" hidden "${HIDDEN}")
set(include_flags "")
foreach(directory ${includes})
  list(APPEND include_flags "-I${directory}")
endforeach()
file(MAKE_DIRECTORY ${WORK_DIR})
set(failures "")

# Compiles a probe file with the given #include lines; sets status and output.
function(compile_probe name)
  set(probe ${WORK_DIR}/${LAYER}_includes_${name}.cpp)
  set(text "")
  foreach(header ${ARGN})
    string(APPEND text "#include \"${header}\"\n")
  endforeach()
  file(WRITE ${probe} "${text}")
  execute_process(COMMAND ${COMPILER} ${flags} -std=c++17 -fsyntax-only ${include_flags} ${probe}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(status "${status}" PARENT_SCOPE)
  set(output "${out}" PARENT_SCOPE)
endfunction()

set(allowed ${HEADER})
foreach(pair ${visible})
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 1 header)
  list(APPEND allowed ${header})
endforeach()
compile_probe(visible ${allowed})
if(NOT status EQUAL 0)
  string(APPEND failures "its own and the lower layers' headers do not compile:\n${output}\n")
endif()

foreach(pair ${hidden})
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 layer)
  list(GET pair 1 header)
  compile_probe(${layer} ${HEADER} ${header})
  string(REGEX MATCH "${header}(: No such file or directory|' file not found)" refused "${output}")
  if(status EQUAL 0 OR NOT refused)
    string(APPEND failures "${LAYER} can include ${header} (exit ${status}):\n${output}\n")
  else()
    message(STATUS "${LAYER} cannot include ${header}:\n${output}")
  endif()
endforeach()

file(GLOB_RECURSE sources ${SOURCE_DIR}/*.cpp ${SOURCE_DIR}/*.h)
foreach(source ${sources})
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\.")
  if(lines)
    string(APPEND failures "${source} includes through \"..\": ${lines}\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
