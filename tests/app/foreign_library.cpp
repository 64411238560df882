// A shared library that is not the tag library: it loads, but has none of its entry points.
extern "C" __attribute__((visibility("default"))) int ForeignEntryPoint() {
  return 1;
}
