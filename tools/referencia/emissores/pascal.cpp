// The Pascal binding's unit, bindings/pascal/vltxdrv.pas, for Delphi and Free
// Pascal: every export as an external routine (stdcall on Windows, cdecl
// elsewhere), the driver's result codes and buffer sizes as constants, and
// VltxSignificado, the meaning of a driver code. The two "@Log@" exports are
// imported by name on Windows; elsewhere the linker would read their "@" as a
// symbol version, so the unit looks them up in the loaded library instead.
#include "emissor.h"

namespace {

std::string Literal(const std::string& s) {
    std::string r = "'";
    for (char c : s) {
        if (c == '\'') r += '\'';
        r += c;
    }
    return r + "'";
}

std::string Comentario(const std::string& texto, const std::string& recuo) {
    std::string s, linha;
    for (char c : texto) {
        if (c != '\n') {
            linha += c;
            continue;
        }
        s += recuo + (linha.empty() ? "//" : "// " + linha) + "\n";
        linha.clear();
    }
    return s;
}

std::string TipoPascal(Papel p) {
    switch (p) {
        case Papel::Inteiro: return "Int32";
        default: return "PAnsiChar";
    }
}

bool SoPorNome(const ExportacaoModelo& e) { return e.Nome.find('@') != std::string::npos; }

std::string Cabecalho(const ExportacaoModelo& e) {
    std::string s = e.SemRetorno ? "procedure " : "function ";
    s += SoPorNome(e) ? NomeCurto(e.Nome) : e.Nome;
    if (!e.Parametros.empty()) {
        s += "(";
        for (std::size_t i = 0; i < e.Parametros.size(); ++i)
            s += (i > 0 ? "; " : "") + e.Parametros[i].Nome + ": " + TipoPascal(e.Parametros[i].Tipo);
        s += ")";
    }
    if (!e.SemRetorno) s += ": Int32";
    return s + ";";
}

std::string Declaracao(const ExportacaoModelo& e) {
    const std::string externa = Cabecalho(e) + " {$IFDEF MSWINDOWS}stdcall;{$ELSE}cdecl;{$ENDIF}\n  external VltxBiblioteca name " +
                                Literal(e.Nome) + ";\n";
    if (!SoPorNome(e)) return externa;
    return "{$IFDEF MSWINDOWS}\n" + externa + "{$ELSE}\n" + Cabecalho(e) + "\n{$ENDIF}\n";
}

// The "@Log@" exports outside Windows: looked up by name at each call.
std::string PorNome(const Modelo& m) {
    std::string s =
        "{$IFNDEF MSWINDOWS}\n"
        "type\n"
        "  TRotinaSemParametros = procedure; cdecl;\n\n"
        "procedure ChamaPorNome(const Nome: AnsiString);\n"
        "var\n"
        "{$IFDEF FPC}\n"
        "  Biblioteca: TLibHandle;\n"
        "{$ELSE}\n"
        "  Biblioteca: HMODULE;\n"
        "{$ENDIF}\n"
        "  Rotina: TRotinaSemParametros;\n"
        "begin\n"
        "  Biblioteca := LoadLibrary(VltxBiblioteca);\n"
        "{$IFDEF FPC}\n"
        "  if Biblioteca = NilHandle then\n"
        "{$ELSE}\n"
        "  if Biblioteca = 0 then\n"
        "{$ENDIF}\n"
        "    raise Exception.Create(VltxBiblioteca + ' cannot be loaded');\n"
        "  try\n"
        "{$IFDEF FPC}\n"
        "    Rotina := TRotinaSemParametros(GetProcedureAddress(Biblioteca, Nome));\n"
        "{$ELSE}\n"
        "    Rotina := TRotinaSemParametros(GetProcAddress(Biblioteca, PChar(string(Nome))));\n"
        "{$ENDIF}\n"
        "    if not Assigned(Rotina) then\n"
        "      raise Exception.Create(string(Nome) + ' is not in ' + VltxBiblioteca);\n"
        "    Rotina;\n"
        "  finally\n"
        "{$IFDEF FPC}\n"
        "    UnloadLibrary(Biblioteca);\n"
        "{$ELSE}\n"
        "    FreeLibrary(Biblioteca);\n"
        "{$ENDIF}\n"
        "  end;\n"
        "end;\n";
    for (const ExportacaoModelo& e : m.Exportacoes)
        if (SoPorNome(e)) s += "\n" + Cabecalho(e) + "\nbegin\n  ChamaPorNome(" + Literal(e.Nome) + ");\nend;\n";
    return s + "{$ENDIF}\n\n";
}

std::string Unidade(const Modelo& m) {
    std::string s = AvisoGerado("//");
    s += "//\n"
         "// The exports of the vltxdrv fiscal printer driver, for Delphi and Free Pascal.\n"
         "// Texts are NUL-terminated byte strings (PAnsiChar) passed to the printer\n"
         "// unconverted: convert to the printer's code page before the call. Every\n"
         "// export returns the printer's status byte (0 to 255) or one of the driver's\n"
         "// codes below; the two ranges overlap (docs/reference.md#result-codes).\n"
         "unit vltxdrv;\n\n"
         "{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}\n\n"
         "interface\n\n"
         "const\n"
         "{$IFDEF MSWINDOWS}\n"
         "  VltxBiblioteca = 'vltxdrv.dll';\n"
         "{$ELSE}\n"
         "  VltxBiblioteca = 'libvltxdrv.so';\n"
         "{$ENDIF}\n\n"
         "  // The driver's own result codes.\n";
    for (const CodigoDriver& c : descricao::Codigos)
        s += "  " + std::string(c.Constante) + " = " + std::to_string(c.Codigo) + ";\n";
    s += "\n  // The buffers the driver writes into: their sizes, the NUL included.\n";
    for (const ExportacaoModelo& e : m.Exportacoes)
        for (const ParametroModelo& p : e.Parametros)
            if (p.Tipo == Papel::Buffer)
                s += "  " + std::string(p.Proprio->ConstanteTamanho) + " = " + std::to_string(p.Proprio->Tamanho) +
                     ";  // " + e.Nome + "\n";
    s += "\n  // What every status byte is.\n  VltxStatus = " + Literal(descricao::TextoStatus) +
         ";\n  // The answers the driver itself acts on.\n  VltxStatusQueODriverUsa = " +
         Literal(descricao::StatusQueODriverUsa) + ";\n";
    s += "\n" +
         Comentario(std::string("What a number means when no export is named: from 0 to 255 VltxStatus, then the\n"
                                "driver's code of the same number, joined by '") +
                        descricao::SeparadorDeLeituras + "'; '' for any other number.\n" +
                        descricao::StatusQueODriverUsa + "\n",
                    "") +
         "function VltxSignificado(Codigo: Int32): string;\n";
    for (const ExportacaoModelo& e : m.Exportacoes) s += "\n" + Comentario(ResumoEmTexto(e), "") + Declaracao(e);
    s += "\nimplementation\n\n"
         "{$IFNDEF MSWINDOWS}\n"
         "uses\n"
         "  {$IFDEF FPC}dynlibs,{$ENDIF} SysUtils;\n"
         "{$ENDIF}\n\n" +
         PorNome(m) +
         "function VltxSignificado(Codigo: Int32): string;\n"
         "begin\n"
         "  if (Codigo < 0) or (Codigo > 255) then\n"
         "  begin\n"
         "    Result := '';\n"
         "    Exit;\n"
         "  end;\n"
         "  Result := VltxStatus;\n"
         "  case Codigo of\n";
    for (const CodigoDriver& c : descricao::Codigos)
        s += "    " + std::string(c.Constante) + ": Result := Result + " +
             Literal(std::string(descricao::SeparadorDeLeituras) + c.Significado) + ";\n";
    s += "  end;\n"
         "end;\n\n"
         "end.\n";
    return s;
}

std::vector<ArquivoGerado> Gera(const Modelo& m) { return {{"bindings/pascal/vltxdrv.pas", Unidade(m)}}; }

}  // namespace

extern const Emissor EmissorPascal = {"pascal", Gera};
