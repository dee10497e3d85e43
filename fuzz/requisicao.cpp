// vltxd's request checks over any body. The input's first byte picks what
// is asked (a receipt, a report, a readout, a CMC-7 read, or a call of one
// of the exports by its place in the table); the rest is the JSON body. A
// body that passes must give calls that fit the frame table: every argument
// printable, no wider than its field, of its kind, one per parameter; and
// the plan must come back whole from the message the worker receives.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "validation.h"

namespace {

using vltxd::generated::Kind;

[[noreturn]] void Falha(const std::string& porque) {
    std::fprintf(stderr, "request check: %s\n", porque.c_str());
    std::abort();
}

void ConfereArgumento(const vltxd::generated::Param& p, const std::string& v, const std::string& onde) {
    for (unsigned char c : v)
        if (c < 0x20 || c > 0x7e) Falha(onde + ": a byte outside printable ASCII");
    switch (p.Type) {
        case Kind::Char:
            if (v.size() != 1) Falha(onde + ": a character field of " + std::to_string(v.size()));
            break;
        case Kind::Number:
            if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos)
                Falha(onde + ": a number field that is not digits");
            [[fallthrough]];
        case Kind::Left:
        case Kind::Right:
        case Kind::Free:
        case Kind::Int32:
            if (v.size() > static_cast<std::size_t>(p.Width)) Falha(onde + ": wider than its field");
            break;
        case Kind::Text:
        case Kind::Path:
        case Kind::Buffer:
            Falha(onde + ": a parameter that no request may give");
    }
}

void ConfereChamada(const vltxd::Call& c) {
    const vltxd::generated::Export* e = vltxd::FindExport(c.Export);
    if (e == nullptr) Falha("a call of an unknown export " + c.Export);
    std::size_t i = 0;
    for (int p = 0; p < e->NumParams; ++p) {
        if (e->Params[p].Type == Kind::Buffer || e->Params[p].Type == Kind::Path) continue;  // the worker's own
        if (i >= c.Args.size()) Falha(c.Export + ": too few arguments");
        ConfereArgumento(e->Params[p], c.Args[i], c.Export + " " + e->Params[p].Name);
        ++i;
    }
    if (i != c.Args.size()) Falha(c.Export + ": too many arguments");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    if (tamanho < 1) return 0;
    const std::string texto(reinterpret_cast<const char*>(dados) + 1, tamanho - 1);
    nlohmann::json corpo;
    std::string porque;
    if (!vltxd::ParseBody(texto, corpo, porque)) return 0;
    vltxd::Plan plano;
    vltxd::Invalid falta;
    bool ok = false;
    const int numExportacoes = static_cast<int>(sizeof vltxd::generated::Exports / sizeof vltxd::generated::Exports[0]);
    switch (dados[0] % 5) {
        case 0: ok = vltxd::ValidateReceipt(corpo, plano, falta); break;
        case 1: ok = vltxd::ValidateReport(corpo, plano, falta); break;
        case 2: ok = vltxd::ValidateReadout(corpo, plano, falta); break;
        case 3: ok = vltxd::ValidateCmc7(corpo, plano, falta); break;
        default:
            ok = vltxd::ValidateCall(vltxd::generated::Exports[(dados[0] / 5) % numExportacoes].Name, corpo, plano, falta);
    }
    if (!ok) {
        if (falta.Field.empty() || falta.Rule.empty()) Falha("a refusal that names no field or rule");
        return 0;
    }
    if (plano.Steps.empty()) Falha("an accepted request with nothing to do");
    for (const vltxd::Call& c : plano.Steps) ConfereChamada(c);
    if (plano.CancelOnFailure) ConfereChamada(plano.Cancel);
    const vltxd::Plan volta = vltxd::Plan::FromJson(nlohmann::json::parse(plano.ToJson().dump()));
    if (volta.ToJson() != plano.ToJson()) Falha("the plan changed on its way to the worker");
    return 0;
}
