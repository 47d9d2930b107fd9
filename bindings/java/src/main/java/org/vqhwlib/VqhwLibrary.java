package org.vqhwlib;

import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.Platform;
import com.sun.jna.Pointer;
import com.sun.jna.ptr.IntByReference;
import com.sun.jna.win32.StdCallLibrary;

/**
 * The library's 47 exports, one to one, as JNA calls them.
 *
 * <p>Every export takes 32-bit integers and pointers to the caller's buffers
 * and returns a 32-bit result. Buffers are byte arrays of at least the size
 * each export writes (the header's {@code VQHW_..._SIZE} macros, the
 * constants of {@link Reader}); texts in are zero-terminated ASCII hex or
 * identifiers, texts out GBK bytes ({@link Codecs#gbk}). The 32-bit Windows
 * DLL is called with the standard convention ({@link StdCallLibrary}),
 * everything else with the C convention. {@link #INSTANCE} is loaded from
 * {@code jna.library.path}, the system's library path, or the jar itself
 * ({@code linux-x86-64/libVqhwLib.so}, {@code win32-x86/VqhwLib.dll},
 * {@code win32-x86-64/VqhwLib.dll}).
 */
public interface VqhwLibrary extends Library {
    /** The library, loaded at the first use of this interface. */
    VqhwLibrary INSTANCE = Loader.load();

    // Reader connection. info: 123 bytes; message: 49 bytes.
    int open_reader(int port, int ignored);
    int close_reader();
    int getreaderinfo(byte[] text);
    int getvqicerror(byte[] text);

    // These do nothing and return 0.
    int changebaudrate(int ignored);
    int selectadf();
    int enterdebug(int ignored1, int ignored2);
    int close_pro();

    // Reader control. SelectCardType takes the character '0', '1' or '2'.
    int SelectCardType(int kindCharacter);
    int set_mmi(int first, int second, int third);
    int RF_reset_h();
    int SAM_reset_h();
    int PRO_reset_h();
    int closecard();

    // Hex and numeric codecs. bytes of hextobin and hextoascii: 128 (127
    // decoded and a zero); text of asciitohex: 2 * length + 1.
    int hextobin(String text, byte[] bytes, IntByReference count);
    int hextodec(int character);
    int hextoascii(String text, byte[] bytes);
    int asciitohex(byte[] bytes, int length, byte[] text);
    int asciitolong(byte[] fourBytes, IntByReference value);
    int longtoascii(int value, byte[] fourBytes);
    int hextoulong(Pointer ignored1, Pointer ignored2);
    int ulongtohex(Pointer ignored1, Pointer ignored2);
    int hextouint(Pointer ignored1, Pointer ignored2);
    int uinttohex(Pointer ignored1, Pointer ignored2);
    int straxorstrb(Pointer ignored1, Pointer ignored2, Pointer ignored3, Pointer ignored4);
    int straxorstrb_h(Pointer ignored1, Pointer ignored2, Pointer ignored3);

    // Date and time texts: 15 bytes hold the decimal text.
    int get_time(byte[] text);
    int ltimetostime(int value, byte[] text);
    int stimetoltime(String hexDateTime, IntByReference value);

    // APDUs as hex text. reply and data: 2 * reply length + 1 (1024 hold any
    // frame's reply); statusWord: 5 (four digits and a zero).
    int pro_command_h(String apdu, byte[] reply);
    int PRO_COMMAND_H(String apdu, byte[] data, byte[] statusWord);
    int sam_command_h(String apdu, byte[] reply);
    int SAM_COMMAND_H(String apdu, byte[] data, byte[] statusWord);

    // MIFARE ONE. record: 5 bytes (serial, SAK); opencard_h text: 11. keyType
    // 0 = key A, 1 = key B; key: 6 bytes. Blocks and trailers: 16 bytes (33 as text).
    int opencard(byte[] record);
    int opencard_h(byte[] text);
    int loadkey(int keyType, int sector, byte[] key);
    int loadkey_h(int keyType, int sector, String key);
    int readblock(int ignored, int block, byte[] data);
    int readblock_h(int ignored, int block, byte[] text);
    int writeblock(int ignored, int block, byte[] data);
    int writeblock_h(int ignored, int block, String text);
    int writekey(int ignored, int sector, byte[] trailer);
    int writekey_h(int ignored, int sector, String text);

    // Card files: fileId 4 digits ("0005" is file 5), keyId 2 digits (its
    // high digit is the key selector); data: max(length, 4) bytes; text:
    // 2 * length + 1 and at least 4.
    int readfile(String fileId, String keyId, int offset, int length, byte[] data);
    int readfile_h(String fileId, String keyId, int offset, int length, byte[] text);
    int writefile(String fileId, String keyId, int offset, int length, byte[] data);
    int writefile_h(String fileId, String keyId, int offset, int length, String text);

    /** The declarations with the standard calling convention of the 32-bit Windows DLL. */
    interface StdCall extends VqhwLibrary, StdCallLibrary {}

    /** Chooses the calling convention by platform. */
    final class Loader {
        private Loader() {}

        static VqhwLibrary load() {
            try {
                if (Platform.isWindows() && !Platform.is64Bit()) return Native.load("VqhwLib", StdCall.class);
                return Native.load("VqhwLib", VqhwLibrary.class);
            } catch (UnsatisfiedLinkError error) {
                throw new UnsatisfiedLinkError(missing() + "\n" + error.getMessage());
            }
        }

        /** Where the library is looked for on this platform, and what provides it. */
        static String missing() {
            if (Platform.isWindows())
                return "VqhwLib.dll (" + (Platform.is64Bit() ? "64" : "32") + "-bit) was not found: the vqhw jar carries"
                        + " it (win32-x86, win32-x86-64); otherwise put the DLL of the JVM's bitness on jna.library.path";
            return "libVqhwLib.so was not found: the vqhw jar carries it for linux-x86-64; otherwise install the"
                    + " library (apt install libvqhwlib0) or set jna.library.path to its directory";
        }
    }
}
