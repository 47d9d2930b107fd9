{ VqhwLib from Delphi and Free Pascal: the 47 exports of the toll lane's
  card reader library, as the library declares them.

  Every export takes 32-bit integers and pointers to the caller's buffers
  and returns a 32-bit result: 0 success, 1 no card in the field, -1 port
  or transport failure, other negative values the reader status itself;
  getvqicerror gives the message of the last status as GBK text.
  Buffer sizes are given beside each group. Hex texts are zero-terminated
  ASCII, two digits per byte.

  32-bit Windows calls the exports with the standard convention (stdcall);
  on 64-bit platforms there is one convention. The 32-bit library outside
  Windows uses the C convention, which this unit does not declare.

  Above the exports: the header's buffer sizes, and Check, which raises
  EVqhw (code, status, GBK message, English meaning, hint) for a failed
  result. The unit compiles in Delphi and in each Free Pascal mode
  (-Mdelphi, -Mobjfpc, -Mfpc); it keeps its own long strings. }
unit VqhwLib;

{$H+}
{$IFDEF FPC}
  { FPC's own mode has no classes or exceptions unless switched on. }
  {$MODESWITCH CLASS}
  {$MODESWITCH EXCEPTIONS}
{$ENDIF}

{$IF Defined(CPU386) and not Defined(MSWINDOWS)}
  {$MESSAGE ERROR 'VqhwLib: the 32-bit library outside Windows uses the C calling convention'}
{$IFEND}

interface

uses
  SysUtils;

type
{$IFDEF FPC}
  TVqhwInt = LongInt;   { 32 bits on every platform of Free Pascal }
{$ELSE}
  TVqhwInt = Integer;   { 32 bits on every platform of Delphi }
{$ENDIF}
  PVqhwInt = ^TVqhwInt;

const
{$IFDEF MSWINDOWS}
  VqhwLibName = 'VqhwLib.dll';
{$ELSE}
  {$IFDEF FPC}
  VqhwLibName = 'VqhwLib';        { linked as -lVqhwLib: libVqhwLib.so }
  {$ELSE}
  VqhwLibName = 'libVqhwLib.so';
  {$ENDIF}
{$ENDIF}

  VQHW_OK = 0;
  VQHW_NO_CARD = 1;
  VQHW_FAILED = -1;
  VQHW_KEY_A = 0;
  VQHW_KEY_B = 1;

  { The buffers the exports write, in bytes (the header's VQHW_..._SIZE). }
  VQHW_READER_INFO_SIZE = 123;      { getreaderinfo }
  VQHW_MESSAGE_SIZE = 49;           { getvqicerror }
  VQHW_CARD_RECORD_SIZE = 5;        { opencard: serial, SAK }
  VQHW_CARD_TEXT_SIZE = 11;         { opencard_h }
  VQHW_KEY_SIZE = 6;                { loadkey }
  VQHW_BLOCK_SIZE = 16;             { readblock, writeblock, writekey }
  VQHW_BLOCK_TEXT_SIZE = 33;        { readblock_h }
  VQHW_FILE_SIZE = 48;              { readfile: a card file holds 48 bytes }
  VQHW_FILE_TEXT_SIZE = 97;         { readfile_h }
  VQHW_REPLY_TEXT_SIZE = 491;       { pro_command_h, sam_command_h and the data of the split forms }
  VQHW_STATUS_WORD_TEXT_SIZE = 5;   { the status word of PRO_COMMAND_H and SAM_COMMAND_H }
  VQHW_DECODED_SIZE = 128;          { hextobin, hextoascii }
  VQHW_DATE_TIME_SIZE = 15;         { get_time, ltimetostime }

{$I VqhwLibStatus.inc}

type
  { An export failed: Code is its result; Status the library status it stands
    for (1 is -101; for -1 the message tells which); Text the library's
    message as GBK bytes (convert with CP936 to show it); Meaning the status
    in English; Hint what to try, or ''; Detail what Check was given, e.g.
    the device open_reader tried. Message holds the English line. }
  EVqhw = class(Exception)
  public
    Call: AnsiString;
    Code: TVqhwInt;
    Status: TVqhwInt;
    Text: AnsiString;
    Meaning: AnsiString;
    Hint: AnsiString;
    Detail: AnsiString;
  end;

{ Raises EVqhw unless code (an export's result) is VQHW_OK; call names the export. }
procedure Check(const call: AnsiString; code: TVqhwInt); overload;
procedure Check(const call: AnsiString; code: TVqhwInt; const detail: AnsiString); overload;
{ The library status an export's result stands for, given the message of getvqicerror. }
function VqhwStatusOf(code: TVqhwInt; const message: AnsiString): TVqhwInt;
{ The status in English, and what to try ('' where nothing helps). }
function VqhwMeaning(status: TVqhwInt): AnsiString;
function VqhwHint(status: TVqhwInt): AnsiString;
{ The device open_reader opens for port, and why that one: for Check's detail. }
function VqhwDeviceOf(port: TVqhwInt): AnsiString;

{ Reader connection. info: 123 bytes at least; message: 49 bytes at least. }
function open_reader(port, ignored: TVqhwInt): TVqhwInt; stdcall; external VqhwLibName name 'open_reader';
function close_reader: TVqhwInt; stdcall; external VqhwLibName name 'close_reader';
function getreaderinfo(text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'getreaderinfo';
function getvqicerror(text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'getvqicerror';

{ These do nothing and return 0. }
function changebaudrate(ignored: TVqhwInt): TVqhwInt; stdcall; external VqhwLibName name 'changebaudrate';
function selectadf: TVqhwInt; stdcall; external VqhwLibName name 'selectadf';
function enterdebug(ignored1, ignored2: TVqhwInt): TVqhwInt; stdcall; external VqhwLibName name 'enterdebug';
function close_pro: TVqhwInt; stdcall; external VqhwLibName name 'close_pro';

{ Reader control. SelectCardType takes Ord('0'), Ord('1') or Ord('2'). }
function SelectCardType(kindCharacter: TVqhwInt): TVqhwInt; stdcall; external VqhwLibName name 'SelectCardType';
function set_mmi(first, second, third: TVqhwInt): TVqhwInt; stdcall; external VqhwLibName name 'set_mmi';
function RF_reset_h: TVqhwInt; stdcall; external VqhwLibName name 'RF_reset_h';
function SAM_reset_h: TVqhwInt; stdcall; external VqhwLibName name 'SAM_reset_h';
function PRO_reset_h: TVqhwInt; stdcall; external VqhwLibName name 'PRO_reset_h';
function closecard: TVqhwInt; stdcall; external VqhwLibName name 'closecard';

{ Hex and numeric codecs. bytes of hextobin and hextoascii: 128 (127
  decoded and a zero); text of asciitohex: 2 * length + 1. }
function hextobin(text: PAnsiChar; bytes: PByte; count: PVqhwInt): TVqhwInt; stdcall; external VqhwLibName name 'hextobin';
function hextodec(character: TVqhwInt): TVqhwInt; stdcall; external VqhwLibName name 'hextodec';
function hextoascii(text: PAnsiChar; bytes: PByte): TVqhwInt; stdcall; external VqhwLibName name 'hextoascii';
function asciitohex(bytes: PByte; length: TVqhwInt; text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'asciitohex';
function asciitolong(fourBytes: PByte; value: PVqhwInt): TVqhwInt; stdcall; external VqhwLibName name 'asciitolong';
function longtoascii(value: TVqhwInt; fourBytes: PByte): TVqhwInt; stdcall; external VqhwLibName name 'longtoascii';
function hextoulong(ignored1, ignored2: Pointer): TVqhwInt; stdcall; external VqhwLibName name 'hextoulong';
function ulongtohex(ignored1, ignored2: Pointer): TVqhwInt; stdcall; external VqhwLibName name 'ulongtohex';
function hextouint(ignored1, ignored2: Pointer): TVqhwInt; stdcall; external VqhwLibName name 'hextouint';
function uinttohex(ignored1, ignored2: Pointer): TVqhwInt; stdcall; external VqhwLibName name 'uinttohex';
function straxorstrb(ignored1, ignored2, ignored3, ignored4: Pointer): TVqhwInt; stdcall; external VqhwLibName name 'straxorstrb';
function straxorstrb_h(ignored1, ignored2, ignored3: Pointer): TVqhwInt; stdcall; external VqhwLibName name 'straxorstrb_h';

{ Date and time texts: 15 bytes hold the decimal text. }
function get_time(text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'get_time';
function ltimetostime(value: TVqhwInt; text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'ltimetostime';
function stimetoltime(hexDateTime: PAnsiChar; value: PVqhwInt): TVqhwInt; stdcall; external VqhwLibName name 'stimetoltime';

{ APDUs as hex text. Pascal does not tell pro_command_h from PRO_COMMAND_H
  by case, so each pair is overloaded: two arguments are the one-text form,
  three the split form. reply and data: 2 * reply length + 1 (1024 hold any
  frame's reply); statusWord: 5 (four digits and a zero). }
function pro_command_h(apdu, reply: PAnsiChar): TVqhwInt; overload; stdcall; external VqhwLibName name 'pro_command_h';
function PRO_COMMAND_H(apdu, data, statusWord: PAnsiChar): TVqhwInt; overload; stdcall; external VqhwLibName name 'PRO_COMMAND_H';
function sam_command_h(apdu, reply: PAnsiChar): TVqhwInt; overload; stdcall; external VqhwLibName name 'sam_command_h';
function SAM_COMMAND_H(apdu, data, statusWord: PAnsiChar): TVqhwInt; overload; stdcall; external VqhwLibName name 'SAM_COMMAND_H';

{ MIFARE ONE. record: 5 bytes (serial, SAK); opencard_h text: 11. keyType
  0 = key A, 1 = key B; key: 6 bytes (12 digits). Blocks and trailers: 16
  bytes (32 digits; 33 bytes out). }
function opencard(recordOut: PByte): TVqhwInt; stdcall; external VqhwLibName name 'opencard';
function opencard_h(text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'opencard_h';
function loadkey(keyType, sector: TVqhwInt; key: PByte): TVqhwInt; stdcall; external VqhwLibName name 'loadkey';
function loadkey_h(keyType, sector: TVqhwInt; key: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'loadkey_h';
function readblock(ignored, block: TVqhwInt; data: PByte): TVqhwInt; stdcall; external VqhwLibName name 'readblock';
function readblock_h(ignored, block: TVqhwInt; text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'readblock_h';
function writeblock(ignored, block: TVqhwInt; data: PByte): TVqhwInt; stdcall; external VqhwLibName name 'writeblock';
function writeblock_h(ignored, block: TVqhwInt; text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'writeblock_h';
function writekey(ignored, sector: TVqhwInt; trailer: PByte): TVqhwInt; stdcall; external VqhwLibName name 'writekey';
function writekey_h(ignored, sector: TVqhwInt; text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'writekey_h';

{ Card files: fileId 4 digits ('0005' is file 5), keyId 2 digits (its high
  digit is the key selector); data: max(length, 4) bytes; text: 2 * length
  + 1 and at least 4. }
function readfile(fileId, keyId: PAnsiChar; offset, length: TVqhwInt; data: PByte): TVqhwInt; stdcall; external VqhwLibName name 'readfile';
function readfile_h(fileId, keyId: PAnsiChar; offset, length: TVqhwInt; text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'readfile_h';
function writefile(fileId, keyId: PAnsiChar; offset, length: TVqhwInt; data: PByte): TVqhwInt; stdcall; external VqhwLibName name 'writefile';
function writefile_h(fileId, keyId: PAnsiChar; offset, length: TVqhwInt; text: PAnsiChar): TVqhwInt; stdcall; external VqhwLibName name 'writefile_h';

implementation

function VqhwStatusOf(code: TVqhwInt; const message: AnsiString): TVqhwInt;
const
  { A result of -1 stands for any of these statuses; the message tells which. }
  StatusesOfMinusOne: array[0..9] of TVqhwInt = (-1, -7, -9, -10, -11, -12, -13, -14, -22, -23);
var
  i, j: Integer;
begin
  VqhwStatusOf := code;
  if code = VQHW_NO_CARD then
    VqhwStatusOf := -101
  else if code = VQHW_FAILED then
    for i := Low(StatusesOfMinusOne) to High(StatusesOfMinusOne) do
      for j := Low(VqhwStatusRows) to High(VqhwStatusRows) do
        if (VqhwStatusRows[j].Status = StatusesOfMinusOne[i]) and (VqhwStatusRows[j].Message = message) then
        begin
          VqhwStatusOf := StatusesOfMinusOne[i];
          Exit;
        end;
end;

function VqhwMeaning(status: TVqhwInt): AnsiString;
var
  i: Integer;
begin
  for i := Low(VqhwStatusRows) to High(VqhwStatusRows) do
    if VqhwStatusRows[i].Status = status then
    begin
      VqhwMeaning := VqhwStatusRows[i].Meaning;
      Exit;
    end;
  if (status >= -355) and (status <= -101) then
    VqhwMeaning := 'reader or card status byte ' + IntToHex(status + 356, 2)
  else
    VqhwMeaning := 'not a status the library gives';
end;

function VqhwHint(status: TVqhwInt): AnsiString;
var
  i: Integer;
begin
  VqhwHint := '';
  for i := Low(VqhwHintRows) to High(VqhwHintRows) do
    if VqhwHintRows[i].Status = status then VqhwHint := VqhwHintRows[i].Hint;
end;

function VqhwDeviceOf(port: TVqhwInt): AnsiString;
var
  named: AnsiString;
begin
{$IFDEF MSWINDOWS}
  VqhwDeviceOf := 'COM' + IntToStr(port);
{$ELSE}
  named := AnsiString(GetEnvironmentVariable('VQHW_COM' + IntToStr(port)));
  if named <> '' then
    VqhwDeviceOf := named + ' (from VQHW_COM' + IntToStr(port) + ')'
  else
    VqhwDeviceOf := '/dev/ttyS' + IntToStr(port - 1) + ' (VQHW_COM' + IntToStr(port) +
                    ' is not set; set it to the reader''s device)';
{$ENDIF}
end;

procedure Check(const call: AnsiString; code: TVqhwInt; const detail: AnsiString);
var
  message: array[0..VQHW_MESSAGE_SIZE - 1] of AnsiChar;
  failure: EVqhw;
  line: AnsiString;
begin
  if code = VQHW_OK then Exit;
  getvqicerror(@message[0]);
  failure := EVqhw.Create('');
  failure.Call := call;
  failure.Code := code;
  failure.Text := AnsiString(PAnsiChar(@message[0]));
  failure.Status := VqhwStatusOf(code, failure.Text);
  failure.Meaning := VqhwMeaning(failure.Status);
  failure.Hint := VqhwHint(failure.Status);
  failure.Detail := detail;
  line := call + ' -> ' + IntToStr(code) + ': ' + failure.Meaning;
  if detail <> '' then line := line + '; ' + detail;
  if failure.Hint <> '' then line := line + '; ' + failure.Hint;
  failure.Message := string(line);
  raise failure;
end;

procedure Check(const call: AnsiString; code: TVqhwInt);
begin
  Check(call, code, '');
end;

end.
