# Checks that Kavel's window module holds no second copy of what the program holds (the run
# flow, the engine, common: each copy would come with globals of its own), and that every such
# symbol it uses is exported by the program. Run as a test: cmake -DNM=<nm> -DPROGRAM=<Kavel> -DMODULE=<.so> -P.
cmake_minimum_required(VERSION 3.25)
# Our functions and data, defined or used; inline variables and templates (weak and unique
# symbols) are merged into one at load time and left out.
set(ours "^_ZN?K?(6common|5kavel|2re)[0-9A-Z][^ ]* [TDBRU] ")
function(symbols file option out)
  execute_process(COMMAND ${NM} ${option} --format=posix ${file}
                  OUTPUT_VARIABLE text RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${file}")
  endif()
  string(REPLACE "\n" ";" symbols "${text}")
  list(FILTER symbols INCLUDE REGEX "${ours}")
  list(TRANSFORM symbols REPLACE " .*" "")
  set(${out} ${symbols} PARENT_SCOPE)
endfunction()

symbols(${MODULE} "-D;--defined-only" defined_by_module)
symbols(${MODULE} "-D;--undefined-only" used_by_module)
symbols(${PROGRAM} "--defined-only" in_program)
symbols(${PROGRAM} "-D;--defined-only" exported_by_program)
set(only_in_module ${defined_by_module})
list(REMOVE_ITEM only_in_module ${in_program})
set(copies ${defined_by_module})
list(REMOVE_ITEM copies ${only_in_module})
if(copies)
  list(JOIN copies "\n  " list)
  message(FATAL_ERROR "the window module carries a copy of the program's:\n  ${list}")
endif()
if(NOT used_by_module)
  message(FATAL_ERROR "the window module uses nothing of the program: the check looks at the wrong file")
endif()
list(REMOVE_ITEM used_by_module ${exported_by_program})
if(used_by_module)
  list(JOIN used_by_module "\n  " list)
  message(FATAL_ERROR "the program does not export what the window module uses:\n  ${list}")
endif()
