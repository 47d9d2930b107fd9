{ Every export of the unit called once against the virtual reader with the
  lane's field (sim/examples/lane.json) on port 1, each result and output
  checked; then Check's exceptions: a wrong key, no card, and a reader that
  is not there (port 97, which VQHW_COM97 must name as a path that does not
  exist). Exit code 0 when all agree, 1 otherwise. }
program VqhwLibTest;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}

uses
  SysUtils, VqhwLib;

var
  failures: Integer = 0;
  text: array[0..1023] of AnsiChar;
  sw: array[0..15] of AnsiChar;
  bytes: array[0..255] of Byte;
  count, value: TVqhwInt;
  failure: EVqhw;

procedure Expect(condition: Boolean; const what: string);
begin
  if condition then Writeln('ok   ', what)
  else
  begin
    Writeln('FAIL ', what);
    Inc(failures);
  end;
end;

{ The EVqhw that Check raises for code, or nil. }
function Raised(const call: AnsiString; code: TVqhwInt; const detail: AnsiString): EVqhw;
begin
  Raised := nil;
  try
    Check(call, code, detail);
  except
    on failure: EVqhw do
    begin
      Raised := EVqhw.Create(failure.Message);
      Raised.Call := failure.Call;
      Raised.Code := failure.Code;
      Raised.Status := failure.Status;
      Raised.Text := failure.Text;
      Raised.Meaning := failure.Meaning;
      Raised.Hint := failure.Hint;
      Raised.Detail := failure.Detail;
    end;
  end;
end;

function Got: AnsiString;
begin
  Result := AnsiString(PAnsiChar(@text[0]));
end;

const
  KeyB: array[0..5] of Byte = ($B0, $B1, $B2, $B3, $B4, $B5);
  FactoryKey: array[0..5] of Byte = ($FF, $FF, $FF, $FF, $FF, $FF);
  FactoryTrailer: array[0..15] of Byte = ($FF, $FF, $FF, $FF, $FF, $FF, $FF, $07, $80, $69,
                                          $FF, $FF, $FF, $FF, $FF, $FF);
  Zeros: array[0..15] of Byte = (0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  OneByte: array[0..0] of Byte = ($EF);
  Digits: array[0..3] of AnsiChar = ('1', '2', '3', '4');

begin
  Expect(open_reader(1, 0) = VQHW_OK, 'open_reader');
  Expect((getreaderinfo(text) = 0) and (Pos('COM1', string(Got)) > 0), 'getreaderinfo');
  Expect((opencard_h(text) = 0) and (Got = '3A5F0C2108'), 'opencard_h');
  Expect((opencard(@bytes[0]) = 0) and (bytes[4] = $08), 'opencard');
  Expect(loadkey_h(VQHW_KEY_A, 1, 'A0A1A2A3A4A5') = 0, 'loadkey_h');
  Expect((readblock_h(0, 4, text) = 0) and (Got = '4C414E45303720454E54525920202020'), 'readblock_h');
  Expect(loadkey(VQHW_KEY_B, 1, @KeyB[0]) = 0, 'loadkey');
  Expect(writeblock_h(0, 6, '000102030405060708090A0B0C0D0E0F') = 0, 'writeblock_h');
  Expect((readblock(0, 6, @bytes[0]) = 0) and (bytes[15] = $0F), 'readblock');
  Expect(writeblock(0, 6, @Zeros[0]) = 0, 'writeblock');
  Expect(readblock(0, 64, @bytes[0]) = -1, 'readblock refuses block 64');
  Expect(loadkey(VQHW_KEY_A, 3, @FactoryKey[0]) = 0, 'loadkey for sector 3');
  Expect(writekey(0, 3, @FactoryTrailer[0]) = 0, 'writekey');
  Expect(writekey_h(0, 3, 'FFFFFFFFFFFFFF078069FFFFFFFFFFFF') = 0, 'writekey_h');
  Expect(writefile_h('0003', '30', 0, 2, 'ABCD') = 0, 'writefile_h');
  Expect((readfile_h('0003', '30', 0, 2, text) = 0) and (Got = 'ABCD'), 'readfile_h');
  Expect(writefile('0003', '30', 2, 1, @OneByte[0]) = 0, 'writefile');
  Expect((readfile('0003', '30', 0, 3, @bytes[0]) = 0) and (bytes[2] = $EF), 'readfile');
  Expect(set_mmi($80, $83, 0) = 0, 'set_mmi');
  Expect((RF_reset_h = 0) and (closecard = 0), 'RF_reset_h and closecard');
  Expect(opencard(@bytes[0]) = VQHW_OK, 'opencard after the field reset finds the card again');
  Expect(SAM_reset_h = 0, 'SAM_reset_h');
  Expect((sam_command_h('00B0960006', text) = 0) and (Got = '0000000000079000'), 'sam_command_h');
  Expect((SAM_COMMAND_H('00B0960006', text, sw) = 0) and (AnsiString(sw) = '9000'), 'SAM_COMMAND_H');
  Expect(PRO_reset_h <> 0, 'PRO_reset_h without a CPU card fails');
  Expect(pro_command_h('0084000004', text) <> 0, 'pro_command_h without a CPU card fails');
  Expect(PRO_COMMAND_H('0084000004', text, sw) <> 0, 'PRO_COMMAND_H without a CPU card fails');
  Expect((getvqicerror(text) = 0) and (Length(Got) > 0), 'getvqicerror');
  Expect((SelectCardType(Ord('2')) = 0) and (SelectCardType(Ord('3')) = -1), 'SelectCardType');
  failure := Raised('PRO_COMMAND_H', PRO_COMMAND_H('0084000004', text, sw), '');
  Expect((failure <> nil) and (failure.Code = VQHW_NO_CARD) and (failure.Status = -101) and
         (failure.Meaning = 'no card in the antenna field') and (failure.Hint <> ''), 'no CPU card: EVqhw with status -101');
  failure.Free;
  Expect(opencard(@bytes[0]) = VQHW_OK, 'opencard for the wrong key');
  failure := Raised('loadkey', loadkey(VQHW_KEY_A, 1, @Zeros[0]), '');
  { 用户卡认证错误 in GBK }
  Expect((failure <> nil) and (failure.Code = -103) and (failure.Status = -103) and
         (failure.Text = #$D3#$C3#$BB#$A7#$BF#$A8#$C8#$CF#$D6#$A4#$B4#$ED#$CE#$F3) and
         (Pos('refused the key', string(failure.Meaning)) > 0) and (Pos(string(failure.Meaning), failure.Message) > 0),
         'a wrong key: EVqhw with code, status, GBK text, meaning');
  failure.Free;
  Expect(close_reader = 0, 'close_reader');
  failure := Raised('open_reader', open_reader(97, 0), 'tried ' + VqhwDeviceOf(97));
  Expect((failure <> nil) and (failure.Code = VQHW_FAILED) and (failure.Status = -12) and
         (failure.Detail = 'tried /nonexistent/vqhw-port (from VQHW_COM97)') and
         (Pos('VQHW_TRACE', failure.Message) > 0), 'a reader that is not there: the device named, and the trace');
  failure.Free;
  Expect((VqhwMeaning(-1000) = 'time-out: no answer after three attempts') and (VqhwHint(-6) = '') and
         (VqhwStatusOf(1, '') = -101), 'meanings and hints by status');
  getvqicerror(text);
  { 串行口已经关闭 in GBK: the message of closing a closed reader }
  Expect((close_reader = VQHW_FAILED) and (getvqicerror(text) = 0) and
         (Got = #$B4#$AE#$D0#$D0#$BF#$DA#$D2#$D1#$BE#$AD#$B9#$D8#$B1#$D5), 'close_reader twice, and its GBK message');

  Expect((hextobin('1a2B', @bytes[0], @count) = 2) and (count = 2) and (bytes[1] = $2B), 'hextobin');
  Expect((hextoascii('0x12', @bytes[0]) = 0) and (bytes[0] = $01), 'hextoascii');
  Expect(hextodec(Ord('F')) = 15, 'hextodec');
  bytes[0] := 0; bytes[1] := $AB;
  Expect((asciitohex(@bytes[0], 2, text) = 0) and (Got = '00AB'), 'asciitohex');
  Expect((asciitolong(@Digits[0], @value) = 0) and (value = 51712), 'asciitolong');
  Expect((longtoascii($12345678, @bytes[0]) = 0) and (bytes[1] = $9E), 'longtoascii');
  Expect(stimetoltime('07D6020E090503', @value) = 0, 'stimetoltime');
  Expect((ltimetostime(value, text) = 0) and (Got = '2006214953'), 'ltimetostime of it');
  Expect((get_time(text) = 0) and (Copy(Got, 1, 2) = '20'), 'get_time');
  Expect((hextoulong(nil, nil) = 0) and (ulongtohex(nil, nil) = 0) and (hextouint(nil, nil) = 0) and
         (uinttohex(nil, nil) = 0) and (straxorstrb(nil, nil, nil, nil) = 0) and
         (straxorstrb_h(nil, nil, nil) = 0), 'the six codec stubs');
  Expect((changebaudrate(9600) = 0) and (selectadf = 0) and (enterdebug(1, 2) = 0) and (close_pro = 0),
         'the four that do nothing');
  if failures = 0 then Writeln('all passed') else Writeln(failures, ' failed');
  if failures <> 0 then Halt(1);
end.
