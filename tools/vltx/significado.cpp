#include "vltx/significado.h"

#include <sys/stat.h>

#include <cstring>
#include <string_view>

#include "comum/quadro.h"

namespace {

std::string StatusOuFalha(std::int32_t r, bool portaAberta) {
    if (!portaAberta && r == 2) return "port not open: nothing was sent";
    if (r < 0 || r > 255) return "unknown result";
    std::string s = "printer status " + std::to_string(r);
    if (const char* falha = FalhaDeLinha(r); falha != nullptr && r != 1)
        s += ", or line failure: " + std::string(falha);
    return s;
}

std::string TamanhoDoArquivo(const std::string& caminho) {
    struct stat st {};
    if (stat(caminho.c_str(), &st) != 0) return caminho + " (missing)";
    return caminho + " (" + std::to_string(st.st_size) + " bytes)";
}

bool TipoDeLeitura(const std::string& tipo) { return !tipo.empty() && tipo[0] >= '4' && tipo[0] <= '7'; }

}  // namespace

const char* FalhaDeLinha(std::int32_t codigo) {
    switch (codigo) {
        case 1: return "the port is open already";
        case 3: return "the device cannot be opened";
        case 4: return "the line settings cannot be read or applied";
        case 5: return "the device is not open";
        case 6: return "the output queue was not empty before sending";
        case 7: return "transfer longer than the read or write limit";
        case 8: return "CTS held: the printer cannot take data";
        case 9: return "the write failed";
        case 10: return "fewer bytes received than asked for (time-out)";
        case 11: return "the read failed";
        case 12: return "purging a queue failed";
        case 13: return "framing error";
        case 14: return "overrun";
        case 15: return "break on the line";
        case 16: return "device I/O error (line dropped?)";
        case 17: return "receive queue overflow";
        case 18: return "parity error";
        case 19: return "transmit queue full";
        case 29: return "unknown line error";
        default: return nullptr;
    }
}

const char* FalhaDeLayout(std::int32_t codigo) {
    switch (codigo) {
        case 20: return "the file cannot be opened (or its temporary copy cannot be created)";
        case 21: return "the section is missing from the layout file, or holds no keys";
        case 22: return "\"Valor\" is missing or wrong";
        case 23: return "\"Extenso\" is missing or wrong";
        case 24: return "\"Favorecido\" is missing or wrong";
        case 25: return "\"Cidade\" is missing or wrong";
        case 26: return "\"Mensagem\" is missing or wrong";
        case 27: return "\"Data\" is missing or wrong";
        case 28: return "\"eSpacamento\" is missing or below 1";
        default: return nullptr;
    }
}

const char* StatusDoContrato(const char* codigo, char primeiroCampo, int status) {
    const std::string_view c(codigo, 2);
    if (c == "08" && primeiroCampo == '1' && status == 33)
        return "report accepted: the driver waits while the printer prints";
    if (c == "00" && status == 10) return "busy: a report wait polls again";
    if (c == "53" && status == 2) return "the CMC-7 line follows";
    if (c == "16" && primeiroCampo >= '4' && primeiroCampo <= '7') return "the readout stream follows";
    return nullptr;
}

std::string Significado(const Exportacao& e, const std::vector<std::string>& a, const Resultado& r,
                        bool portaAberta) {
    const std::string_view nome = e.Nome;
    const std::int32_t v = r.Valor;
    if (r.SemValor) return "done";
    if (nome == "ecf_InicializaDLL") {
        if (v == 33) return "port open";
        if (const char* f = FalhaDeLinha(v)) return f;
        return "unknown result";
    }
    if (nome == "ecf_FinalizaDLL") {
        if (v == 33) return "port closed";
        if (v == 2) return "the port was not open";
        if (const char* f = FalhaDeLinha(v)) return f;
        return "unknown result";
    }
    if (nome == "ecf_VersaoDLL") return "\"" + Legivel(r.Buffer) + "\"";
    if (nome == "ecf_LogSerial")
        return v != 0 ? "log on (kept when the port is closed)" : "log off (kept when the port is closed)";
    if (nome == "ecf_ProximoTimeout")
        return v == 0 ? "no one-shot time-out pending" : "the next reply waits " + std::to_string(v) + " s";
    if (nome == "ecf_LeRegistrador") {
        if (v == 33) return "answer \"" + Legivel(r.Buffer) + "\"";
        return StatusOuFalha(v, portaAberta) + " (the answer buffer holds no register)";
    }
    if (nome == "ecf_LeECF" && TipoDeLeitura(a[0])) {
        if (v == 33) return "readout over: " + TamanhoDoArquivo(a[4]);
        if (v == 20) return "the output file cannot be opened";
        return "unknown result";
    }
    if (nome == "ecf_LeCMC7") {
        if (v == 33) return "CMC-7 read: " + TamanhoDoArquivo(a[0]);
        if (v == 20) return "the output file cannot be opened (the printer had answered 2)";
        return StatusOuFalha(v, portaAberta) + " (no CMC-7 line)";
    }
    if (nome == "ecf_ImprimeCheque") {
        if (const char* f = FalhaDeLayout(v))
            return std::string("layout: ") + f + ", or printer status " + std::to_string(v);
    }
    if (nome == "ecf_Relatorio_XZ" && !a[0].empty() && a[0][0] == '1' && v == 33)
        return "report accepted; the wait for the printer is over";
    return StatusOuFalha(v, portaAberta);
}

bool Falhou(const Exportacao& e, const std::vector<std::string>& a, const Resultado& r, bool portaAberta) {
    const std::string_view nome = e.Nome;
    const std::int32_t v = r.Valor;
    if (r.SemValor || nome == "ecf_VersaoDLL" || nome == "ecf_LogSerial" || nome == "ecf_ProximoTimeout")
        return false;
    if (nome == "ecf_InicializaDLL") return v != 33 && v != 1;
    const bool linha = FalhaDeLinha(v) != nullptr && v != 1;
    if (nome == "ecf_FinalizaDLL") return linha;
    if (nome == "ecf_LeRegistrador" || (nome == "ecf_LeECF" && TipoDeLeitura(a[0]))) return v != 33;
    if (nome == "ecf_LeCMC7" && (v == 33 || v == 20)) return v == 20;
    if (nome == "ecf_ImprimeCheque" && FalhaDeLayout(v) != nullptr) return true;
    return linha || (v == 2 && !portaAberta);
}
