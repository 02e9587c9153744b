# The Prometheus examples of packaging/examples, checked with promtool
# (Debian's prometheus package, installed by scripts/deps.sh): the scrape
# configuration in full (its rule file read, its token file present: the
# one it names is made here in WORK), the alert rules, and their unit tests
# in tests/examples. Run with cmake -DSRC=<source dir> -DWORK=<folder> -P.
find_program(PROMTOOL promtool)
if(NOT PROMTOOL)
  message(FATAL_ERROR "promtool is missing: install Debian's prometheus package (scripts/deps.sh)")
endif()
set(examples ${SRC}/packaging/examples)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(READ ${examples}/prometheus.yml config)
string(REPLACE "/etc/prometheus/quillmeter-token" "${WORK}/quillmeter-token" local "${config}")
if(local STREQUAL config)
  message(FATAL_ERROR "prometheus.yml does not read the token from /etc/prometheus/quillmeter-token")
endif()
file(WRITE ${WORK}/prometheus.yml "${local}")
file(WRITE ${WORK}/quillmeter-token "s3cret\n")
file(COPY ${examples}/quillmeter-alerts.yml DESTINATION ${WORK})

foreach(check "check;config;${WORK}/prometheus.yml" "check;rules;${examples}/quillmeter-alerts.yml"
              "test;rules;${SRC}/tests/examples/quillmeter-alerts.test.yml")
  execute_process(COMMAND ${PROMTOOL} ${check} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 60)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " shown "${check}")
    message(FATAL_ERROR "promtool ${shown}: ${rc}\n${out}")
  endif()
endforeach()
