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
  Windows uses the C convention, which this unit does not declare. }
unit VqhwLib;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}

{$IF Defined(CPU386) and not Defined(MSWINDOWS)}
  {$MESSAGE ERROR 'VqhwLib: the 32-bit library outside Windows uses the C calling convention'}
{$IFEND}

interface

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

end.
