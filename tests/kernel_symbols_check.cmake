# The rotation loop is compiled once per vector width, the wider builds with
# instructions that older processors lack.  Two things in those objects would
# run on any processor: a shared code symbol besides the entry point (an
# inline function or template instantiation the linker may pick for the whole
# program), and a constructor of a static object (run at program start).  The
# sanitizers' own constructors, which carry a priority, are allowed, and so is
# shared data, which is never run.  Run by CTest with -DNM=... -DOBJDUMP=...
# -DOBJECTS=a.o;b.o;...
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
    # Shared data: the pointer to the exception personality routine, type information.
    if(line MATCHES " V (DW\\.ref\\.__gxx_personality_v0|typeinfo .*)$")
      continue()
    endif()
    if(NOT line MATCHES " T seqord::ordination::rotations_[0-9]+::rotate_on_copy\\(")
      message(FATAL_ERROR "${object} shares a symbol beyond its entry point: ${line}")
    endif()
  endforeach()
  execute_process(COMMAND "${OBJDUMP}" -h "${object}" RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${object}: ${rc}")
  endif()
  if(out MATCHES "[ \t]\\.(init_array|ctors)[ \t]")
    message(FATAL_ERROR "${object} constructs a static object when the program starts")
  endif()
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "no object of the rotation loop among: ${OBJECTS}")
endif()
message(STATUS "${checked} builds of the rotation loop share only their entry points and construct nothing")
