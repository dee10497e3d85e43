// A receipt through libvltxdrv: header, two items, a payment, closing, and a
// register read. Usage: recibo [PORT]   (default: $VLTX_PORT, else /tmp/ecf0)
program recibo;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

uses
  SysUtils, vltxdrv;

// Prints a call's result with what the driver's code means, and stops the
// receipt when it is not the printer's "done" (status 0).
procedure Confere(const Chamada: string; Resultado: Int32);
begin
  WriteLn(Chamada, ' = ', Resultado, '  ', VltxSignificado(Resultado));
  if Resultado <> 0 then
  begin
    ecf_FinalizaDLL;
    Halt(1);
  end;
end;

var
  Porta: AnsiString;
  Resposta: array[0..VLTX_REGISTRADOR_TAMANHO - 1] of AnsiChar;
  Resultado: Int32;
begin
  if ParamCount >= 1 then Porta := AnsiString(ParamStr(1))
  else Porta := AnsiString(GetEnvironmentVariable('VLTX_PORT'));
  if Porta = '' then Porta := '/tmp/ecf0';

  Resultado := ecf_InicializaDLL(PAnsiChar(Porta));
  if Resultado <> VLTX_OK then
  begin
    WriteLn('ecf_InicializaDLL(', Porta, ') = ', Resultado, '  ', VltxSignificado(Resultado));
    Halt(2);
  end;
  try
    // Amounts are digits with implied decimals: 1000 = 1 unit, 1590 = 15,90.
    Confere('ImprimeCabecalho', ecf_ImprimeCabecalho);
    Confere('VendaItem CAFE', ecf_VendaItem('7891234567895', 'CAFE 500G', '1000', '1590', 'T1', 'UN', '2'));
    Confere('VendaItem LEITE', ecf_VendaItem('7896005800010', 'LEITE 1L', '2000', '459', 'T2', 'UN', '2'));
    Confere('Pagamento', ecf_Pagamento('01', 'DINHEIRO', '2500'));
    Confere('FechaCupom', ecf_FechaCupom('CAIXA01'));
    Resultado := ecf_LeRegistrador('002', @Resposta[0]);
    WriteLn('LeRegistrador 002 = ', Resultado, '  ', PAnsiChar(@Resposta[0]));
  finally
    ecf_FinalizaDLL;
  end;
end.
