# Hardening: the bundle against a host that breaks its promises, with resource
# accounting (support/test_host and its GL guard). The program against broken
# audio files is in the host tests; long show/hide cycles are bench/render's soak.
qv_add_bundle_test(hardening_tests SOURCES hardening/messages_test.cpp support/alloc_counter.cpp)
