package org.vqhwlib;

import com.sun.jna.Platform;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;

/**
 * The reader on a serial port (1 = COM1; on Linux the device that
 * {@code VQHW_COM<port>} names, else {@code /dev/ttyS<port-1>}). The
 * library drives one reader per process: one Reader is open at a time.
 *
 * <pre>{@code
 * try (Reader reader = new Reader(1)) {
 *     Activation card = reader.openCard();
 *     reader.loadKey(Reader.KEY_A, 1, Codecs.fromHex("A0A1A2A3A4A5"));
 *     byte[] entry = reader.readBlock(4);
 * }
 * }</pre>
 *
 * Every failed call throws {@link VqhwException} ({@link NoCardException}
 * when the field is empty).
 */
public final class Reader implements AutoCloseable {
    /** Key types of {@link #loadKey}. */
    public static final int KEY_A = 0, KEY_B = 1;
    /** Sizes of the library's buffers (the header's VQHW_..._SIZE macros). */
    public static final int MESSAGE_SIZE = 49, INFO_SIZE = 123, BLOCK_SIZE = 16, KEY_SIZE = 6, CARD_RECORD_SIZE = 5;
    private static final int REPLY_SIZE = 1024, STATUS_WORD_SIZE = 16, FILE_BUFFER_LIMIT = 256;
    private static final int NOT_OPEN = -7, ALREADY_OPEN = -8, NO_STATUS_WORD = -22;
    private static final Object GATE = new Object();
    private static Reader openOne;

    private final VqhwLibrary library = VqhwLibrary.INSTANCE;
    private final int port;
    private boolean open;

    /** Opens the reader on {@code port} (1..99). A failure throws VqhwException whose detail names the device tried. */
    public Reader(int port) {
        if (port < 1 || port > 99) throw new IllegalArgumentException("port must be 1..99, not " + port);
        this.port = port;
        synchronized (GATE) {
            if (openOne != null)
                throw new VqhwException("open_reader", ALREADY_OPEN, Statuses.messageOf(ALREADY_OPEN), ALREADY_OPEN,
                        "port " + openOne.port + " is open in this process");
            check("open_reader", library.open_reader(port, 0), "tried " + deviceOf(port));
            open = true;
            openOne = this;
        }
    }

    /** The device {@code open_reader} opens for {@code port}, and why that one. */
    public static String deviceOf(int port) {
        if (Platform.isWindows()) return "COM" + port;
        String variable = "VQHW_COM" + port;
        String named = Environment.get(variable);
        if (named != null && !named.isEmpty()) return named + " (from " + variable + ")";
        return "/dev/ttyS" + (port - 1) + " (" + variable + " is not set; set it to the reader's device)";
    }

    /** The port number (1 = COM1). */
    public int port() { return port; }

    /** The reader is open. */
    public boolean isOpen() { synchronized (GATE) { return open; } }

    /** Closes the reader; closing a closed Reader does nothing. */
    @Override
    public void close() {
        synchronized (GATE) {
            if (!open) return;
            open = false;
            openOne = null;
            check("close_reader", library.close_reader(), "");
        }
    }

    /** Throws VqhwException (NoCardException for result 1) unless {@code result} is 0. */
    public static void check(String call, int result) { check(call, result, ""); }

    private static void check(String call, int result, String detail) {
        if (result == 0) return;
        byte[] text = new byte[MESSAGE_SIZE];
        VqhwLibrary.INSTANCE.getvqicerror(text);
        String message = Codecs.gbk(text);
        if (result == 1) throw new NoCardException(call, message);
        throw new VqhwException(call, result, message, Statuses.statusOf(result, message), detail);
    }

    private void call(String name, int result) {
        check(name, result, "");
    }

    private void require(String call) {
        if (!open) throw new VqhwException(call, -1, Statuses.messageOf(NOT_OPEN), NOT_OPEN, "the Reader is closed");
    }

    /** The reader's information line: maker, model, port and line speed. */
    public String info() {
        synchronized (GATE) {
            require("getreaderinfo");
            byte[] text = new byte[INFO_SIZE];
            library.getreaderinfo(text);
            return Codecs.gbk(text);
        }
    }

    /** Which cards the card operations accept: 0 MIFARE ONE only, 1 CPU cards only, 2 both. */
    public void selectCardType(int kind) {
        if (kind < 0 || kind > 2) throw new IllegalArgumentException("card kind must be 0, 1 or 2, not " + kind);
        synchronized (GATE) { call("SelectCardType", library.SelectCardType('0' + kind)); }
    }

    /** Activates the card in the field; NoCardException when there is none. */
    public Activation openCard() {
        synchronized (GATE) {
            require("opencard");
            byte[] record = new byte[CARD_RECORD_SIZE];
            call("opencard", library.opencard(record));
            return new Activation(Arrays.copyOf(record, 4), record[4] & 0xFF);
        }
    }

    /** Ends the work with the card: a field reset and a 100 ms pause; never fails. */
    public void closeCard() {
        synchronized (GATE) {
            require("closecard");
            library.closecard();
        }
    }

    /** Loads key A ({@link #KEY_A}) or B ({@link #KEY_B}) of sector 0..15 (6 bytes) and authenticates with it. */
    public void loadKey(int keyType, int sector, byte[] key) {
        synchronized (GATE) {
            require("loadkey");
            call("loadkey", library.loadkey(keyType, sector, sized(key, KEY_SIZE, "key")));
        }
    }

    /** The 16 bytes of block 0..63. */
    public byte[] readBlock(int block) {
        synchronized (GATE) {
            require("readblock");
            byte[] data = new byte[BLOCK_SIZE];
            call("readblock", library.readblock(0, block, data));
            return data;
        }
    }

    /** Writes 16 bytes to block 0..63 (a trailer: {@link #writeTrailer}). */
    public void writeBlock(int block, byte[] data) {
        synchronized (GATE) {
            require("writeblock");
            call("writeblock", library.writeblock(0, block, sized(data, BLOCK_SIZE, "block data")));
        }
    }

    /** Writes a sector's 16-byte trailer: key A, access bits, key B (writekey). */
    public void writeTrailer(int sector, byte[] trailer) {
        synchronized (GATE) {
            require("writekey");
            call("writekey", library.writekey(0, sector, sized(trailer, BLOCK_SIZE, "trailer")));
        }
    }

    /** {@code length} bytes from {@code offset} of a card file (readfile, with its one retry). */
    public byte[] readFile(int fileNumber, int keySelector, int offset, int length) {
        synchronized (GATE) {
            require("readfile");
            byte[] data = new byte[Math.max(4, Math.min(length, FILE_BUFFER_LIMIT))];
            call("readfile", library.readfile(fileId(fileNumber), keyId(keySelector), offset, length, data));
            return Arrays.copyOf(data, Math.max(0, length));
        }
    }

    /** Writes {@code data} at {@code offset} of a card file (writefile, with its one retry). */
    public void writeFile(int fileNumber, int keySelector, int offset, byte[] data) {
        synchronized (GATE) {
            require("writefile");
            call("writefile", library.writefile(fileId(fileNumber), keyId(keySelector), offset, data.length,
                    data.length == 0 ? new byte[1] : data));
        }
    }

    /** Sends a command APDU to the CPU user card in the field (PRO_COMMAND_H). */
    public ApduReply cpuCardApdu(byte[] apdu) { return apdu("PRO_COMMAND_H", apdu); }

    /** Sends a command APDU to the PSAM in the reader (SAM_COMMAND_H). */
    public ApduReply psamApdu(byte[] apdu) { return apdu("SAM_COMMAND_H", apdu); }

    private ApduReply apdu(String name, byte[] apdu) {
        if (apdu.length < 4 || apdu.length > 251)
            throw new IllegalArgumentException("a command APDU has 4..251 bytes, not " + apdu.length);
        synchronized (GATE) {
            require(name);
            byte[] data = new byte[REPLY_SIZE];
            byte[] sw = new byte[STATUS_WORD_SIZE];
            String text = Codecs.toHex(apdu);
            call(name, name.equals("PRO_COMMAND_H") ? library.PRO_COMMAND_H(text, data, sw) : library.SAM_COMMAND_H(text, data, sw));
            String word = new String(sw, 0, 4, StandardCharsets.US_ASCII);
            if (sw[4] != 0 || !word.matches("[0-9A-F]{4}"))
                throw new VqhwException(name, NO_STATUS_WORD, Statuses.messageOf(NO_STATUS_WORD), NO_STATUS_WORD,
                        "the reply carries no status word");
            return new ApduReply(replyBytes(name, Codecs.gbk(data)), Integer.parseInt(word, 16));
        }
    }

    // The reply's hex text: up to a frame's data, more than hextobin's 127 bytes.
    static byte[] replyBytes(String call, String hex) {
        if (hex.length() % 2 != 0 || !hex.matches("[0-9A-F]*"))
            throw new VqhwException(call, NO_STATUS_WORD, Statuses.messageOf(NO_STATUS_WORD), NO_STATUS_WORD,
                    "the reply is not hex text");
        byte[] bytes = new byte[hex.length() / 2];
        for (int i = 0; i < bytes.length; i++) bytes[i] = (byte) Integer.parseInt(hex.substring(2 * i, 2 * i + 2), 16);
        return bytes;
    }

    private static String fileId(int fileNumber) {
        if (fileNumber < 0 || fileNumber > 0xFF) throw new IllegalArgumentException("file number must be 0..255, not " + fileNumber);
        return String.format("%04X", fileNumber);
    }

    private static String keyId(int keySelector) {
        if (keySelector < 0 || keySelector > 0xF) throw new IllegalArgumentException("key selector must be 0..15, not " + keySelector);
        return String.format("%X0", keySelector);
    }

    private static byte[] sized(byte[] data, int size, String what) {
        if (data == null || data.length != size) throw new IllegalArgumentException(what + " must be " + size + " bytes");
        return data;
    }
}
