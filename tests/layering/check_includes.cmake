# Fails when a source includes a folder above its own layer (see the Layout
# section of README.md). Run as: cmake -DSOURCE_DIR=<project> -P <this file>.
cmake_minimum_required(VERSION 3.16)


# folder|files (glob)|folders it must not include. From the bottom up:
# palette; the engines graphcut and superpixel and the window system ui;
# files; canvas; the scissors, snapping and fill engines; autosave and
# export side by side; import above export; app on top.
set(rules
  "palette|palette/*|canvas app ui scissors snapping graphcut superpixel files autosave export import"
  "graphcut|graphcut/*|canvas app ui scissors snapping superpixel palette files autosave export import"
  "superpixel|superpixel/*|canvas app ui scissors snapping graphcut palette files autosave export import"
  "ui|ui/*|canvas app scissors snapping graphcut superpixel palette files autosave export import"
  "files|files/*|canvas app ui scissors snapping graphcut superpixel autosave export import"
  "canvas|canvas/*|app scissors snapping graphcut superpixel autosave export import"
  "scissors engine|scissors/*|app ui canvas snapping graphcut superpixel files autosave export import"
  "snapping engine|snapping/*|app ui canvas scissors files autosave export import"
  "fill engine|fill/*|app ui canvas scissors snapping graphcut superpixel files autosave export import"
  "autosave|autosave/*|canvas app ui scissors snapping graphcut superpixel export import"
  "export|export/*|canvas app ui scissors snapping graphcut superpixel autosave import"
  "import|import/*|canvas app ui scissors snapping graphcut superpixel autosave")
# The tools in the engine folders stand above the engines: they may also
# include canvas/ and the window-system interface.
set(tool_files scissors/scissor_tool snapping/snapper_tool snapping/snap_step
    fill/fill_tool)

set(failures "")
foreach(rule ${rules})
  string(REPLACE "|" ";" parts "${rule}")
  list(GET parts 0 name)
  list(GET parts 1 pattern)
  list(GET parts 2 forbidden)
  string(REPLACE " " ";" forbidden "${forbidden}")
  file(GLOB sources "${SOURCE_DIR}/${pattern}.h" "${SOURCE_DIR}/${pattern}.cpp")
  foreach(source ${sources})
    file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
    get_filename_component(stem "${relative}" NAME_WE)
    get_filename_component(folder "${relative}" DIRECTORY)
    set(is_tool FALSE)
    if("${folder}/${stem}" IN_LIST tool_files)
      set(is_tool TRUE)
    endif()
    file(STRINGS "${source}" includes REGEX "^#include \"")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" target "${line}")
      if(target STREQUAL "ui" AND NOT line MATCHES "\"ui/window_system.h\""
         AND NOT folder STREQUAL "ui")
        list(APPEND failures "${relative}: ${line} (only ui/window_system.h)")
      endif()
      if(target IN_LIST forbidden)
        if(is_tool AND (target STREQUAL "canvas" OR target STREQUAL "ui"))
          continue()
        endif()
        list(APPEND failures "${relative}: ${line} (${name} layer)")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  string(REPLACE ";" "\n" text "${failures}")
  message(FATAL_ERROR "Includes that reach up a layer:\n${text}")
endif()
