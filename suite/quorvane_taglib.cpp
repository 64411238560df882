// A stand-in for the suite's tag library: the program only loads it and looks its entry points
// up at start-up; the suite components that would call them are not part of this program.

extern "C" {

__attribute__((visibility("default"))) int ReadTag(const char16_t*, void*) {
  return 0;
}
__attribute__((visibility("default"))) int WriteTag(const char16_t*, const void*) {
  return 0;
}
__attribute__((visibility("default"))) int WriteArtwork(const char16_t*, const void*, int) {
  return 0;
}
__attribute__((visibility("default"))) int ReadAudioProperties(const char16_t*, void*) {
  return 0;
}
__attribute__((visibility("default"))) void TagLib_SetTagCodePage(int) {}
}
