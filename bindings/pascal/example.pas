{ A lane's two transactions through VqhwLib, on port 1:
    example entry      the MIFARE ONE entry record
    example purchase   the toll from the CPU card's electronic purse
  The keys and cards are those of the virtual reader's field files:
  `vqhw-sim --field sim/examples/lane.json` for entry (sector 1: key A
  A0A1A2A3A4A5 reads, key B B0B1B2B3B4B5 writes), `vqhw-sim --field
  sim/examples/cpu-card.json` for purchase (a purse of 250.00, a PSAM).
  Point VQHW_COM1 at the path vqhw-sim prints. Exit code 0 on success, 1 on
  a failure (printed in English, and the library's GBK message as UTF-8).
  Compiles in Delphi mode and in Free Pascal's objfpc mode. }
program example;

uses
  {$IFDEF UNIX} cwstring, {$ENDIF} { the code page 936 conversion, through iconv }
  SysUtils, VqhwLib;

const
  Port = 1;
  Amount = 1500;  { the toll in fen (cents): 15.00 }

{ The library's GBK text as the terminal's text. }
function FromGbk(const text: AnsiString): string;
var
  raw: RawByteString;
begin
  raw := text;
  SetCodePage(raw, 936, False);
  FromGbk := string(UnicodeString(raw));
end;

function Hex(value: Cardinal; digits: Integer): AnsiString;
begin
  Hex := AnsiString(IntToHex(value, digits));
end;

{ Bytes start..start+count-1 of a hex text. }
function Bytes(const text: AnsiString; start, count: Integer): AnsiString;
begin
  Bytes := Copy(text, 2 * start + 1, 2 * count);
end;

function Number(const text: AnsiString): Cardinal;
begin
  Number := StrToInt64('$' + string(text));
end;

{ An APDU as hex text; the reply's data (hex), which must end in 90 00.
  A PSAM on contacts answers 61 xx: the data is fetched with GET RESPONSE. }
function Apdu(toPsam: Boolean; const command, what: AnsiString): AnsiString;
var
  data: array[0..VQHW_REPLY_TEXT_SIZE - 1] of AnsiChar;
  sw: array[0..VQHW_STATUS_WORD_TEXT_SIZE - 1] of AnsiChar;
begin
  if toPsam then
  begin
    Check('SAM_COMMAND_H', SAM_COMMAND_H(PAnsiChar(command), data, sw));
    if Copy(AnsiString(sw), 1, 2) = '61' then
      Check('SAM_COMMAND_H', SAM_COMMAND_H(PAnsiChar('00C00000' + Copy(AnsiString(sw), 3, 2)), data, sw));
  end
  else
    Check('PRO_COMMAND_H', PRO_COMMAND_H(PAnsiChar(command), data, sw));
  if AnsiString(sw) <> '9000' then raise Exception.Create(string(what) + ': the card answered SW ' + string(AnsiString(sw)));
  Apdu := AnsiString(data);
end;

{ Polls the field until a vehicle's card is there. }
procedure WaitForCard(out cardRecord: array of Byte);
begin
  while True do
    try
      Check('opencard', opencard(@cardRecord[0]));
      Exit;
    except
      on failure: EVqhw do
        if failure.Code = VQHW_NO_CARD then Sleep(200) else raise;
    end;
end;

procedure ShowCard(const cardRecord: array of Byte);
begin
  Writeln('card ', IntToHex(cardRecord[0], 2), IntToHex(cardRecord[1], 2), IntToHex(cardRecord[2], 2),
          IntToHex(cardRecord[3], 2), ', SAK ', IntToHex(cardRecord[4], 2));
end;

function Now14: AnsiString;  { YYYYMMDDhhmmss: BCD date (4 bytes) and time (3) }
begin
  Now14 := AnsiString(FormatDateTime('yyyymmddhhnnss', Now));
end;

procedure Entry;
const
  KeyA: array[0..VQHW_KEY_SIZE - 1] of Byte = ($A0, $A1, $A2, $A3, $A4, $A5);
var
  cardRecord: array[0..VQHW_CARD_RECORD_SIZE - 1] of Byte;
  text: array[0..VQHW_BLOCK_TEXT_SIZE - 1] of AnsiChar;
  entryRecord: AnsiString;
begin
  WaitForCard(cardRecord);
  ShowCard(cardRecord);
  Check('loadkey', loadkey(VQHW_KEY_A, 1, @KeyA[0]));
  Check('readblock_h', readblock_h(0, 4, text));
  Writeln('entry record ', text);
  { Station 0042, lane 07, entry, vehicle class 1, the date and time; 16 bytes. }
  entryRecord := '0042070101' + Now14 + '00000000';
  Check('loadkey_h', loadkey_h(VQHW_KEY_B, 1, 'B0B1B2B3B4B5'));
  Check('writeblock_h', writeblock_h(0, 5, PAnsiChar(entryRecord)));
  Check('readblock_h', readblock_h(0, 5, text));
  if AnsiString(text) <> entryRecord then raise Exception.Create('the record read back differs');
  Writeln('written to block 5 ', entryRecord);
  closecard;
end;

procedure Purchase;
var
  cardRecord: array[0..VQHW_CARD_RECORD_SIZE - 1] of Byte;
  issuer, terminal, start, counter, random, when, mac1Input, mac1Reply, debit: AnsiString;
begin
  WaitForCard(cardRecord);
  ShowCard(cardRecord);
  Apdu(False, '00A4040006A00000099901', 'SELECT the toll application');
  issuer := Apdu(False, '00B0950000', 'READ BINARY EF 0015');               { 30 bytes }
  terminal := Apdu(True, '00B0960006', 'READ BINARY the terminal number');  { 6 bytes }
  Apdu(True, '00A40000021001', 'SELECT the PSAM''s purchase application');

  { INITIALIZE FOR PURCHASE: key index 01, amount (4), terminal number (6). Its
    reply: balance (4), offline counter (2), overdraft limit (3), key version (1),
    algorithm (1), pseudo-random number (4). }
  start := Apdu(False, '805001020B01' + Hex(Amount, 8) + terminal + '0F', 'INITIALIZE FOR PURCHASE');
  counter := Bytes(start, 4, 2);
  random := Bytes(start, 11, 4);
  Writeln('balance ', Format('%.2f', [Number(Bytes(start, 0, 4)) / 100]), ', counter ', Number(counter));

  { MAC1 from the PSAM: 36 bytes of input. }
  when := Now14;
  mac1Input := random + counter + Hex(Amount, 8) + '06' { purchase } + when + Bytes(start, 9, 2) +
               Bytes(issuer, 12, 8) { the application serial's last 8 } + Bytes(issuer, 0, 8) { issuer };
  mac1Reply := Apdu(True, '8070000024' + mac1Input + '08', 'MAC1');      { terminal serial (4), MAC1 (4) }

  { DEBIT FOR PURCHASE: terminal serial (4), date (4), time (3), MAC1 (4). Its reply: TAC (4), MAC2 (4). }
  debit := Apdu(False, '805401000F' + Bytes(mac1Reply, 0, 4) + when + Bytes(mac1Reply, 4, 4) + '08',
                'DEBIT FOR PURCHASE');
  Apdu(True, '8072000004' + Bytes(debit, 4, 4), 'the PSAM''s check of MAC2');
  Writeln('paid ', Format('%.2f', [Amount / 100]), ': balance ',
          Format('%.2f', [Number(Apdu(False, '805C000204', 'GET BALANCE')) / 100]), ', TAC ', Bytes(debit, 0, 4));
  closecard;
end;

begin
  if (ParamStr(1) <> 'entry') and (ParamStr(1) <> 'purchase') then
  begin
    Writeln('usage: example entry|purchase');
    Halt(64);
  end;
  try
    Check('open_reader', open_reader(Port, 0), 'tried ' + VqhwDeviceOf(Port));
    try
      if ParamStr(1) = 'entry' then Entry else Purchase;
    finally
      close_reader;
    end;
  except
    on failure: EVqhw do
    begin
      Writeln('failed: ', failure.Message);
      Writeln('the library says: ', FromGbk(failure.Text));
      Halt(1);
    end;
  end;
end.
