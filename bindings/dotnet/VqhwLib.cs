// VqhwLib from C#: the 47 exports as the library declares them (NativeMethods),
// and a small safe layer above them (Reader, Codecs, Gbk; the exceptions in
// Errors.cs, the library's loading in LibraryLoader.cs).
//
// The library is loaded by its name "VqhwLib": VqhwLib.dll on Windows,
// libVqhwLib.so on .NET on Linux (the package's runtimes/linux-x64/native),
// libVqhwLib.so.0 on mono (the <dllmap> of Vqhw.dll.config). The assembly
// itself is Vqhw.dll: beside the program, VqhwLib.dll is the native library. Every export
// takes 32-bit integers and pointers and returns a 32-bit result; 32-bit
// Windows calls them with the standard convention. Texts the library writes
// are GBK (code page 936); hex texts are ASCII.

using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Vqhw
{
#pragma warning disable 1591 // each export's entry is in the library's reference (VqhwLib.h)
    /// <summary>The library's exports, one to one. Buffers are the caller's:
    /// the sizes below are what each export writes at most (the header's
    /// VQHW_..._SIZE macros).</summary>
    public static class NativeMethods
    {
        public const string Library = "VqhwLib";
        const CallingConvention Call = CallingConvention.StdCall;

        // Reader connection. info: 123 bytes; message: 49 bytes.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int open_reader(int port, int ignored);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int close_reader();
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int getreaderinfo([Out] byte[] text);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int getvqicerror([Out] byte[] text);

        // These do nothing and return 0.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int changebaudrate(int ignored);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int selectadf();
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int enterdebug(int ignored1, int ignored2);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int close_pro();

        // Reader control. SelectCardType takes the character '0', '1' or '2'.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int SelectCardType(int kindCharacter);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int set_mmi(int first, int second, int third);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int RF_reset_h();
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int SAM_reset_h();
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int PRO_reset_h();
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int closecard();

        // Hex and numeric codecs. bytes of hextobin/hextoascii: 128 bytes
        // (127 decoded and a zero); text of asciitohex: 2 * length + 1.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int hextobin([MarshalAs(UnmanagedType.LPStr)] string text, [Out] byte[] bytes, out int count);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int hextodec(int character);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int hextoascii([MarshalAs(UnmanagedType.LPStr)] string text, [Out] byte[] bytes);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int asciitohex([In] byte[] bytes, int length, [Out] byte[] text);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int asciitolong([In] byte[] fourBytes, out int value);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int longtoascii(int value, [Out] byte[] fourBytes);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int hextoulong(IntPtr ignored1, IntPtr ignored2);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int ulongtohex(IntPtr ignored1, IntPtr ignored2);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int hextouint(IntPtr ignored1, IntPtr ignored2);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int uinttohex(IntPtr ignored1, IntPtr ignored2);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int straxorstrb(IntPtr ignored1, IntPtr ignored2, IntPtr ignored3, IntPtr ignored4);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int straxorstrb_h(IntPtr ignored1, IntPtr ignored2, IntPtr ignored3);

        // Date and time texts: 15 bytes hold the decimal text.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int get_time([Out] byte[] text);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int ltimetostime(int value, [Out] byte[] text);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int stimetoltime([MarshalAs(UnmanagedType.LPStr)] string hexDateTime, out int value);

        // APDUs as hex text. reply/data: 2 * reply length + 1 (1024 hold any
        // frame's reply); statusWord: 5 bytes (four digits and a zero).
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int pro_command_h([MarshalAs(UnmanagedType.LPStr)] string apdu, [Out] byte[] reply);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int PRO_COMMAND_H([MarshalAs(UnmanagedType.LPStr)] string apdu, [Out] byte[] data, [Out] byte[] statusWord);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int sam_command_h([MarshalAs(UnmanagedType.LPStr)] string apdu, [Out] byte[] reply);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int SAM_COMMAND_H([MarshalAs(UnmanagedType.LPStr)] string apdu, [Out] byte[] data, [Out] byte[] statusWord);

        // MIFARE ONE. record: 5 bytes (serial, SAK); opencard_h text: 11.
        // keyType 0 = key A, 1 = key B; key: 6 bytes (12 digits).
        // Blocks and trailers: 16 bytes (32 digits; 33 bytes out).
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int opencard([Out] byte[] record);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int opencard_h([Out] byte[] text);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int loadkey(int keyType, int sector, [In] byte[] key);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int loadkey_h(int keyType, int sector, [MarshalAs(UnmanagedType.LPStr)] string key);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int readblock(int ignored, int block, [Out] byte[] data);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int readblock_h(int ignored, int block, [Out] byte[] text);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int writeblock(int ignored, int block, [In] byte[] data);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int writeblock_h(int ignored, int block, [MarshalAs(UnmanagedType.LPStr)] string text);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int writekey(int ignored, int sector, [In] byte[] trailer);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int writekey_h(int ignored, int sector, [MarshalAs(UnmanagedType.LPStr)] string text);

        // Card files: fileId 4 digits ("0005" is file 5), keyId 2 digits
        // (its high digit is the key selector); data: max(length, 4) bytes,
        // text: 2 * length + 1 and at least 4.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int readfile([MarshalAs(UnmanagedType.LPStr)] string fileId, [MarshalAs(UnmanagedType.LPStr)] string keyId,
                                          int offset, int length, [Out] byte[] data);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int readfile_h([MarshalAs(UnmanagedType.LPStr)] string fileId, [MarshalAs(UnmanagedType.LPStr)] string keyId,
                                            int offset, int length, [Out] byte[] text);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int writefile([MarshalAs(UnmanagedType.LPStr)] string fileId, [MarshalAs(UnmanagedType.LPStr)] string keyId,
                                           int offset, int length, [In] byte[] data);
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int writefile_h([MarshalAs(UnmanagedType.LPStr)] string fileId, [MarshalAs(UnmanagedType.LPStr)] string keyId,
                                             int offset, int length, [MarshalAs(UnmanagedType.LPStr)] string text);
    }
#pragma warning restore 1591

    /// <summary>The library's texts are GBK (code page 936). .NET Framework has
    /// it; .NET (Core) needs the code-pages provider; mono needs its CJK
    /// encodings assembly (Debian: libmono-i18n-cjk4.0-cil).</summary>
    public static class Gbk
    {
        static readonly Lazy<Encoding> encoding = new Lazy<Encoding>(Find);

        static Encoding Find()
        {
            // .NET Core and .NET 5+ keep code page 936 in a provider that must be registered.
            Type provider = Type.GetType("System.Text.CodePagesEncodingProvider, System.Text.Encoding.CodePages");
            if (provider != null)
            {
                object instance = provider.GetProperty("Instance").GetValue(null, null);
                Encoding.RegisterProvider((EncodingProvider)instance);
            }
            try
            {
                return Encoding.GetEncoding(936);
            }
            catch (Exception error)
            {
                throw new NotSupportedException(
                    "GBK (code page 936) is not available: on mono install the CJK encodings (I18N.CJK, Debian package " +
                    "libmono-i18n-cjk4.0-cil); on .NET reference System.Text.Encoding.CodePages", error);
            }
        }

        /// <summary>The text up to its terminating zero byte.</summary>
        public static string Decode(byte[] zeroTerminated)
        {
            int length = Array.IndexOf(zeroTerminated, (byte)0);
            return encoding.Value.GetString(zeroTerminated, 0, length < 0 ? zeroTerminated.Length : length);
        }
    }

    /// <summary>A card's answer to a command APDU: data and SW1 SW2.</summary>
    public struct ApduReply
    {
        /// <summary>The reply's data, without SW1 SW2.</summary>
        public byte[] Data;
        /// <summary>SW1 * 256 + SW2: 0x9000 for 90 00.</summary>
        public int StatusWord;
        /// <summary>The card says 90 00.</summary>
        public bool Ok { get { return StatusWord == 0x9000; } }
        /// <summary>The data and the status word in hex, e.g. "000061A8 SW 9000".</summary>
        public override string ToString()
        {
            return (Data == null || Data.Length == 0 ? "" : Codecs.ToHex(Data) + " ") + "SW " + StatusWord.ToString("X4");
        }
    }

    /// <summary>The reader on a serial port (1 = COM1; on Linux the device that
    /// VQHW_COM&lt;port&gt; names). The library drives one reader per process.</summary>
    public sealed class Reader : IDisposable
    {
        /// <summary>Key type of LoadKey: key A.</summary>
        public const int KeyA = 0;
        /// <summary>Key type of LoadKey: key B.</summary>
        public const int KeyB = 1;
        /// <summary>getvqicerror's buffer: 49 bytes hold any message.</summary>
        public const int MessageSize = 49;
        /// <summary>getreaderinfo's buffer: the longest line is 123 bytes with its zero.</summary>
        public const int InfoSize = 123;
        const int ReplySize = 1024;
        bool open;

        /// <summary>The port number (1 = COM1).</summary>
        public int Port { get; private set; }

        /// <summary>Opens the reader on port (1 = COM1). A failure throws VqhwException
        /// whose Detail names the device tried.</summary>
        public Reader(int port)
        {
            if (IntPtr.Size == 4 && Environment.OSVersion.Platform != PlatformID.Win32NT)
                throw new PlatformNotSupportedException("the 32-bit library outside Windows is called with the C convention, not this binding's");
            LibraryLoader.Ensure();
            Port = port;
            Check("open_reader", NativeMethods.open_reader(port, 0), "tried " + DeviceOf(port));
            open = true;
        }

        /// <summary>The device open_reader opens for port, and why that one.</summary>
        public static string DeviceOf(int port)
        {
            if (Environment.OSVersion.Platform == PlatformID.Win32NT) return "COM" + port;
            string variable = "VQHW_COM" + port;
            string named = Environment.GetEnvironmentVariable(variable);
            if (!string.IsNullOrEmpty(named)) return named + " (from " + variable + ")";
            return "/dev/ttyS" + (port - 1) + " (" + variable + " is not set; set it to the reader's device)";
        }

        /// <summary>Closes the reader; a second Dispose does nothing.</summary>
        public void Dispose()
        {
            if (!open) return;
            open = false;
            Check("close_reader", NativeMethods.close_reader());
        }

        /// <summary>Throws VqhwException (NoCardException for result 1) unless result is 0.</summary>
        public static void Check(string call, int result) { Check(call, result, ""); }

        /// <summary>The same, with detail in the exception's text and Detail.</summary>
        public static void Check(string call, int result, string detail)
        {
            if (result == 0) return;
            byte[] text = new byte[MessageSize];
            NativeMethods.getvqicerror(text);
            string message = Gbk.Decode(text);
            if (result == 1) throw new NoCardException(call, message);
            throw new VqhwException(call, result, message, Statuses.StatusOf(result, message), detail);
        }

        void Require(string call)
        {
            if (!open) throw new ObjectDisposedException("Reader", call + ": the reader is closed");
        }

        /// <summary>The reader's information line: maker, model, port and line speed.</summary>
        public string Info()
        {
            Require("getreaderinfo");
            byte[] text = new byte[InfoSize];
            NativeMethods.getreaderinfo(text);
            return Gbk.Decode(text);
        }

        /// <summary>Activates the card in the field: serial (4 bytes), then the SAK byte.</summary>
        public byte[] OpenCard()
        {
            Require("opencard");
            byte[] record = new byte[5];
            Check("opencard", NativeMethods.opencard(record));
            return record;
        }

        /// <summary>Ends the work with the card: a field reset; never fails.</summary>
        public void CloseCard()
        {
            Require("closecard");
            NativeMethods.closecard();
        }

        /// <summary>Loads key A (KeyA) or B (KeyB) of a sector (0..15) and authenticates with it; key: 6 bytes.</summary>
        public void LoadKey(int keyType, int sector, byte[] key)
        {
            Require("loadkey");
            Check("loadkey", NativeMethods.loadkey(keyType, sector, Sized(key, 6, "key")));
        }

        /// <summary>The 16 bytes of block 0..63.</summary>
        public byte[] ReadBlock(int block)
        {
            Require("readblock");
            byte[] data = new byte[16];
            Check("readblock", NativeMethods.readblock(0, block, data));
            return data;
        }

        /// <summary>Writes 16 bytes to block 0..63 (not a trailer: WriteTrailer).</summary>
        public void WriteBlock(int block, byte[] data)
        {
            Require("writeblock");
            Check("writeblock", NativeMethods.writeblock(0, block, Sized(data, 16, "block data")));
        }

        /// <summary>Writes a sector's 16-byte trailer: key A, access bits, key B (writekey).</summary>
        public void WriteTrailer(int sector, byte[] trailer)
        {
            Require("writekey");
            Check("writekey", NativeMethods.writekey(0, sector, Sized(trailer, 16, "trailer")));
        }

        /// <summary>length bytes from offset of a card file (readfile, with its one retry).</summary>
        public byte[] ReadFile(int fileNumber, int keySelector, int offset, int length)
        {
            Require("readfile");
            byte[] data = new byte[Math.Max(4, Math.Min(length, 256))];
            Check("readfile", NativeMethods.readfile(FileId(fileNumber), KeyId(keySelector), offset, length, data));
            byte[] read = new byte[Math.Max(0, length)];
            Array.Copy(data, read, read.Length);
            return read;
        }

        /// <summary>Writes data at offset of a card file (writefile, with its one retry).</summary>
        public void WriteFile(int fileNumber, int keySelector, int offset, byte[] data)
        {
            Require("writefile");
            Check("writefile", NativeMethods.writefile(FileId(fileNumber), KeyId(keySelector), offset, data.Length, data));
        }

        /// <summary>Sends a command APDU to the CPU user card in the field (PRO_COMMAND_H).</summary>
        public ApduReply CpuCardApdu(byte[] apdu) { return Apdu("PRO_COMMAND_H", apdu); }
        /// <summary>Sends a command APDU to the PSAM in the reader (SAM_COMMAND_H).</summary>
        public ApduReply PsamApdu(byte[] apdu) { return Apdu("SAM_COMMAND_H", apdu); }

        ApduReply Apdu(string call, byte[] apdu)
        {
            Require(call);
            byte[] data = new byte[ReplySize];
            byte[] sw = new byte[16];
            string text = Codecs.ToHex(apdu);
            int result = call == "PRO_COMMAND_H" ? NativeMethods.PRO_COMMAND_H(text, data, sw)
                                                 : NativeMethods.SAM_COMMAND_H(text, data, sw);
            Check(call, result);
            byte[] status = Codecs.FromHex(Gbk.Decode(sw));
            if (status.Length != 2) throw new VqhwException(call, -22, Statuses.MessageOf(-22), -22, "the reply carries no status word");
            return new ApduReply { Data = ReplyBytes(call, Gbk.Decode(data)), StatusWord = status[0] << 8 | status[1] };
        }

        // The reply's hex text: up to a frame's data, more than hextobin's 127 bytes.
        static byte[] ReplyBytes(string call, string hex)
        {
            if (hex.Length % 2 != 0)
                throw new VqhwException(call, -22, Statuses.MessageOf(-22), -22, "the reply is not hex text");
            byte[] bytes = new byte[hex.Length / 2];
            for (int i = 0; i < bytes.Length; i++)
                bytes[i] = Convert.ToByte(hex.Substring(2 * i, 2), 16);
            return bytes;
        }

        static string FileId(int fileNumber)
        {
            if (fileNumber < 0 || fileNumber > 255) throw new ArgumentOutOfRangeException("fileNumber");
            return fileNumber.ToString("X4");
        }

        static string KeyId(int keySelector)
        {
            if (keySelector < 0 || keySelector > 15) throw new ArgumentOutOfRangeException("keySelector");
            return keySelector.ToString("X") + "0";
        }

        static byte[] Sized(byte[] data, int size, string what)
        {
            if (data == null || data.Length != size) throw new ArgumentException(what + " must be " + size + " bytes");
            return data;
        }
    }

    /// <summary>The library's hex codecs; they need no reader.</summary>
    public static class Codecs
    {
        /// <summary>The bytes of a hex text (hextobin): other characters skipped, at most 127 bytes.</summary>
        public static byte[] FromHex(string text)
        {
            LibraryLoader.Ensure();
            byte[] bytes = new byte[256];
            int count;
            NativeMethods.hextobin(text, bytes, out count);
            byte[] decoded = new byte[count];
            Array.Copy(bytes, decoded, count);
            return decoded;
        }

        /// <summary>Upper-case hex text of the bytes (asciitohex).</summary>
        public static string ToHex(byte[] bytes)
        {
            if (bytes.Length == 0) return "";
            LibraryLoader.Ensure();
            byte[] text = new byte[2 * bytes.Length + 1];
            NativeMethods.asciitohex(bytes, bytes.Length, text);
            return Encoding.ASCII.GetString(text, 0, 2 * bytes.Length);
        }
    }
}
