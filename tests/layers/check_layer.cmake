# Proves that the build keeps the layer LAYER from seeing the headers of the
# layers above and beside it. Run by CTest with:
#   COMPILER, FLAGS   the C++ compiler and its flags ("|"-separated)
#   INCLUDES          the include directories of the layer's library ("|"-separated)
#   LAYER, HEADER     the layer and its main header
#   VISIBLE, HIDDEN   "layer=header" pairs ("|"-separated): the layers it may
#                     include and those it may not
#   SOURCE_DIR        the layer's source folder; WORK_DIR a scratch folder
#   NM, LIBRARY       nm and the layer's library
#   HIDDEN_LIBRARIES  the libraries of the hidden layers ("|"-separated)
# A file of the layer that includes its own and every visible header compiles;
# one that includes a hidden header fails with that header not found. A file of
# the folder may not step out of it with "..", which would pass around the
# include directories, and the library may not use a function or object that
# only a hidden layer defines (a declaration written out by hand would pass
# around the headers).
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

# The symbols nm lists of library (POSIX format) whose type matches types.
function(symbols library options types)
  execute_process(COMMAND ${NM} ${options} -P ${library} OUTPUT_VARIABLE listing
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} cannot read ${library}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${listing}")
  set(names "")
  foreach(line ${lines})
    if(line MATCHES "^([^ ]+) (${types})( |$)")
      list(APPEND names ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(names "${names}" PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" hidden_libraries "${HIDDEN_LIBRARIES}")
symbols(${LIBRARY} -u U)
set(used ${names})
foreach(library ${hidden_libraries})
  # Strong definitions only: inline functions and template instances (W, V)
  # are defined in every library that uses them.
  symbols(${library} "-g;--defined-only" "T|D|B|R")
  foreach(name ${names})
    if(name IN_LIST used)
      string(APPEND failures "${LIBRARY} uses ${name}, defined in ${library}\n")
    endif()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
