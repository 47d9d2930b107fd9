package org.vqhwlib;

import com.sun.jna.ptr.IntByReference;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;

/** The library's hex codecs, and its GBK texts; they need no reader. */
public final class Codecs {
    private Codecs() {}

    /** The library's texts are GBK (code page 936). */
    public static final Charset GBK = Charset.forName("GBK");
    // hextobin decodes at most 127 bytes and writes a zero after them.
    private static final int DECODED_SIZE = 256;

    /** The text of a zero-terminated GBK buffer, up to its zero. */
    public static String gbk(byte[] zeroTerminated) {
        int length = 0;
        while (length < zeroTerminated.length && zeroTerminated[length] != 0) length++;
        return new String(zeroTerminated, 0, length, GBK);
    }

    /** The bytes of a hex text (hextobin): other characters skipped, an unpaired last digit dropped, at most 127 bytes. */
    public static byte[] fromHex(String text) {
        byte[] bytes = new byte[DECODED_SIZE];
        int count = VqhwLibrary.INSTANCE.hextobin(ascii(text, "hex text"), bytes, new IntByReference());
        byte[] decoded = new byte[count];
        System.arraycopy(bytes, 0, decoded, 0, count);
        return decoded;
    }

    /** Upper-case hex text of the bytes (asciitohex). */
    public static String toHex(byte[] bytes) {
        if (bytes.length == 0) return "";
        byte[] text = new byte[2 * bytes.length + 1];
        VqhwLibrary.INSTANCE.asciitohex(bytes, bytes.length, text);
        return new String(text, 0, 2 * bytes.length, StandardCharsets.US_ASCII);
    }

    /** A text the library reads: ASCII without zero characters. */
    static String ascii(String text, String what) {
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (c == 0 || c > 0x7F) throw new IllegalArgumentException(what + " must be ASCII without zero characters");
        }
        return text;
    }
}
