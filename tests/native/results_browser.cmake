# The results site in a real browser: Debian's headless chromium renders the pages of uploads
# made by the program's own upload code (results-load prints them), and tools/browser-check.sh
# checks what it rendered. The rendered pages and their screenshots stay in browser-check/.
# Skipped when chromium is not installed.
if(TARGET kalvit-results AND TARGET results-load)
    add_test(NAME results_browser
             COMMAND ${PROJECT_SOURCE_DIR}/tools/browser-check.sh $<TARGET_FILE:kalvit-results>
                     $<TARGET_FILE:results-load> ${CMAKE_CURRENT_BINARY_DIR}/browser-check)
    set_tests_properties(results_browser PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()
