# SPDX-License-Identifier: Apache-2.0
# Runs a program that crashes on purpose (through RUNNER, the Wine wrapper) and expects
# both a non-zero exit status and the crash report.
execute_process(COMMAND ${RUNNER} ${PROGRAM} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "a crashing program exited 0:\n${out}${err}")
endif()
if(NOT "${out}${err}" MATCHES "Unhandled exception")
  message(FATAL_ERROR "no crash report (exit ${rc}):\n${out}${err}")
endif()
message(STATUS "crash reported, exit status ${rc}")
