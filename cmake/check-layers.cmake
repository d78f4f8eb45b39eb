# Fails when an include points up a layer: nothing under base/, assets/, sound/ or launch/
# includes app/, and base/, below them all, includes none of them.
# Called as: cmake -DSOURCE_DIR=<repository> -P check-layers.cmake
cmake_minimum_required(VERSION 3.25)

# <folder>=<the folders above it>
set(layers "base=app|assets|sound|launch" "assets=app" "sound=app" "launch=app")
set(faults "")
foreach(layer IN LISTS layers)
  string(REPLACE "=" ";" layer "${layer}")
  list(GET layer 0 folder)
  list(GET layer 1 above)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](${above})/")
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
    foreach(include IN LISTS includes)
      string(APPEND faults "  ${name}: ${include}\n")
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "These includes point up a layer (app/ is above assets/, sound/ and launch/, "
                      "and they are above base/):\n${faults}")
endif()
