package org.vqhwlib;

/** A card's answer to a command APDU: its data and its status word SW1 SW2. */
public final class ApduReply {
    private final byte[] data;
    private final int sw;

    ApduReply(byte[] data, int sw) {
        this.data = data;
        this.sw = sw;
    }

    /** The reply's data, without SW1 SW2. */
    public byte[] data() { return data.clone(); }
    /** SW1 * 256 + SW2: 0x9000 for 90 00. */
    public int sw() { return sw; }
    /** The card says 90 00. */
    public boolean ok() { return sw == 0x9000; }

    /** The data and the status word in hex, e.g. {@code "000061A8 SW 9000"}. */
    @Override
    public String toString() {
        return (data.length == 0 ? "" : Codecs.toHex(data) + " ") + String.format("SW %04X", sw);
    }
}
