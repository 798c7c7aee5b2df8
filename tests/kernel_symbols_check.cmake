# The rotation loop is compiled once per vector width, the wider builds with
# instructions that older processors lack.  If one of those objects defined
# any shared symbol besides its entry point (an inline function or template
# instantiation the linker may pick for the whole program), a processor
# without those instructions could end up running it.  Run by CTest with
# -DNM=... -DOBJECTS=a.o;b.o;...
set(checked 0)
foreach(object IN LISTS OBJECTS)
  get_filename_component(name "${object}" NAME)
  if(NOT name MATCHES "^rotations_[0-9]+\\.cpp\\.o(bj)?$")
    continue()
  endif()
  math(EXPR checked "${checked} + 1")
  execute_process(COMMAND "${NM}" -C -g --defined-only "${object}" RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${object}: ${rc}")
  endif()
  string(REGEX REPLACE "\n$" "" out "${out}")
  string(REPLACE "\n" ";" lines "${out}")
  foreach(line IN LISTS lines)
    # The pointer to the exception personality routine is data, not code.
    if(line MATCHES " V DW\\.ref\\.__gxx_personality_v0$")
      continue()
    endif()
    if(NOT line MATCHES " T seqord::ordination::rotations_[0-9]+::rotate_on_copy\\(")
      message(FATAL_ERROR "${name} shares a symbol beyond its entry point: ${line}")
    endif()
  endforeach()
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "no object of the rotation loop among: ${OBJECTS}")
endif()
message(STATUS "${checked} builds of the rotation loop share only their entry points")
