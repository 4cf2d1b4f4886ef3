# Every #include "..." of the tree, checked against the layer table: a file
# may include its own folder (and that folder's internal/) or a folder of a
# lower layer, never one of its own layer or above. The table is the README's
# layout, top down; a folder missing from it fails, so every new room is
# placed. Run as: cmake -DROOT=<source folder> -P Includes.cmake
#
#   folder             layer   include prefix (when not the folder itself)
set(layers
  host/cli           130  -
  host/serve         120  -
  host/frei0r        110  -
  host/gstreamer     110  -
  host/testcard      110  -
  bench              110  -
  host/render        100  -
  host/matte          90  -
  host/samples        90  -
  host/effect         80  -
  host/project        70  -
  host/media          60  -
  host/base           50  -
  plugin              45  -
  picker              40  -
  resources           35  -
  selection           30  -
  key                 30  -
  filter              20  -
  wheel               20  -
  draw                20  -
  platform/pixmill    15  pixmill
  stdfx               10  -
  platform/win         0  win
  platform/tarn        0  tarn
)

set(folders)
while(layers)
  list(POP_FRONT layers folder rank prefix)
  list(APPEND folders ${folder})
  set(rank_${folder} ${rank})
  if(prefix STREQUAL "-")
    set(prefix ${folder})
  endif()
  set(folder_of_${prefix} ${folder})
  list(APPEND prefixes ${prefix})
endwhile()
# Longest prefixes first, so that host/cli wins over a shorter match.
list(SORT prefixes COMPARE STRING ORDER DESCENDING)
list(SORT folders COMPARE STRING ORDER DESCENDING)

# The layer folder a path (a file's, or an include's) belongs to, or "".
function(layer_of path prefix_list out)
  set(${out} "" PARENT_SCOPE)
  foreach(p IN LISTS ${prefix_list})
    if(path MATCHES "^${p}/")
      set(${out} ${p} PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

execute_process(COMMAND git ls-files "*.cpp" "*.h" WORKING_DIRECTORY ${ROOT}
                OUTPUT_VARIABLE files OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "git ls-files failed in ${ROOT}")
endif()
string(REPLACE "\n" ";" files "${files}")
set(faults 0)
foreach(file IN LISTS files)
  if(file MATCHES "^(tests|cmake)/")
    continue()
  endif()
  layer_of(${file} folders own)
  if(own STREQUAL "")
    message("${file}: its folder is not in the layer table (tests/layering/Includes.cmake)")
    math(EXPR faults "${faults} + 1")
    continue()
  endif()
  file(STRINGS ${ROOT}/${file} includes REGEX "^#include \"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    if(NOT included MATCHES "/" OR included MATCHES "^internal/")
      continue()  # a header of the file's own folder
    endif()
    layer_of(${included} prefixes prefix)
    if(prefix STREQUAL "")
      message("${file}: includes ${included}, which is in no layer")
      math(EXPR faults "${faults} + 1")
      continue()
    endif()
    set(target ${folder_of_${prefix}})
    if(target STREQUAL own)
      continue()
    endif()
    if(NOT rank_${target} LESS rank_${own})
      message("${file}: includes ${included}: ${target}/ is not below ${own}/")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "${faults} includes break the layers")
endif()
list(LENGTH files count)
message(STATUS "layering: ${count} files checked")
