# SPDX-License-Identifier: GPL-3.0-or-later
# What each fuzz target of a whole session or file reader is built from; the fuzz build links
# them with libFuzzer, the test build with fuzz/ReplayMain.cpp to replay kept findings.
set(KORVALEN_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KORVALEN_FUZZ_SESSION_TARGETS pop3 pop3ahead smtp files sipinfo codec pagetitle calldatagram voicemenu)

function(korvalen_fuzz_inputs name sources_var libs_var)
  set(sources ${KORVALEN_FUZZ_DIR}/fuzz_${name}.cpp)
  set(libs korvalen_protocols)
  if(name STREQUAL "files")
    # the spam lists and the scripted line alone, without the rest of their libraries
    list(APPEND sources ${CMAKE_SOURCE_DIR}/mail/SpamList.cpp
      ${CMAKE_SOURCE_DIR}/platform/telephone/ScriptedLine.cpp ${CMAKE_SOURCE_DIR}/platform/telephone/VoiceModem.h)
    set(libs korvalen_audio korvalen_platform)
  elseif(name STREQUAL "calldatagram")
    # the internet call's message readers and jitter buffer alone, without the form
    list(APPEND sources ${CMAKE_SOURCE_DIR}/console/CallDatagram.cpp ${CMAKE_SOURCE_DIR}/console/CallCodec.cpp
      ${CMAKE_SOURCE_DIR}/console/QXRSA_Encode.cpp ${CMAKE_SOURCE_DIR}/console/JitterBuffer.cpp)
    set(libs korvalen_platform)
  elseif(name STREQUAL "sipinfo")
    # the SIP line's keypad parsing alone, without the SIP stack
    list(APPEND sources ${CMAKE_SOURCE_DIR}/platform/telephone/SipKeypad.cpp)
    set(libs korvalen_platform)
  elseif(name STREQUAL "codec")
    # the web sign-in's number-string codec alone
    list(APPEND sources ${CMAKE_SOURCE_DIR}/console/QXRSA_Encode.cpp)
    set(libs korvalen_platform)
  elseif(name STREQUAL "voicemenu")
    # the mail engine with the real call controller; no line, no voice
    set(libs korvalen_mail korvalen_telephony)
  elseif(name STREQUAL "pagetitle")
    set(libs korvalen_platform)
  endif()
  set(${sources_var} ${sources} PARENT_SCOPE)
  set(${libs_var} ${libs} PARENT_SCOPE)
endfunction()
