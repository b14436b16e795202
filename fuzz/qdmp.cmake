# The drawing library under random call sequences from the input, checked
# against the per-pixel reference of its tests, on guarded maps.
qv_add_fuzzer(qdmp_fuzz
  SOURCES qdmp/qdmp_fuzz.cpp ${PROJECT_SOURCE_DIR}/tests/qdmp/support/call_driver.cpp
  LIBS qv_qdmp
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/qdmp)
