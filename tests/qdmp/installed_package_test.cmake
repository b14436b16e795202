# Installs the drawing library's component into a scratch prefix, builds
# installed_program.c (C) with the flags pkg-config gives for it, and runs it.
# Arguments: BUILD_DIR, WORK_DIR, C_COMPILER, SOURCE.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component qdmp --prefix ${WORK_DIR}/prefix
                RESULT_VARIABLE rc OUTPUT_QUIET)
file(GLOB_RECURSE pc_file ${WORK_DIR}/prefix/*quorvanta-qdmp.pc)
if(NOT rc EQUAL 0 OR NOT pc_file)
  message(FATAL_ERROR "install failed (${rc}) or left out quorvanta-qdmp.pc")
endif()
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
# The .pc file names the prefix it was configured with, not the scratch one.
execute_process(COMMAND pkg-config --define-variable=prefix=${WORK_DIR}/prefix --cflags --libs quorvanta-qdmp
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(flags UNIX_COMMAND "${flags}")
execute_process(COMMAND ${C_COMPILER} -std=c11 -Wall -Wextra -Werror ${SOURCE} -o ${WORK_DIR}/program ${flags}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
execute_process(COMMAND ${WORK_DIR}/program OUTPUT_VARIABLE out OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "00ff8000")
  message(FATAL_ERROR "building against the installed library (${rc}: ${err}) or running the program ('${out}') failed")
endif()
