// docs/reference.md: every export with its parameters, frame and results,
// then the result codes, the text encoding and the number formats.
#include <map>

#include "driver/estado.h"
#include "emissor.h"

namespace {

std::string Codigo(const std::string& s) { return "`" + s + "`"; }

std::string Exemplo(const std::string& texto) { return texto.empty() ? "`\"\"`" : "`\"" + texto + "\"`"; }

std::string Chamada(const ExportacaoModelo& e) {
    std::string s = e.Nome + "(";
    for (std::size_t i = 0; i < e.Parametros.size(); ++i) {
        const ParametroModelo& p = e.Parametros[i];
        if (i > 0) s += ", ";
        if (p.Tipo == Papel::Buffer) s += p.Nome;
        else if (p.Tipo == Papel::Inteiro) s += p.Exemplo;
        else s += "\"" + p.Exemplo + "\"";
    }
    return s + ")";
}

// The C declaration; an export no C identifier can spell is reached by name.
std::string Declaracao(const ExportacaoModelo& e) {
    const std::string prefixo = "@Log@";
    if (e.Nome.rfind(prefixo, 0) != 0) return Prototipo(e) + ";";
    return "vltx_LogC6_fn f = (vltx_LogC6_fn)dlsym(lib, VLTX_LOG_" + e.Nome.substr(prefixo.size()) + "); /* \"" +
           e.Nome + "\" */";
}

std::string Bytes(const Campo& c) {
    if (c.Largura == 1) return "byte " + std::to_string(c.Deslocamento);
    return "bytes " + std::to_string(c.Deslocamento) + "–" + std::to_string(c.Deslocamento + c.Largura - 1);
}

std::string OrigemDoCampo(const ExportacaoModelo& e, const Campo& c) {
    if (c.Tipo == TipoCampo::Fixo) return std::string("constant \"") + char(c.Parametro) + "\"";
    if (c.Tipo == TipoCampo::NumeroLayout || c.Tipo == TipoCampo::ByteLayout) return "the layout file";
    for (const Campo* d : e.CamposDoDriver)
        if (d == &c) return "the layout file (\"eSpacamento\": its first 3 characters)";
    for (const ParametroModelo& p : e.Parametros)
        for (const Campo* x : p.Campos)
            if (x == &c) return "parameter " + std::to_string(p.Posicao) + ", " + Codigo(p.Nome);
    return "";
}

void Parametros(std::string& s, const ExportacaoModelo& e) {
    if (e.Parametros.empty()) {
        s += "No parameters.\n\n";
        return;
    }
    s += "| # | Parameter | C type | Kind | How the value is used | Example |\n|---|---|---|---|---|---|\n";
    for (const ParametroModelo& p : e.Parametros) {
        std::string tipo;
        switch (p.Tipo) {
            case Papel::Campo:
            case Papel::Inteiro: {
                const Campo& c = *p.Campos.front();
                tipo = NomeDoTipo(c) + ", frame " + Bytes(c);
                if (p.Campos.size() > 1 && p.Campos[1]->Deslocamento != c.Deslocamento)
                    tipo += " (" + std::to_string(e.Linhas[1]->TamanhoQuadro) + "-byte frame: " + Bytes(*p.Campos[1]) + ")";
                break;
            }
            case Papel::Texto: tipo = "text, not sent"; break;
            case Papel::Caminho: tipo = "file path"; break;
            case Papel::Dispositivo: tipo = "device path or address"; break;
            case Papel::Buffer: tipo = "output buffer, " + std::to_string(p.Proprio->Tamanho) + " bytes (" +
                                       Codigo(p.Proprio->ConstanteTamanho) + ")"; break;
        }
        std::string exemplo;
        if (p.Tipo == Papel::Buffer) exemplo = "`char " + p.Nome + "[" + p.Proprio->ConstanteTamanho + "]`";
        else if (p.Tipo == Papel::Inteiro) exemplo = "`" + p.Exemplo + "`";
        else exemplo = Exemplo(p.Exemplo);
        if (!p.BytesExemplo.empty()) exemplo += " → `" + Visivel(p.BytesExemplo.front()) + "`";
        s += "| " + std::to_string(p.Posicao) + " | " + Codigo(p.Nome) + " | " + Codigo(TipoC(p.Tipo)) + " | " + tipo +
             " | " + UsoDoParametro(p) + " | " + exemplo + " |\n";
    }
    s += "\n";
}

void Quadro(std::string& s, const ExportacaoModelo& e) {
    for (const Comando* c : e.Linhas) {
        s += "**Frame** " + Codigo("\"" + std::string(c->Codigo) + "\"") + ": " + std::to_string(c->TamanhoQuadro) +
             " bytes, reply " + std::to_string(c->TamanhoResposta) + (c->TamanhoResposta == 1 ? " byte" : " bytes") +
             ", time-out " + std::to_string(c->Timeout) + " s, CTS flow control " + (c->Cts ? "on" : "off") + ".";
        if (e.Linhas.size() > 1) s += std::string(" (") + c->Descricao + ")";
        s += "\n\n";
        const bool plano = [&] {
            for (int i = 0; i < c->NumCampos; ++i)
                if (c->Campos[i].Tipo == TipoCampo::Fixo || c->Campos[i].Tipo == TipoCampo::NumeroLayout ||
                    c->Campos[i].Tipo == TipoCampo::ByteLayout || !e.CamposDoDriver.empty())
                    return false;
            return true;
        }();
        if (c->NumCampos == 0) {
            s += "The frame is the header alone: ESC, `f`, " + Codigo(c->Codigo) + ".\n\n";
            continue;
        }
        if (plano) continue;  // the parameter table gives every field
        s += "| Frame | Field | Kind | From |\n|---|---|---|---|\n";
        for (int i = 0; i < c->NumCampos; ++i) {
            const Campo& f = c->Campos[i];
            s += "| " + Bytes(f) + " | " + Codigo(f.Nome) + " | " + NomeDoTipo(f) + " | " + OrigemDoCampo(e, f) + " |\n";
        }
        s += "\n";
    }
    if (!e.QuadroExemplo.empty() && e.QuadroExemplo.size() <= 200 && e.CamposDoDriver.empty())
        s += "Example: " + Codigo(Chamada(e)) + " sends `" + Visivel(e.QuadroExemplo) + "`.\n\n";
    else if (!e.Parametros.empty())
        s += "Example: " + Codigo(Chamada(e)) + ".\n\n";
}

void Resultados(std::string& s, const ExportacaoModelo& e) {
    if (e.SemRetorno) {
        s += "**Returns** nothing.\n\n";
        return;
    }
    s += "**Returns**\n\n";
    for (const LinhaDeResultado& r : ResultadosAgrupados(e)) s += "- " + r.Codigos + ": " + r.Texto + "\n";
    if (e.Desc->NotaResultados != nullptr) s += "\n" + std::string(e.Desc->NotaResultados) + "\n";
    s += "\n";
}

const char* const Introducao = R"(# vltxdrv reference

Every export of the library: what it is for, what goes in each parameter,
the frame it sends and what comes back. Then the result codes, the text
encoding and the number formats. The header is `include/vltxdrv.h`.

<a id="calling-the-exports"></a>

## Calling the exports

- Every export returns a signed 32-bit integer (`int32_t`), except the two
  counter exports, which return nothing.
- On Linux the exports use the platform's C calling convention; on 32-bit
  Windows they are stdcall (`__stdcall`, `VLTX_CALL` in the header) under
  undecorated names.
- Texts are NUL-terminated byte strings (`const char*`). A null pointer reads
  as an empty text. No export checks its arguments: each field cuts or pads
  what it gets, and the printer's status byte is the only verdict on a
  command.
- Numbers travel as decimal text, and one-character options as the first
  character of a text; `ecf_CupomStub` alone takes an integer by value.
- Every export holds one process-wide lock for its whole call: calls from
  several threads run one after another.
- `@Log@C6_4` and `@Log@C6_5` have names no C identifier can spell: reach
  them by name (`dlsym`, `GetProcAddress`); a host has no reason to call them.

### How a frame is written

A command frame is ESC (27), `f` (102), the two digits of the command code,
then the command's fields at fixed byte offsets (offset 0 is the ESC). It is
sent as exactly its length in bytes: no terminator, no checksum. The reply is
one status byte for every command but the register read, which gets 30
bytes. Each field kind turns a parameter into bytes in one way:

| Kind | What the field gets |
|---|---|
| character | the first byte of the text; an empty text sends the byte 0 |
| left-aligned text of N | the first N bytes of the text; a shorter text is padded with blanks on the right |
| right-aligned text of N | the first N bytes of the text (a longer text loses its end, not its start); a shorter text is padded with blanks on the left |
| number of N digits | the text read as a number by the decimal text rule, written with at least N digits, zeros on the left; only N characters belong to the field, so a value of more digits leaves its first N |
| integer, 8 digits | the integer passed by value, written the same way |
| free text | as many bytes of the text as the count field in front of it says, zero bytes after the text's end |
| constant byte | a byte of the command's own |
| layout number | a number from the cheque layout file's section |

The decimal text rule: leading blanks are skipped, one sign is taken, then
digits up to the first non-digit; a text without digits gives 0; a value
beyond 32 bits wraps. So `"007"` gives 7, `" -3"` gives -3, `"12,90"` gives
12 and `"X"` gives 0.

In the examples below a blank is shown as `␣`, a run of N blanks as `␣{N}`,
the zero byte as `\0` (a run of N as `\0{N}`) and the escape byte as `ESC`.

)";

// What a host should know of a failed exchange and of the files it names;
// the settling times are the driver's own constants.
std::string Cautelas() {
    return R"(### After a failed exchange

The protocol has no sequence numbers: nothing in a reply says which frame it
answers. After a send or a receive fails, the driver reads and drops what the
printer still sends until the line has been quiet for )" +
           std::to_string(SilencioAposFalhaMs) + " ms (" + std::to_string(LimiteAssentarMs / 1000) +
           R"( s at most in
all), then purges both queues. A reply later than that still arrives, and
the next exchange takes it as its own: a printer 4.5 s late on a 2-second
time-out hands its status byte, or another register's 30 bytes, to the next
command. So after a time-out (10) or another line failure:

1. Call `ecf_EstadoImpressora` until it returns a status byte rather than a
   line failure. A late reply may be taken by one of these calls; that is
   what they are for.
2. Then retry the command that failed. A command that changes the receipt
   (a sale, a payment) may have been carried out although its reply was
   lost: the printer's registers (`ecf_LeRegistrador`) tell.

### Files the host names

The readouts of `ecf_LeECF` (types 4 to 7) and `ecf_LeCMC7` open their path
as the host names it: a symbolic link there is followed, and an existing
file is emptied and written. Whoever can write the directory can put a link
there to any file the host may write. Choose a directory that other users
cannot write (not `/tmp`). The cheque layout file is only read.

<a id="contents"></a>

## Contents

)";
}

const std::string Codigos = R"(<a id="result-codes"></a>

## Result codes

One signed 32-bit range holds both the printer's status byte (0 to 255,
handed back as it came) and the driver's own codes. Nothing in a result marks
which of the two it is: an export that sent its frame and got the whole reply
returns the printer's byte; one that did not returns a driver code.

The status byte's values are the printer's, not the driver's: the printer's
manual says what each means, and this reference cannot. In the words every
binding's meaning function uses: )"
    "\"" + std::string(descricao::TextoStatus) + ".\"\n\n" + descricao::StatusQueODriverUsa + R"(

Every binding's meaning function gives the same text for the same number:
with no export named, from 0 to 255 the status byte's words and then the
driver code's of the same number, joined by ")" + descricao::SeparadorDeLeituras + R"("; for an export, every
reading of its results that applies, joined the same way. The simulator's
status values are the simulator's own (`tools/MANUAL.md`, "Answers").

| Code | Constant | Meaning |
|---|---|---|
)";

const char* const Sobreposicoes = R"(
### Where the two ranges meet

- **2**: the driver's "port not open" (nothing was sent) and a status byte
  of 2. A host that keeps track of its own `ecf_InicializaDLL` (33) knows
  which: with the port open, a 2 from a command is the printer's. For
  `ecf_LeCMC7` the printer's 2 means "the CMC-7 line follows" and never
  reaches the host: the driver reads the line and returns 33.
- **10**: a status byte of 10 is "busy" (the printer is printing a report),
  while the driver's 10 is a reply that did not arrive within the time-out.
  The report wait of `ecf_Relatorio_XZ` treats both alike and polls again.
- **33**: the driver's success of a step of its own (`ecf_InicializaDLL`,
  `ecf_FinalizaDLL`, `ecf_LeRegistrador`, the readouts of `ecf_LeECF` and
  `ecf_LeCMC7`) and the printer's 33 to an X reading (`ecf_Relatorio_XZ`
  type 1: report accepted; the driver then waits for the printer and returns
  33).
- **1**: the driver's "port open already" comes only from
  `ecf_InicializaDLL`; from a command, 1 is the printer's byte.
- **3 to 29**: from an export that sends a frame, the line failures (4, 6 to
  19, 29) and the printer's bytes of the same values can only be told apart
  with the diagnostic log (`ecf_LogSerial`): a failure leaves an `Erro DLL`
  record and no `RX` record. 3 comes only from `ecf_InicializaDLL`; 20 to 28
  only from the cheque and readout exports, and then before anything is sent.

<a id="text-encoding"></a>

## Text encoding

Texts pass through the driver as bytes, unconverted: no code-page
conversion, no case change, no test for digits. Whatever bytes the host
passes are the bytes the printer gets, so the host writes its texts in the
printer's code page; for the Latin letters of Portuguese that is a
single-byte code page (the diagnostic log's own texts are in Windows-1252:
`ç` is the byte 231, `ã` 227). A UTF-8 text sends two bytes per accented
letter, and a field of N bytes then holds fewer than N letters. The bindings
take bytes as they are and make the caller name an encoding for a string.
The examples of this reference and of every binding use one code page,
ISO-8859-1 (Latin-1): `ç` is the byte 231, `ã` 227. Use the one your
printer's manual names.

<a id="codes-of-the-printers-programming"></a>

## Codes of the printer's programming

The tax code of an item (`aliquota` of `ecf_VendaItem`, such as `"T1"`) and
the payment form of a payment (`forma` of `ecf_Pagamento` and the linked
slips, such as `"01"`) name entries of the printer's own programming: the tax
rates loaded with `ecf_CargaAliquota` and `ecf_DefineAliquota`, and the
payment forms named with `ecf_FormaPagamento` (`ecf_FormaPagamento("1",
"DINHEIRO")` names form `01`). Which codes exist is the printer's, set when
it is programmed; the driver sends them as written. The simulator accepts any
code and prints it on its roll as it came.

<a id="number-formats"></a>

## Number formats

The driver converts only the fields of the kind "number" (the decimal text
rule above) and the integer of `ecf_CupomStub`; every other number is a text
field, sent as written. Amounts are written as digits only, with implied
decimals, as the examples here, the tools (`vltx`, `./run demo`) and the
tests write them:

| What | Format | Example |
|---|---|---|
| quantity (`ecf_VendaItem`) | three implied decimals | `"1000"` = 1,000 unit |
| unit price (`ecf_VendaItem`) | as many implied decimals as `casas` says | `"1590"` with `casas` `"2"` = 15,90 |
| payments, discounts, surcharges, document and slip values | centavos | `"2000"` = 20,00 |
| tax rate | hundredths of a percent | `"1800"` = 18,00 % |
| date, time | `DDMMYYYY`, `HHMMSS` | `"07012026"`, `"143000"` |
| numbered options (payment form, tax rate index, count) | decimal, the field's digits | `"1"` → `01` |

A comma or a dot is a byte like any other in a text field: `"12,90"` in the
price sends `␣␣␣␣12,90`, which the `casas` field then contradicts; in a field
of the kind "number" the decimal text rule stops at the comma (`"12,90"`
gives 12). The cheque's value is the one amount printed as written, with its
separators (`"1.234,56"`).

The simulator, `vltx-sim`, expects the same: it prints every field on its
paper roll as it came, blanks of the alignment trimmed, and interprets none of
the amounts; it reads only the register number of `ecf_LeRegistrador` and the
report type of `ecf_Relatorio_XZ`. Its registers count receipts (1), items
(2), cancelled items (3), X readings (4), Z reductions (5) and payments (6);
`ecf_LeRegistrador` gets the register number in 3 digits and then its value
in 27 (`tools/MANUAL.md`).
)";

std::vector<ArquivoGerado> Gera(const Modelo& m) {
    std::string s = "<!-- Generated by vltx-ref from src/driver/comandos.h and src/driver/descricao.h: do not edit.\n"
        "     Regenerate with `cmake --build BUILD --target referencia`. -->\n\n";
    s += Introducao;
    s += Cautelas();
    std::map<Grupo, std::vector<const ExportacaoModelo*>> grupos;
    std::vector<Grupo> ordem;
    for (const ExportacaoModelo& e : m.Exportacoes) {
        if (grupos.find(e.Desc->Familia) == grupos.end()) ordem.push_back(e.Desc->Familia);
        grupos[e.Desc->Familia].push_back(&e);
    }
    for (Grupo g : ordem) {
        s += "- " + std::string(TituloDoGrupo(g)) + ": ";
        bool primeiro = true;
        for (const ExportacaoModelo* e : grupos[g]) {
            s += std::string(primeiro ? "" : ", ") + "[" + Codigo(e->Nome) + "](#" + Ancora(e->Nome) + ")";
            primeiro = false;
        }
        s += "\n";
    }
    s += "- [Result codes](#result-codes), [text encoding](#text-encoding), [codes of the printer's programming](#codes-of-the-printers-programming), [number formats](#number-formats)\n\n";
    for (Grupo g : ordem) {
        s += "## " + std::string(TituloDoGrupo(g)) + "\n\n";
        for (const ExportacaoModelo* e : grupos[g]) {
            s += "<a id=\"" + Ancora(e->Nome) + "\"></a>\n\n### " + Codigo(e->Nome) + "\n\n" + e->Desc->Proposito +
                 "\n\n```c\n" + Declaracao(*e) + "\n```\n\n";
            Parametros(s, *e);
            Quadro(s, *e);
            Resultados(s, *e);
        }
    }
    s += Codigos;
    for (const CodigoDriver& c : descricao::Codigos)
        s += "| " + std::to_string(c.Codigo) + " | " + Codigo(c.Constante) + " | " + c.Significado + " |\n";
    s += "| 0 to 255 | | from an export that sent its frame and got the whole reply: " + std::string(descricao::TextoStatus) +
         " |\n";
    s += Sobreposicoes;
    return {{"docs/reference.md", s}};
}

}  // namespace

extern const Emissor EmissorReferencia = {"reference", Gera};
