# Run by the test "layers": preprocesses one include through the include
# folders of an engine library (or the view) and checks that the header is
# found when it lies in the library's own folder or below, and is not found
# ("No such file") when it lies above. INC_<target> holds the library's
# include folders, "|"-separated; CXX is the compiler.
set(cases
  # target         header                               found?
  "qm_text|engine/text/NumText.h|yes"
  "qm_text|engine/model/CycleRecord.h|no"
  "qm_text|engine/settings/DataFolder.h|no"
  "qm_model|engine/text/SIFormat.h|yes"
  "qm_model|engine/model/RunSink.h|yes"
  "qm_model|engine/instrument/Instrument.h|no"
  "qm_model|engine/run/Session.h|no"
  "qm_settings|engine/settings/ResumeSettings.h|yes"
  "qm_settings|engine/model/MeasRecords.h|no"
  "qm_link|engine/link/Transport.h|yes"
  "qm_link|engine/model/InstrumentConfig.h|no"
  "qm_waveform|engine/waveform/SampleConvert.h|yes"
  "qm_waveform|engine/instrument/Instrument.h|no"
  "qm_output|engine/output/FileSinks.h|yes"
  "qm_output|engine/run/Session.h|no"
  "qm_stats|engine/stats/TrendLog.h|yes"
  "qm_stats|engine/output/WaveCsv.h|no"
  "qm_stats|engine/run/Session.h|no"
  "qm_instrument|engine/instrument/Instrument.h|yes"
  "qm_instrument|engine/run/RunLimits.h|no"
  "qm_run|engine/run/Session.h|yes"
  "qm_run|engine/web/WebFeed.h|no"
  "qm_run|engine/output/FileSinks.h|no"
  "qm_run|view/MainForm.h|no"
  "qm_run|app/Startup.h|no"
  "qm_web|engine/web/WebFeed.h|yes"
  "qm_web|engine/run/Session.h|no"
  "qm_view|engine/run/Session.h|yes"
  "qm_view|app/Startup.h|no"
)
if(MQTT)
  list(APPEND cases "qm_mqtt|engine/mqtt/MqttSink.h|yes" "qm_mqtt|engine/web/WebFeed.h|no")
endif()

set(work ${CMAKE_CURRENT_BINARY_DIR}/layers)
file(MAKE_DIRECTORY ${work})
set(failures 0)
set(n 0)
foreach(c ${cases})
  string(REPLACE "|" ";" fields "${c}")
  list(GET fields 0 target)
  list(GET fields 1 header)
  list(GET fields 2 expect)
  math(EXPR n "${n} + 1")
  file(WRITE ${work}/case${n}.cpp "#include \"${header}\"\n")
  string(REPLACE "|" ";" dirs "${INC_${target}}")
  set(flags "")
  foreach(d ${dirs})
    list(APPEND flags "-I${d}")
  endforeach()
  execute_process(COMMAND ${CXX} -std=c++20 -fPIC -E ${flags} ${work}/case${n}.cpp -o ${work}/case${n}.i
    RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(expect STREQUAL "yes")
    if(NOT rc EQUAL 0)
      message(SEND_ERROR "${target} does not find ${header}:\n${err}")
      math(EXPR failures "${failures} + 1")
    endif()
  elseif(rc EQUAL 0)
    message(SEND_ERROR "${target} finds ${header}, a header of a folder above it")
    math(EXPR failures "${failures} + 1")
  elseif(NOT err MATCHES "No such file")
    message(SEND_ERROR "${target} including ${header} fails, but not for want of the header:\n${err}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
file(REMOVE_RECURSE ${work})
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} of ${n} layer checks failed")
endif()
message(STATUS "${n} layer checks passed")
