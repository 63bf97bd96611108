# Converts a fresh copy of the sample textures, so the repository stays as it is.
# cmake -DTOOL=<tool> -DSAMPLES=<samples dir> -DWORK=<scratch dir> [-DRUNNER=<emulator>] -P demo.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/textures")
file(COPY "${TOOL}" DESTINATION "${WORK}")
file(GLOB textures RELATIVE "${SAMPLES}/textures" "${SAMPLES}/textures/*.txr")
list(SORT textures)
set(args)
foreach(t IN LISTS textures)
  file(COPY "${SAMPLES}/textures/${t}" DESTINATION "${WORK}/textures")
  list(APPEND args "textures/${t}")
endforeach()
get_filename_component(toolName "${TOOL}" NAME)
file(WRITE "${WORK}/no-keys" "")

message("Converting in ${WORK}: ${args}")
execute_process(COMMAND ${RUNNER} "${WORK}/${toolName}" ${args}
                WORKING_DIRECTORY "${WORK}"
                INPUT_FILE "${WORK}/no-keys"
                RESULT_VARIABLE status)
file(GLOB converted RELATIVE "${WORK}/textures" "${WORK}/textures/*")
list(SORT converted)
file(READ "${WORK}/record.txt" record)
message("\nExit status: ${status}\nFiles now: ${converted}\nrecord.txt:\n${record}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the tool failed")
endif()
