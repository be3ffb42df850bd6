# Fails unless DIST holds exactly the files an operator installs from: setup and what it copies.
# EXPECTED: the names of those files, from the build, separated by commas.
string(REPLACE "," ";" expected "${EXPECTED}")
file(GLOB present RELATIVE ${DIST} ${DIST}/*)
set(missing ${expected})
list(REMOVE_ITEM missing ${present})
set(extra ${present})
list(REMOVE_ITEM extra ${expected})
if(missing OR extra)
  message(FATAL_ERROR "distribution folder ${DIST}: missing [${missing}], not ours [${extra}]")
endif()
message(STATUS "distribution folder ${DIST} holds exactly: ${expected}")
