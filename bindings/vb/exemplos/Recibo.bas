Attribute VB_Name = "Recibo"
' A receipt from VB6 or VBA, every result checked (with vltxdrv.bas in the
' project). Try it without a printer: x86\vltx-sim.exe --tcp 127.0.0.1:9100,
' then ImprimeRecibo "socket://127.0.0.1:9100".
' Quantities and amounts are digits with the decimal point implied: "1000" is
' a quantity of 1.000, "1590" is 15,90.
Option Explicit

Private Function Confere(ByVal Chamada As String, ByVal Resultado As Long, ByVal Esperado As Long) As Boolean
    Debug.Print Chamada & " " & Resultado & " " & VltxSignificado(Resultado)
    Confere = (Resultado = Esperado)
End Function

Public Function ImprimeRecibo(ByVal Porta As String) As Boolean
    Dim Registro As String
    Dim Ok As Boolean
    If Not Confere("ecf_InicializaDLL", ecf_InicializaDLL(Porta), VLTX_OK) Then Exit Function
    Ok = Confere("ecf_ImprimeCabecalho", ecf_ImprimeCabecalho(), 0)
    If Ok Then Ok = Confere("ecf_VendaItem", ecf_VendaItem("7891234567895", "CAFE 500G", "1000", "1590", "T1", "UN", "2"), 0)
    If Ok Then Ok = Confere("ecf_VendaItem", ecf_VendaItem("7896005800010", "LEITE 1L", "2000", "459", "T2", "UN", "2"), 0)
    If Ok Then Ok = Confere("ecf_Pagamento", ecf_Pagamento("01", "DINHEIRO", "3000"), 0)
    If Ok Then Ok = Confere("ecf_FechaCupom", ecf_FechaCupom("OPERADOR"), 0)
    If Ok Then
        ' Register 2: the items sold, 30 digits behind the register's number.
        Registro = String(VLTX_REGISTRADOR_TAMANHO, vbNullChar)
        Ok = Confere("ecf_LeRegistrador", ecf_LeRegistrador("002", Registro), VLTX_OK)
        If Ok Then Debug.Print "register 002 " & Left$(Registro, 30)
    End If
    ' Closed even after a failure, so that the next program gets the port.
    ImprimeRecibo = Confere("ecf_FinalizaDLL", ecf_FinalizaDLL(), VLTX_OK) And Ok
End Function
