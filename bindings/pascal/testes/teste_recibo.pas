// The Pascal unit against vltx-sim: a receipt, a register read, the results
// and the simulator's paper roll. Run by com_simulador.sh (VLTX_PORT, VLTX_PAPER).
program teste_recibo;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

uses
  SysUtils, Classes, vltxdrv;

var
  Falhas: Integer = 0;

procedure Espera(const Oque: string; Obtido, Esperado: Int64); overload;
begin
  if Obtido <> Esperado then
  begin
    WriteLn('FAIL ', Oque, ': ', Obtido, ', expected ', Esperado);
    Inc(Falhas);
  end;
end;

procedure Espera(const Oque: string; const Obtido, Esperado: AnsiString); overload;
begin
  if Obtido <> Esperado then
  begin
    WriteLn('FAIL ', Oque, ': "', Obtido, '", expected "', Esperado, '"');
    Inc(Falhas);
  end;
end;

procedure NoPapel(const Papel: AnsiString; const Linha: AnsiString);
begin
  if Pos(Linha, Papel) = 0 then
  begin
    WriteLn('FAIL the paper roll lacks "', Linha, '"');
    Inc(Falhas);
  end;
end;

function LeArquivo(const Caminho: string): AnsiString;
var
  F: TFileStream;
begin
  F := TFileStream.Create(Caminho, fmOpenRead or fmShareDenyNone);
  try
    SetLength(Result, F.Size);
    if F.Size > 0 then F.ReadBuffer(Result[1], F.Size);
  finally
    F.Free;
  end;
end;

var
  Porta, Papel: AnsiString;
  Versao: array[0..VLTX_VERSAO_TAMANHO - 1] of AnsiChar;
  Resposta: array[0..VLTX_REGISTRADOR_TAMANHO - 1] of AnsiChar;
begin
  Porta := AnsiString(GetEnvironmentVariable('VLTX_PORT'));
  if Porta = '' then
  begin
    WriteLn('FAIL VLTX_PORT is not set: run under com_simulador.sh');
    Halt(1);
  end;

  // No port needed; 15 characters and the NUL fill the buffer exactly.
  FillChar(Versao, SizeOf(Versao), 'x');
  Espera('ecf_VersaoDLL', ecf_VersaoDLL(@Versao[0]), 15);
  Espera('the version text', PAnsiChar(@Versao[0]), 'Veltrix - V2.60');

  // The two exports no identifier can spell resolve by name (a counter up, then down).
  LogC6_5;
  LogC6_4;

  Espera('a command before the port is open', ecf_EstadoImpressora, VLTX_NAO_ABERTA);
  Espera('a missing device', ecf_InicializaDLL('/nonexistent/ecf'), VLTX_ERRO_ABRIR);
  Espera('ecf_InicializaDLL', ecf_InicializaDLL(PAnsiChar(Porta)), VLTX_OK);
  Espera('ecf_InicializaDLL again', ecf_InicializaDLL(PAnsiChar(Porta)), VLTX_JA_ABERTA);

  Espera('ecf_ImprimeCabecalho', ecf_ImprimeCabecalho, 0);
  // The printer's code page is Latin-1 here: #$C9 is an E with an acute accent.
  Espera('ecf_VendaItem 1', ecf_VendaItem('7891234567895', 'CAF'#$C9' 500G', '1000', '1590', 'T1', 'UN', '2'), 0);
  Espera('ecf_VendaItem 2', ecf_VendaItem('7896005800010', 'LEITE 1L', '2000', '459', 'T2', 'UN', '2'), 0);
  Espera('ecf_Pagamento', ecf_Pagamento('01', 'DINHEIRO', '2500'), 0);
  Espera('ecf_FechaCupom', ecf_FechaCupom('CAIXA01'), 0);

  // Register 2 counts the items sold.
  Espera('ecf_LeRegistrador', ecf_LeRegistrador('002', @Resposta[0]), VLTX_OK);
  Espera('the register''s answer', PAnsiChar(@Resposta[0]), '002000000000000000000000000002');
  Espera('ecf_FinalizaDLL', ecf_FinalizaDLL, VLTX_OK);
  Espera('a command after the port closed', ecf_EstadoImpressora, VLTX_NAO_ABERTA);
  Espera('a meaning', VltxSignificado(VLTX_NAO_ABERTA), VltxStatus + ' | the port is not open: nothing was sent');
  Espera('a status byte', VltxSignificado(0), VltxStatus);
  Espera('no meaning', VltxSignificado(256), '');

  Papel := LeArquivo(GetEnvironmentVariable('VLTX_PAPER'));
  NoPapel(Papel, 'CUPOM FISCAL 000001');
  NoPapel(Papel, 'item 001');
  NoPapel(Papel, 'descricao   CAF'#$C3#$89' 500G');
  NoPapel(Papel, 'preco       1590');
  NoPapel(Papel, 'item 002');
  NoPapel(Papel, 'descricao   LEITE 1L');
  NoPapel(Papel, 'valor      2500');
  NoPapel(Papel, 'receipt closed');
  NoPapel(Papel, 'operador  CAIXA01');
  NoPapel(Papel, 'answer 002000000000000000000000000002');

  if Falhas > 0 then
  begin
    WriteLn(Falhas, ' checks failed');
    Halt(1);
  end;
  WriteLn('pascal binding: all checks passed');
end.
