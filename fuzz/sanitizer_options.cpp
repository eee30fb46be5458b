// Undefined behaviour ends the run like any other finding, so that the fuzzer keeps the input.
extern "C" const char *__ubsan_default_options() {
  return "halt_on_error=1:print_stacktrace=1";
}
