// Tests of the C# binding against the virtual reader: vqhw-sim (VQHW_SIM)
// with the example field files (VQHW_EXAMPLES), the library found as
// "VqhwLib" on LD_LIBRARY_PATH. Exit code 0 when every case passed.

using System;
using System.Diagnostics;
using System.Linq;
using System.Text;
using Vqhw;

static class VqhwLibTests
{
    static int failures;

    // vqhw-sim on a pty, reached as port 1 while it runs.
    sealed class VirtualReader : IDisposable
    {
        readonly Process process;
        readonly string emptyField;

        // A null field file is an empty field: vqhw-sim alone serves a card.
        public VirtualReader(string fieldFile, params string[] options)
        {
            if (fieldFile == null)
            {
                emptyField = System.IO.Path.GetTempFileName();
                System.IO.File.WriteAllText(emptyField, "{\"cards\": []}");
                fieldFile = emptyField;
            }
            string arguments = "--field " + fieldFile + " " + string.Join(" ", options);
            process = Process.Start(new ProcessStartInfo(Environment.GetEnvironmentVariable("VQHW_SIM"), arguments)
            {
                UseShellExecute = false, RedirectStandardOutput = true, RedirectStandardInput = true
            });
            string device = process.StandardOutput.ReadLine();
            if (string.IsNullOrEmpty(device)) throw new Exception("vqhw-sim gave no port");
            Environment.SetEnvironmentVariable("VQHW_COM1", device);
        }

        public void Dispose()
        {
            process.Kill();
            process.WaitForExit();
            if (emptyField != null) System.IO.File.Delete(emptyField);
        }
    }

    static string Field(string name)
    {
        return System.IO.Path.Combine(Environment.GetEnvironmentVariable("VQHW_EXAMPLES"), name);
    }

    static void Case(string name, Action body)
    {
        try
        {
            body();
            Console.WriteLine("ok   " + name);
        }
        catch (Exception error)
        {
            failures++;
            Console.WriteLine("FAIL " + name + ": " + error);
        }
    }

    static void Expect(bool condition, string what)
    {
        if (!condition) throw new Exception("expected " + what);
    }

    static T Throws<T>(Action body) where T : Exception
    {
        try
        {
            body();
        }
        catch (T error)
        {
            return error;
        }
        throw new Exception("expected " + typeof(T).Name);
    }

    static byte[] Hex(string text) { return Codecs.FromHex(text); }

    static int Main()
    {
        Case("the MIFARE ONE entry record, and refusals with the GBK message", () =>
        {
            using (new VirtualReader(Field("lane.json")))
            using (var reader = new Reader(1))
            {
                Expect(reader.Info().Contains("COM1") && reader.Info().Contains("115200"), "the information line");
                byte[] card = reader.OpenCard();
                Expect(Codecs.ToHex(card) == "3A5F0C2108", "serial and SAK, not " + Codecs.ToHex(card));
                reader.LoadKey(Reader.KeyA, 1, Hex("A0A1A2A3A4A5"));
                Expect(Codecs.ToHex(reader.ReadBlock(4)) == "4C414E45303720454E54525920202020", "the entry record");
                var refused = Throws<VqhwException>(() => reader.WriteBlock(5, new byte[16]));
                Expect(refused.Code == -115 && refused.Text == "用户卡指令无法执行", "-115 with its text, not " + refused.Message);
                reader.LoadKey(Reader.KeyB, 1, Hex("B0B1B2B3B4B5"));
                byte[] record = Enumerable.Range(0, 16).Select(i => (byte)i).ToArray();
                reader.WriteBlock(5, record);
                Expect(reader.ReadBlock(5).SequenceEqual(record), "the record read back");
                reader.LoadKey(Reader.KeyA, 2, Hex("A0A1A2A3A4A5"));
                reader.WriteFile(2, 2, 14, Encoding.ASCII.GetBytes("ABCD"));
                Expect(Encoding.ASCII.GetString(reader.ReadFile(2, 2, 0, 18)) == "PLATE A-12345 ABCD", "the file");
                var wrongKey = Throws<VqhwException>(() => reader.LoadKey(Reader.KeyA, 1, new byte[6]));
                Expect(wrongKey.Code == -103 && wrongKey.Status == -103 && wrongKey.Text == "用户卡认证错误",
                       "-103, not " + wrongKey.Message);
                Expect(wrongKey.Meaning.Contains("refused the key") && wrongKey.Hint.Length > 0 &&
                       wrongKey.Message.Contains(wrongKey.Meaning) && wrongKey.Message.Contains(wrongKey.Hint),
                       "the meaning and the hint in the exception, not " + wrongKey.Message);
                reader.CloseCard();
            }
        });

        Case("no card in the field is its own exception", () =>
        {
            using (new VirtualReader(null))
            using (var reader = new Reader(1))
            {
                var empty = Throws<NoCardException>(() => reader.OpenCard());
                Expect(empty.Code == 1 && empty.Status == -101 && empty.Text == "天线范围内无卡" &&
                       empty.Meaning == "no card in the antenna field", "result 1 with its text and meaning");
            }
        });

        Case("a purchase's first APDUs to the CPU card and the PSAM", () =>
        {
            using (new VirtualReader(Field("cpu-card.json")))
            using (var reader = new Reader(1))
            {
                Expect(reader.OpenCard()[4] == 0x20, "a CPU card");
                Expect(reader.CpuCardApdu(Hex("00A4040006A00000099901")).Ok, "the toll application selected");
                ApduReply balance = reader.CpuCardApdu(Hex("805C000204"));
                Expect(balance.Ok && balance.ToString() == "000061A8 SW 9000", "balance 25000, not " + balance);
                Expect(reader.CpuCardApdu(Hex("00A40000020099")).StatusWord == 0x6A82, "file not found");
                ApduReply terminal = reader.PsamApdu(Hex("00B0960006"));
                Expect(terminal.Ok && Codecs.ToHex(terminal.Data) == "000000000007", "the terminal number");
            }
        });

        Case("a reply longer than the codecs' 127 bytes is kept whole", () =>
        {
            var toBytes = typeof(Reader).GetMethod("ReplyBytes", System.Reflection.BindingFlags.NonPublic |
                                                                 System.Reflection.BindingFlags.Static);
            string hex = string.Concat(Enumerable.Range(0, 245).Select(i => i.ToString("X2")));  // a frame's longest
            var reply = (byte[])toBytes.Invoke(null, new object[] { "PRO_COMMAND_H", hex });
            Expect(reply.Length == 245 && reply[244] == 244, "245 bytes, not " + reply.Length);
        });

        Case("failures to open, and a closed reader", () =>
        {
            Environment.SetEnvironmentVariable("VQHW_COM1", "/nonexistent/vqhw-port");
            var missing = Throws<VqhwException>(() => new Reader(1));
            Expect(missing.Code == -1 && missing.Status == -12 && missing.Text == "串行口无法打开", "-1 with the text of -12");
            Expect(missing.Detail == "tried /nonexistent/vqhw-port (from VQHW_COM1)" && missing.Message.Contains("VQHW_TRACE"),
                   "the device tried and the trace named, not " + missing.Message);
            Environment.SetEnvironmentVariable("VQHW_COM98", null);
            Expect(Throws<VqhwException>(() => new Reader(98)).Detail.Contains("/dev/ttyS97 (VQHW_COM98 is not set"),
                   "an unmapped port named with its fallback device");
            using (new VirtualReader(null, "--no-psam"))
                Expect(Throws<VqhwException>(() => new Reader(1)).Code == -26, "-26 without a PSAM");
            using (new VirtualReader(null))
            {
                var reader = new Reader(1);
                reader.Dispose();
                reader.Dispose();
                Throws<ObjectDisposedException>(() => reader.ReadBlock(4));
            }
        });

        Case("every export answers through its declaration", () =>
        {
            using (new VirtualReader(Field("lane.json")))
            {
                Expect(NativeMethods.open_reader(1, 0) == 0, "open_reader");
                byte[] text = new byte[1024];
                byte[] sw = new byte[16];
                byte[] bytes = new byte[256];
                Expect(NativeMethods.opencard_h(text) == 0 && Gbk.Decode(text) == "3A5F0C2108", "opencard_h");
                Expect(NativeMethods.loadkey_h(0, 1, "A0A1A2A3A4A5") == 0, "loadkey_h");
                Expect(NativeMethods.readblock_h(0, 4, text) == 0 && Gbk.Decode(text) == "4C414E45303720454E54525920202020", "readblock_h");
                Expect(NativeMethods.loadkey(1, 1, Hex("B0B1B2B3B4B5")) == 0, "loadkey");
                Expect(NativeMethods.writeblock_h(0, 6, "000102030405060708090A0B0C0D0E0F") == 0, "writeblock_h");
                Expect(NativeMethods.readblock(0, 6, bytes) == 0 && bytes[15] == 0x0F, "readblock");
                Expect(NativeMethods.writeblock(0, 6, new byte[16]) == 0, "writeblock");
                Expect(NativeMethods.loadkey(0, 3, Hex("FFFFFFFFFFFF")) == 0, "loadkey sector 3");
                byte[] trailer = Hex("FFFFFFFFFFFFFF078069FFFFFFFFFFFF");
                Expect(NativeMethods.writekey(0, 3, trailer) == 0, "writekey");
                Expect(NativeMethods.writekey_h(0, 3, "FFFFFFFFFFFFFF078069FFFFFFFFFFFF") == 0, "writekey_h");
                Expect(NativeMethods.writefile_h("0003", "30", 0, 2, "ABCD") == 0, "writefile_h");
                Expect(NativeMethods.readfile_h("0003", "30", 0, 2, text) == 0 && Gbk.Decode(text) == "ABCD", "readfile_h");
                Expect(NativeMethods.writefile("0003", "30", 2, 1, new byte[] { 0xEF }) == 0, "writefile");
                Expect(NativeMethods.readfile("0003", "30", 0, 3, bytes) == 0 && bytes[2] == 0xEF, "readfile");
                Expect(NativeMethods.set_mmi(0x80, 0x83, 0) == 0, "set_mmi");
                Expect(NativeMethods.RF_reset_h() == 0 && NativeMethods.closecard() == 0, "RF_reset_h, closecard");
                Expect(NativeMethods.SAM_reset_h() == 0, "SAM_reset_h");
                Expect(NativeMethods.sam_command_h("00B0960006", text) == 0 && Gbk.Decode(text) == "0000000000079000", "sam_command_h");
                Expect(NativeMethods.SAM_COMMAND_H("00B0960006", text, sw) == 0 && Gbk.Decode(sw) == "9000", "SAM_COMMAND_H");
                Expect(NativeMethods.PRO_reset_h() != 0, "PRO_reset_h without a CPU card");
                Expect(NativeMethods.pro_command_h("0084000004", text) != 0, "pro_command_h without a CPU card");
                Expect(NativeMethods.PRO_COMMAND_H("0084000004", text, sw) != 0, "PRO_COMMAND_H without a CPU card");
                NativeMethods.getvqicerror(text);
                Expect(Gbk.Decode(text).Length > 0, "getvqicerror");
                Expect(NativeMethods.SelectCardType('2') == 0 && NativeMethods.SelectCardType('3') == -1, "SelectCardType");
                Expect(NativeMethods.getreaderinfo(text) == 0, "getreaderinfo");
                Expect(NativeMethods.close_reader() == 0, "close_reader");
            }
            byte[] buffer = new byte[256];
            int count;
            Expect(NativeMethods.hextobin("1a2B", buffer, out count) == 2 && count == 2 && buffer[1] == 0x2B, "hextobin");
            Expect(NativeMethods.hextoascii("0x12", buffer) == 0 && buffer[0] == 0x01, "hextoascii");
            Expect(NativeMethods.hextodec('F') == 15, "hextodec");
            Expect(NativeMethods.asciitohex(new byte[] { 0, 0xAB }, 2, buffer) == 0 && Gbk.Decode(buffer) == "00AB", "asciitohex");
            int number;
            Expect(NativeMethods.asciitolong(Encoding.ASCII.GetBytes("1234"), out number) == 0 && number == 51712, "asciitolong");
            Expect(NativeMethods.longtoascii(0x12345678, buffer) == 0 && buffer[1] == 0x9E, "longtoascii");
            Expect(NativeMethods.stimetoltime("07D6020E090503", out number) == 0, "stimetoltime");
            Expect(NativeMethods.ltimetostime(number, buffer) == 0 && Gbk.Decode(buffer) == "2006214953", "ltimetostime in the local zone");
            Expect(NativeMethods.get_time(buffer) == 0 && Gbk.Decode(buffer).StartsWith("20"), "get_time");
            IntPtr none = IntPtr.Zero;
            Expect(NativeMethods.hextoulong(none, none) == 0 && NativeMethods.ulongtohex(none, none) == 0 &&
                   NativeMethods.hextouint(none, none) == 0 && NativeMethods.uinttohex(none, none) == 0 &&
                   NativeMethods.straxorstrb(none, none, none, none) == 0 && NativeMethods.straxorstrb_h(none, none, none) == 0,
                   "the six codec stubs");
            Expect(NativeMethods.changebaudrate(9600) == 0 && NativeMethods.selectadf() == 0 &&
                   NativeMethods.enterdebug(1, 2) == 0 && NativeMethods.close_pro() == 0, "the four that do nothing");
        });

        Console.WriteLine(failures == 0 ? "all cases passed" : failures + " case(s) failed");
        return failures == 0 ? 0 : 1;
    }
}
