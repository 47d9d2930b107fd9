package org.vqhwlib;

/** The library's statuses: their messages, English meanings and hints. */
public final class Statuses {
    private Statuses() {}

    /** The status of "no card in the antenna field". */
    public static final int NO_CARD = -101;
    // A result of -1 stands for any of these statuses; the message tells which.
    private static final int[] STATUSES_OF_MINUS_ONE = {-1, -7, -9, -10, -11, -12, -13, -14, -22, -23};

    /** The library status that an export's result stands for. */
    public static int statusOf(int result, String message) {
        if (result == 1) return NO_CARD;
        if (result == -1) {
            for (int status : STATUSES_OF_MINUS_ONE) {
                String[] row = StatusTable.ROWS.get(status);
                if (row != null && row[0].equals(message)) return status;
            }
        }
        return result;
    }

    /** The status in English. */
    public static String meaningOf(int status) {
        String[] row = StatusTable.ROWS.get(status);
        if (row != null) return row[1];
        if (status >= -355 && status <= -101) return String.format("reader or card status byte %02X", status + 356);
        return "not a status the library gives";
    }

    /** What to try after the status, or an empty text. */
    public static String hintOf(int status) {
        return StatusTable.HINTS.getOrDefault(status, "");
    }

    /** The library's message of a status (its GBK text, decoded). */
    public static String messageOf(int status) {
        String[] row = StatusTable.ROWS.get(status);
        return row != null ? row[0] : StatusTable.UNKNOWN_MESSAGE;
    }
}
