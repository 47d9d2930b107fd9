package org.vqhwlib;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Path;
import org.junit.jupiter.api.Test;

/** The Reader against vqhw-sim (VQHW_SIM) with the example field files (VQHW_EXAMPLES). */
class ReaderTest {
    private static final Path EXAMPLES = Path.of(System.getenv("VQHW_EXAMPLES"));
    private static final Path LANE = EXAMPLES.resolve("lane.json");
    private static final Path CPU_CARD = EXAMPLES.resolve("cpu-card.json");
    private static final byte[] KEY_A = Codecs.fromHex("A0A1A2A3A4A5");
    private static final byte[] KEY_B = Codecs.fromHex("B0B1B2B3B4B5");

    @Test
    void theEntryRecordIsReadAndWritten() throws Exception {
        try (VirtualReader sim = new VirtualReader(LANE); Reader reader = new Reader(sim.port())) {
            assertTrue(reader.info().contains("COM1") && reader.info().contains("115200"), reader.info());
            Activation card = reader.openCard();
            assertEquals("3A5F0C21", Codecs.toHex(card.serial()));
            assertEquals(0x08, card.sak());
            reader.loadKey(Reader.KEY_A, 1, KEY_A);
            assertEquals("4C414E45303720454E54525920202020", Codecs.toHex(reader.readBlock(4)));
            byte[] record = Codecs.fromHex("000102030405060708090A0B0C0D0E0F");
            reader.loadKey(Reader.KEY_B, 1, KEY_B);
            reader.writeBlock(5, record);
            assertArrayEquals(record, reader.readBlock(5));
            reader.loadKey(Reader.KEY_A, 2, KEY_A);
            reader.writeFile(2, 2, 14, "ABCD".getBytes());
            assertEquals("PLATE A-12345 ABCD", new String(reader.readFile(2, 2, 0, 18)));
            reader.closeCard();
        }
    }

    @Test
    void refusalsCarryCodeStatusMessageMeaningAndHint() throws Exception {
        try (VirtualReader sim = new VirtualReader(LANE); Reader reader = new Reader(sim.port())) {
            reader.openCard();
            VqhwException wrongKey = assertThrows(VqhwException.class, () -> reader.loadKey(Reader.KEY_A, 1, new byte[6]));
            assertEquals(-103, wrongKey.code());
            assertEquals(-103, wrongKey.status());
            assertEquals("用户卡认证错误", wrongKey.text());
            assertTrue(wrongKey.meaning().contains("refused the key"), wrongKey.meaning());
            assertTrue(wrongKey.getMessage().contains(wrongKey.hint()) && !wrongKey.hint().isEmpty(), wrongKey.getMessage());
            reader.openCard();
            reader.loadKey(Reader.KEY_A, 1, KEY_A);
            VqhwException forbidden = assertThrows(VqhwException.class, () -> reader.writeBlock(5, new byte[16]));
            assertEquals(-115, forbidden.code());
            assertEquals("writeblock", forbidden.call());
            assertFalse(forbidden instanceof NoCardException);
            VqhwException badBlock = assertThrows(VqhwException.class, () -> reader.readBlock(64));
            assertEquals(-1, badBlock.code());
            assertEquals("第一个参数错误", badBlock.text());
            assertThrows(IllegalArgumentException.class, () -> reader.loadKey(Reader.KEY_A, 1, new byte[7]));
        }
    }

    @Test
    void anEmptyFieldIsNoCard() throws Exception {
        try (VirtualReader sim = new VirtualReader(null); Reader reader = new Reader(sim.port())) {
            NoCardException empty = assertThrows(NoCardException.class, reader::openCard);
            assertEquals(1, empty.code());
            assertEquals(-101, empty.status());
            assertEquals("天线范围内无卡", empty.text());
            assertEquals("no card in the antenna field", empty.meaning());
        }
    }

    @Test
    void aReaderThatIsNotThereNamesTheDeviceAndTheTrace() throws Exception {
        Environment.set("VQHW_COM97", "/nonexistent/vqhw-port");
        try {
            VqhwException missing = assertThrows(VqhwException.class, () -> new Reader(97));
            assertEquals(-1, missing.code());
            assertEquals(-12, missing.status());
            assertEquals("串行口无法打开", missing.text());
            assertEquals("tried /nonexistent/vqhw-port (from VQHW_COM97)", missing.detail());
            assertTrue(missing.getMessage().contains("VQHW_TRACE"), missing.getMessage());
        } finally {
            Environment.set("VQHW_COM97", null);
        }
        VqhwException unmapped = assertThrows(VqhwException.class, () -> new Reader(98));
        assertTrue(unmapped.detail().contains("/dev/ttyS97 (VQHW_COM98 is not set"), unmapped.detail());
        try (VirtualReader sim = new VirtualReader(96, null, "--no-psam")) {
            assertEquals(-26, assertThrows(VqhwException.class, () -> new Reader(sim.port())).code());
        }
    }

    @Test
    void oneReaderAtATimeAndNoneAfterClose() throws Exception {
        try (VirtualReader sim = new VirtualReader(null)) {
            Reader reader = new Reader(sim.port());
            assertEquals(-8, assertThrows(VqhwException.class, () -> new Reader(sim.port())).status());
            reader.close();
            reader.close();
            VqhwException closed = assertThrows(VqhwException.class, () -> reader.readBlock(4));
            assertEquals(-7, closed.status());
            assertEquals("串行口没打开", closed.text());
        }
    }

    @Test
    void apdusToTheCpuCardAndThePsam() throws Exception {
        try (VirtualReader sim = new VirtualReader(CPU_CARD); Reader reader = new Reader(sim.port())) {
            assertEquals(0x20, reader.openCard().sak());
            assertTrue(reader.cpuCardApdu(Codecs.fromHex("00A4040006A00000099901")).ok());
            ApduReply balance = reader.cpuCardApdu(Codecs.fromHex("805C000204"));
            assertEquals("000061A8 SW 9000", balance.toString());
            ApduReply missing = reader.cpuCardApdu(Codecs.fromHex("00A40000020099"));
            assertEquals(0x6A82, missing.sw());
            assertEquals(0, missing.data().length);
            assertThrows(IllegalArgumentException.class, () -> reader.cpuCardApdu(new byte[3]));
        }
    }

    @Test
    void aReplyLongerThanTheCodecsLimitIsKeptWhole() {
        StringBuilder hex = new StringBuilder();
        for (int i = 0; i < 245; i++) hex.append(String.format("%02X", i));  // a frame's longest reply
        byte[] reply = Reader.replyBytes("PRO_COMMAND_H", hex.toString());
        assertEquals(245, reply.length);
        assertEquals((byte) 244, reply[244]);
        assertThrows(VqhwException.class, () -> Reader.replyBytes("PRO_COMMAND_H", "123"));
    }

    @Test
    void hexTextsBothWays() {
        assertArrayEquals(new byte[] {0x1A, 0x2B}, Codecs.fromHex("1a2B"));
        assertArrayEquals(new byte[] {0x12, 0x34}, Codecs.fromHex("12 3G4 5"));
        assertEquals("00AB5F", Codecs.toHex(new byte[] {0, (byte) 0xAB, 0x5F}));
        assertThrows(IllegalArgumentException.class, () -> Codecs.fromHex("12\u00003"));
    }
}
