// The address sanitizer's defaults for every test program. Its guess at the
// size of a library's dynamic thread-local block (taken when the library
// first asks for it) reads a header that this C library does not write; with
// an unlucky address it records a bogus block, and the leak check at exit
// faults reading it. Libraries on the class framework have thread-local
// state and are loaded and freed freely by the tests, so the guess is off.
extern "C" const char* __asan_default_options() {
    return "intercept_tls_get_addr=0";
}
