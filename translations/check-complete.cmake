# SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Every text of the sources has a translation in every .ts file, and no
# translation is left over for a text the sources no longer have.
#
#   cmake -DLUPDATE=... -DSOURCE_LIST=lupdate-sources.txt -DTS_FILES="a.ts;b.ts"
#         -DINCLUDE_DIR=<source root> -DWORK_DIR=... -P check-complete.cmake
#
# lupdate runs over the current sources into a copy of each .ts file (the
# file in the source tree is left alone) with the options of the
# update_translations target, except that texts gone from the sources are
# kept and marked "vanished" so that they can be reported.
foreach(var LUPDATE SOURCE_LIST TS_FILES INCLUDE_DIR WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-complete: ${var} is not set")
  endif()
endforeach()

string(RANDOM LENGTH 12 tag)
set(work "${WORK_DIR}/ts-check-${tag}")
file(MAKE_DIRECTORY "${work}")
set(failures "")
foreach(ts IN LISTS TS_FILES)
  get_filename_component(name "${ts}" NAME)
  file(COPY_FILE "${ts}" "${work}/${name}")
  execute_process(
    COMMAND "${LUPDATE}" -I "${INCLUDE_DIR}" -locations none -silent "@${SOURCE_LIST}" -ts "${work}/${name}"
    RESULT_VARIABLE rc
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(APPEND failures "${name}: lupdate failed (${rc}): ${out}${err}\n")
    continue()
  endif()
  # lupdate warns about texts it cannot take (tr() outside a Q_OBJECT class,
  # a text that is not a literal): such a text would never be translated.
  if(NOT "${out}${err}" STREQUAL "")
    string(APPEND failures "${name}: lupdate warned:\n${out}${err}\n")
  endif()
  file(READ "${work}/${name}" text)
  # One <message> per text; report each that is not finished with its source.
  string(REPLACE "</message>" "</message>;" text_list "${text}")
  foreach(message IN LISTS text_list)
    if(message MATCHES "type=\"(unfinished|vanished|obsolete)\"")
      set(kind "${CMAKE_MATCH_1}")
      string(REGEX MATCH "<source>([^<]*)</source>" src "${message}")
      set(src "${CMAKE_MATCH_1}")
      if(kind STREQUAL "unfinished")
        string(APPEND failures "${name}: no translation for \"${src}\"\n")
      else()
        string(APPEND failures "${name}: translation of a text the sources no longer have: \"${src}\"\n")
      endif()
    endif()
  endforeach()
endforeach()
file(REMOVE_RECURSE "${work}")

if(NOT failures STREQUAL "")
  message(FATAL_ERROR
    "Translations are incomplete; run `make translations` (it adds the new "
    "texts and drops the gone ones) and translate what it marks unfinished:\n${failures}")
endif()
message(STATUS "every text has a translation in: ${TS_FILES}")
