{ A lane's two transactions through VqhwLib, on port 1:
    example mifare   the entry record of a MIFARE ONE card (sector 1, key A)
    example cpu      the CPU card's balance, and the PSAM's terminal number
  Exit code 0 on success, 1 on a failure (printed with the library's code). }
program example;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}

uses
  SysUtils, VqhwLib;

function HexOfText(text: PAnsiChar): string;
begin
  Result := '';
  while text^ <> #0 do
  begin
    Result := Result + IntToHex(Ord(text^), 2);
    Inc(text);
  end;
end;

procedure Check(const call: string; result: TVqhwInt);
var
  message: array[0..63] of AnsiChar;
begin
  if result = VQHW_OK then Exit;
  getvqicerror(message);
  { The message is GBK; shown here as its bytes' hex, which any terminal shows. }
  Writeln(call, ' -> ', result, ' (message bytes ', HexOfText(message), ')');
  Halt(1);
end;

function Apdu(toPsam: Boolean; const command: AnsiString; out sw: AnsiString): AnsiString;
var
  data: array[0..1023] of AnsiChar;
  status: array[0..15] of AnsiChar;
begin
  if toPsam then
    Check('SAM_COMMAND_H', SAM_COMMAND_H(PAnsiChar(command), data, status))
  else
    Check('PRO_COMMAND_H', PRO_COMMAND_H(PAnsiChar(command), data, status));
  sw := AnsiString(status);
  Result := AnsiString(data);
end;

procedure EntryRecord;
const
  KeyA: array[0..5] of Byte = ($A0, $A1, $A2, $A3, $A4, $A5);
var
  cardRecord: array[0..4] of Byte;
  block: array[0..15] of Byte;
  i: Integer;
begin
  Check('opencard', opencard(@cardRecord[0]));
  Writeln('card ', IntToHex(cardRecord[0], 2), IntToHex(cardRecord[1], 2), IntToHex(cardRecord[2], 2),
          IntToHex(cardRecord[3], 2), ', SAK ', IntToHex(cardRecord[4], 2));
  Check('loadkey', loadkey(VQHW_KEY_A, 1, @KeyA[0]));
  Check('readblock', readblock(0, 4, @block[0]));
  Write('entry record ');
  for i := 0 to 15 do Write(IntToHex(block[i], 2));
  Writeln;
  closecard;
end;

procedure Balance;
var
  cardText: array[0..15] of AnsiChar;
  sw: AnsiString;
  balanceHex: AnsiString;
begin
  Check('opencard_h', opencard_h(cardText));
  Writeln('card and SAK ', cardText);
  Apdu(False, '00A4040006A00000099901', sw);
  balanceHex := Apdu(False, '805C000204', sw);
  Writeln('balance ', StrToInt('$' + string(balanceHex)), ', SW ', sw);
  Writeln('PSAM terminal number ', Apdu(True, '00B0960006', sw), ', SW ', sw);
  closecard;
end;

begin
  Check('open_reader', open_reader(1, 0));
  if ParamStr(1) = 'cpu' then Balance else EntryRecord;
  Check('close_reader', close_reader);
end.
