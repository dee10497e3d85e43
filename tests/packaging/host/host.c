/* A point-of-sale host built against an installed vltxdrv: one receipt. */
#include <stdio.h>
#include <vltxdrv.h>

static int falhas;

static void confere(const char* passo, int32_t obtido, int32_t esperado) {
    if (obtido != esperado) {
        fprintf(stderr, "%s gave %d, not %d\n", passo, (int)obtido, (int)esperado);
        ++falhas;
    }
}

int main(int argc, char** argv) {
    if (argc != 3) return fprintf(stderr, "usage: host PORT OPERATOR\n"), 2;
    confere("InicializaDLL", ecf_InicializaDLL(argv[1]), 33);
    confere("ImprimeCabecalho", ecf_ImprimeCabecalho(), 0);
    confere("VendaItem", ecf_VendaItem("7891234567895", "CAFE 500G", "1000", "1590", "T1", "UN", "2"), 0);
    confere("Pagamento", ecf_Pagamento("01", "DINHEIRO", "2000"), 0);
    confere("FechaCupom", ecf_FechaCupom(argv[2]), 0);
    confere("FinalizaDLL", ecf_FinalizaDLL(), 33);
    printf("host built against vltxdrv %s: %s\n", VLTXDRV_VERSION_TEXT, falhas ? "failed" : "receipt done");
    return falhas != 0;
}
