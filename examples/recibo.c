/* A receipt from C, every result checked: the README's example made whole.
 *
 *   cc -Iinclude examples/recibo.c -Lbuild -lvltxdrv -o recibo
 *   build/tools/vltx-sim --link /tmp/ecf0 &
 *   LD_LIBRARY_PATH=build ./recibo /tmp/ecf0
 *
 * Quantities and amounts are digits with the decimal point implied, as the
 * printer takes them: "1000" is a quantity of 1.000 (three places), "1590"
 * is 15,90 (two places). Exit status 0 when the receipt printed, 1 when a
 * call gave a result other than the one it must give.
 */
#include <stdio.h>
#include <string.h>

#include "vltxdrv.h"

/* 33 is the driver's own "done" (opening, closing, a register read); a
 * command answered by the printer returns its status byte, 0 when it was
 * carried out. Any other number is a failure: a status byte the printer
 * gave, a line failure (3 to 19, 29) or 2 for a port that is not open. */
static int confere(const char* chamada, int32_t resultado, int32_t esperado) {
    printf("%-22s %d\n", chamada, (int)resultado);
    if (resultado == esperado) return 1;
    fprintf(stderr, "recibo: %s returned %d, not %d\n", chamada, (int)resultado, (int)esperado);
    return 0;
}

static int imprime_recibo(void) {
    char registro[31];
    memset(registro, 0, sizeof registro);
    return confere("ecf_ImprimeCabecalho", ecf_ImprimeCabecalho(), 0) &&
           confere("ecf_VendaItem", ecf_VendaItem("7891234567895", "CAFE 500G", "1000", "1590", "T1", "UN", "2"),
                   0) &&
           confere("ecf_VendaItem", ecf_VendaItem("7896005800010", "LEITE 1L", "2000", "459", "T2", "UN", "2"), 0) &&
           confere("ecf_Pagamento", ecf_Pagamento("01", "DINHEIRO", "3000"), 0) &&
           confere("ecf_FechaCupom", ecf_FechaCupom("OPERADOR"), 0) &&
           /* Register 2: the items sold, 30 digits behind the register's number. */
           confere("ecf_LeRegistrador", ecf_LeRegistrador("002", registro), 33) &&
           printf("register 002           %s\n", registro) > 0;
}

int main(int argc, char** argv) {
    const char* porta = argc > 1 ? argv[1] : "/dev/ttyUSB0";
    int32_t aberta = ecf_InicializaDLL(porta);
    if (aberta != 33) {
        /* 1: this process opened it already; 3: the device cannot be opened
         * (vltx InicializaDLL PORT tells why); 4: its settings failed. */
        fprintf(stderr, "recibo: ecf_InicializaDLL(\"%s\") returned %d\n", porta, (int)aberta);
        return 1;
    }
    int ok = imprime_recibo();
    /* Closed even after a failure, so that the next program gets the port. */
    ok = confere("ecf_FinalizaDLL", ecf_FinalizaDLL(), 33) && ok;
    return ok ? 0 : 1;
}
