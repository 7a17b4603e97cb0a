# Copies SRC to DST unless DST already exists: the zero balancing writes its shifts into the
# copy beside the program, and a rebuild must not undo that.
if(NOT EXISTS "${DST}")
  configure_file("${SRC}" "${DST}" COPYONLY)
endif()
