# cmake -DHELP2MAN=... -DPROGRAM=... -DNAME=... -DVERSION=... -DOUTPUT=... -P ManPage.cmake
# Writes PROGRAM's man page OUTPUT and OUTPUT.gz with help2man from its --help-all, or its --help where it has no
# --help-all, and its --version, or VERSION where --version says nothing.
set(ENV{QT_QPA_PLATFORM} offscreen)
set(ENV{LC_ALL} C.UTF-8)
execute_process(COMMAND ${PROGRAM} --help-all RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
if(failed)
    set(help --help)
else()
    set(help --help-all)
endif()
execute_process(COMMAND ${PROGRAM} --version RESULT_VARIABLE failed OUTPUT_VARIABLE said
                ERROR_QUIET)
if(failed OR NOT said MATCHES "[0-9]")
    set(version --version-string=${VERSION})
else()
    set(version --version-option=--version)
endif()
get_filename_component(dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
execute_process(COMMAND ${HELP2MAN} --no-info --name=${NAME} --help-option=${help} ${version}
                        --output=${OUTPUT}.new ${PROGRAM}
                RESULT_VARIABLE failed)
if(failed)
    file(REMOVE ${OUTPUT}.new)
    message(FATAL_ERROR "help2man could not write ${OUTPUT}")
endif()
file(RENAME ${OUTPUT}.new ${OUTPUT})
# -n: no name or time stamp in the header, so that a package build repeats.
execute_process(COMMAND gzip -9nkf ${OUTPUT} RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "gzip could not compress ${OUTPUT}")
endif()
