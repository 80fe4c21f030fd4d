# What the shipped library holds: the public test double a host tests its server calls with
# (ConnectorMock), and none of the kit's own doubles, which the testkit holds.
#
#   cmake -DLIBRARY=<libtalvaren> -DNM=<nm> -P tests/kit/ShippedLibraryTest.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND "${NM}" -C --defined-only "${LIBRARY}" RESULT_VARIABLE status OUTPUT_VARIABLE symbols
  ERROR_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${LIBRARY}")
endif()
if(NOT symbols MATCHES "talvaren::ConnectorMock::performAPICall")
  message(SEND_ERROR "the library lacks ConnectorMock, the double hosts test their server calls with")
endif()
string(REGEX MATCHALL "talvaren::[A-Za-z:]*(Mock|RecordingConnector)[A-Za-z]*[<:][^\n(]*" doubles "${symbols}")
list(FILTER doubles EXCLUDE REGEX "^talvaren::ConnectorMock::")
list(REMOVE_DUPLICATES doubles)
if(doubles)
  list(JOIN doubles "\n  " found)
  message(SEND_ERROR "the library holds test doubles of the testkit:\n  ${found}")
endif()
