# cmake -DPROGRAM=kurvex-cli -DDIR=... -P Completion.cmake
# Writes DIR/kurvex-cli, kurvex-cli's bash completion, and DIR/kurvex, a link to it; neither
# where kurvex-cli has no completion command. DIR/stamp says the step ran.
file(MAKE_DIRECTORY ${DIR})
file(REMOVE ${DIR}/kurvex-cli ${DIR}/kurvex ${DIR}/kurvex-cli.new)
execute_process(COMMAND ${PROGRAM} completion bash OUTPUT_FILE ${DIR}/kurvex-cli.new
                RESULT_VARIABLE failed ERROR_QUIET)
if(failed)
    file(REMOVE ${DIR}/kurvex-cli.new)
    message(STATUS "kurvex-cli has no 'completion bash': no bash completion installed")
else()
    file(RENAME ${DIR}/kurvex-cli.new ${DIR}/kurvex-cli)
    file(CREATE_LINK kurvex-cli ${DIR}/kurvex SYMBOLIC)
endif()
file(TOUCH ${DIR}/stamp)
