# The folders of pelkary.dll depend one way, frame <- notify <- messages <- folders <- scripting:
# no folder includes one above it. frame/dll_entry.cpp, the module's entry, and
# frame/class_map.cpp, the table of the module's classes, are the places naming classes.
set(rules "frame:notify|messages|folders|scripting" "notify:messages|folders|scripting"
          "messages:folders|scripting" "folders:scripting")
set(broken "")
foreach(rule IN LISTS rules)
  string(REPLACE ":" ";" parts "${rule}")
  list(GET parts 0 lower)
  list(GET parts 1 higher)
  file(GLOB files "${SRC}/${lower}/*")
  list(FILTER files EXCLUDE REGEX "/frame/(dll_entry|class_map)\\.cpp$")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" hits REGEX "#include \"(${higher})/")
    if(hits)
      string(APPEND broken "\n  ${file}: ${hits}")
    endif()
  endforeach()
endforeach()
if(broken)
  message(FATAL_ERROR "a lower folder includes a higher one:${broken}")
endif()
