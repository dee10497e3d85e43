// Start-up and shutdown of the shared library on POSIX.
extern "C" void vLog_C6_4(void);
extern "C" void vLog_C6_5(void);

namespace {
__attribute__((constructor)) void Carrega() { vLog_C6_4(); }
__attribute__((destructor)) void Descarrega() { vLog_C6_5(); }
}  // namespace
