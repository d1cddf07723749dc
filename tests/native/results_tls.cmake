# The results site behind Debian's nginx as a deployment puts it (tools/tls-front.sh): HTTPS with
# the secure cookie and HSTS for signing in, plain HTTP for the program's upload and the result
# pages, foreign POSTs refused; tools/tls-check.sh talks to it with curl. Skipped when nginx or
# openssl is not installed.
if(TARGET kalvit-results AND TARGET results-load)
    add_test(NAME results_tls
             COMMAND ${PROJECT_SOURCE_DIR}/tools/tls-check.sh $<TARGET_FILE:kalvit-results>
                     $<TARGET_FILE:results-load>)
    set_tests_properties(results_tls PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()
