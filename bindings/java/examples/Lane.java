import java.io.ByteArrayOutputStream;
import java.time.LocalDateTime;
import java.time.format.DateTimeFormatter;
import java.util.Arrays;
import org.vqhwlib.Activation;
import org.vqhwlib.ApduReply;
import org.vqhwlib.Codecs;
import org.vqhwlib.NoCardException;
import org.vqhwlib.Reader;
import org.vqhwlib.VqhwException;

/**
 * A lane's two transactions through the vqhw jar, on port 1:
 *   java Lane entry      the MIFARE ONE entry record
 *   java Lane purchase   the toll from the CPU card's electronic purse
 * The keys and cards are those of the virtual reader's field files:
 * {@code vqhw-sim --field sim/examples/lane.json} for entry (sector 1: key A
 * A0A1A2A3A4A5 reads, key B B0B1B2B3B4B5 writes), {@code vqhw-sim --field
 * sim/examples/cpu-card.json} for purchase (a purse of 250.00, a PSAM).
 * Point VQHW_COM1 at the path vqhw-sim prints. Exit code 0 on success; a
 * failure prints the exception (code, status, message, meaning, hint).
 */
public final class Lane {
    private static final int PORT = 1;
    private static final int AMOUNT = 1500;  // the toll in fen (cents): 15.00

    private static byte[] hex(String text) { return Codecs.fromHex(text); }

    private static byte[] join(byte[]... parts) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (byte[] part : parts) out.writeBytes(part);
        return out.toByteArray();
    }

    private static byte[] slice(byte[] bytes, int start, int count) { return Arrays.copyOfRange(bytes, start, start + count); }

    private static byte[] bigEndian(long value, int size) {
        byte[] bytes = new byte[size];
        for (int i = 0; i < size; i++) bytes[i] = (byte) (value >> (8 * (size - 1 - i)));
        return bytes;
    }

    private static long number(byte[] bytes) {
        long value = 0;
        for (byte b : bytes) value = value << 8 | (b & 0xFF);
        return value;
    }

    private static Activation waitForCard(Reader reader) throws InterruptedException {
        while (true) {
            try {
                return reader.openCard();
            } catch (NoCardException empty) {
                Thread.sleep(200);  // no vehicle yet
            }
        }
    }

    private static void entry(Reader reader) throws InterruptedException {
        Activation card = waitForCard(reader);
        System.out.println("card " + Codecs.toHex(card.serial()) + String.format(", SAK %02X", card.sak()));
        reader.loadKey(Reader.KEY_A, 1, hex("A0A1A2A3A4A5"));
        System.out.println("entry record " + Codecs.toHex(reader.readBlock(4)));
        // Station 0042, lane 07, entry, vehicle class 1, then the BCD date and time.
        byte[] record = Arrays.copyOf(hex("0042070101" + LocalDateTime.now().format(DateTimeFormatter.ofPattern("yyyyMMddHHmmss"))), 16);
        reader.loadKey(Reader.KEY_B, 1, hex("B0B1B2B3B4B5"));
        reader.writeBlock(5, record);
        if (!Arrays.equals(reader.readBlock(5), record)) throw new IllegalStateException("the record read back differs");
        System.out.println("written to block 5 " + Codecs.toHex(record));
        reader.closeCard();
    }

    // The data of a reply that must end in 90 00.
    private static byte[] ok(ApduReply reply, String what) {
        if (!reply.ok()) throw new IllegalStateException(what + ": the card answered " + reply);
        return reply.data();
    }

    // A PSAM on contacts answers 61 xx: the data is fetched with GET RESPONSE.
    private static byte[] psam(Reader reader, byte[] command, String what) {
        ApduReply reply = reader.psamApdu(command);
        if (reply.sw() >> 8 == 0x61) reply = reader.psamApdu(new byte[] {0x00, (byte) 0xC0, 0x00, 0x00, (byte) reply.sw()});
        return ok(reply, what);
    }

    private static void purchase(Reader reader) throws InterruptedException {
        Activation card = waitForCard(reader);
        System.out.println("card " + Codecs.toHex(card.serial()) + String.format(", SAK %02X", card.sak()));
        ok(reader.cpuCardApdu(hex("00A4040006A00000099901")), "SELECT the toll application");
        byte[] issuer = ok(reader.cpuCardApdu(hex("00B0950000")), "READ BINARY EF 0015");  // 30 bytes
        byte[] terminal = psam(reader, hex("00B0960006"), "READ BINARY the terminal number");  // 6 bytes
        psam(reader, hex("00A40000021001"), "SELECT the PSAM's purchase application");

        // INITIALIZE FOR PURCHASE: key index 01, amount (4), terminal number (6).
        byte[] start = ok(reader.cpuCardApdu(join(hex("805001020B01"), bigEndian(AMOUNT, 4), terminal, hex("0F"))),
                "INITIALIZE FOR PURCHASE");
        long balance = number(slice(start, 0, 4));  // 4 balance
        byte[] counter = slice(start, 4, 2);        // 2 offline transaction counter, 3 overdraft limit
        byte keyVersion = start[9], algorithm = start[10];
        byte[] random = slice(start, 11, 4);        // 4 pseudo-random number
        System.out.printf("balance %.2f, counter %d%n", balance / 100.0, number(counter));

        // MAC1 from the PSAM: 36 bytes of input.
        String now = LocalDateTime.now().format(DateTimeFormatter.ofPattern("yyyyMMddHHmmss"));
        byte[] date = hex(now.substring(0, 8)), time = hex(now.substring(8));  // BCD: 4 and 3 bytes
        byte[] mac1Input = join(random, counter, bigEndian(AMOUNT, 4), new byte[] {0x06},  // 06: purchase
                date, time, new byte[] {keyVersion, algorithm},
                slice(issuer, 12, 8), slice(issuer, 0, 8));  // application serial's last 8, issuer identifier
        byte[] mac1Reply = psam(reader, join(hex("8070000024"), mac1Input, hex("08")), "MAC1");
        byte[] terminalSerial = slice(mac1Reply, 0, 4), mac1 = slice(mac1Reply, 4, 4);

        // DEBIT FOR PURCHASE: terminal serial (4), date (4), time (3), MAC1 (4).
        byte[] debit = ok(reader.cpuCardApdu(join(hex("805401000F"), terminalSerial, date, time, mac1, hex("08"))),
                "DEBIT FOR PURCHASE");
        byte[] tac = slice(debit, 0, 4), mac2 = slice(debit, 4, 4);
        psam(reader, join(hex("8072000004"), mac2), "the PSAM's check of MAC2");
        long after = number(ok(reader.cpuCardApdu(hex("805C000204")), "GET BALANCE"));
        System.out.printf("paid %.2f: balance %.2f, TAC %s%n", AMOUNT / 100.0, after / 100.0, Codecs.toHex(tac));
        reader.closeCard();
    }

    public static void main(String[] arguments) throws InterruptedException {
        String transaction = arguments.length > 0 ? arguments[0] : "";
        if (!transaction.equals("entry") && !transaction.equals("purchase")) {
            System.err.println("usage: java Lane entry|purchase");
            System.exit(64);
        }
        try (Reader reader = new Reader(PORT)) {
            if (transaction.equals("entry")) entry(reader); else purchase(reader);
        } catch (VqhwException error) {
            System.err.println("failed: " + error.getMessage());
            System.exit(1);
        }
    }
}
