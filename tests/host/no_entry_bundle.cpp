// A loadable module that is no visual plug-in: it lacks the entry point.
extern "C" __attribute__((visibility("default"))) int QuorvantaTestNotAPlugin(void) { return 42; }
