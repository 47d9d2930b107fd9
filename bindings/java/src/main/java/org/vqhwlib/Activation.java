package org.vqhwlib;

/** What the reader found in its field: the card's serial number (4 bytes) and its SAK byte. */
public final class Activation {
    private final byte[] serial;
    private final int sak;

    Activation(byte[] serial, int sak) {
        this.serial = serial;
        this.sak = sak;
    }

    /** The serial number, 4 bytes. */
    public byte[] serial() { return serial.clone(); }
    /** The SAK byte: 0x08 for a MIFARE ONE card, 0x20 for a CPU card. */
    public int sak() { return sak; }
    /** The card is a MIFARE ONE card. */
    public boolean isMifareOne() { return sak == 0x08; }

    @Override
    public String toString() {
        return String.format("Activation(serial %s, SAK %02X)", Codecs.toHex(serial), sak);
    }
}
