/* A stand-in library with only the exports that open, query and close the
 * port: vltx must name what is missing and go on with the rest. */
#include <stdint.h>

static int aberta;

int32_t ecf_InicializaDLL(const char* porta) {
    (void)porta;
    if (aberta) return 1;
    aberta = 1;
    return 33;
}

int32_t ecf_FinalizaDLL(void) {
    if (!aberta) return 2;
    aberta = 0;
    return 33;
}

int32_t ecf_EstadoImpressora(void) { return aberta ? 0 : 2; }
