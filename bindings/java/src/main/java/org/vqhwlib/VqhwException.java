package org.vqhwlib;

/**
 * An export of the library failed.
 *
 * <p>{@link #code()} is what it returned (1 no card; -1 for the port and
 * transport failures; otherwise the status itself), {@link #status()} the
 * library status the code stands for (for -1, the message tells which),
 * {@link #text()} the library's message of it decoded from GBK,
 * {@link #meaning()} the same in English, {@link #hint()} what to try, and
 * {@link #detail()} what the binding adds (for {@code open_reader}, the
 * device it tried).
 */
public class VqhwException extends RuntimeException {
    private static final long serialVersionUID = 1L;
    private final String call;
    private final int code;
    private final int status;
    private final String text;
    private final String detail;

    /** The status is found from the code and the message. */
    public VqhwException(String call, int code, String text) {
        this(call, code, text, Statuses.statusOf(code, text), "");
    }

    /** All fields given; the meaning and the hint come from the status. */
    public VqhwException(String call, int code, String text, int status, String detail) {
        super(describe(call, code, text, status, detail));
        this.call = call;
        this.code = code;
        this.status = status;
        this.text = text;
        this.detail = detail == null ? "" : detail;
    }

    private static String describe(String call, int code, String text, int status, String detail) {
        StringBuilder line = new StringBuilder(call + " -> " + code + ": " + text + " (" + Statuses.meaningOf(status) + ")");
        if (detail != null && !detail.isEmpty()) line.append("; ").append(detail);
        String hint = Statuses.hintOf(status);
        if (!hint.isEmpty()) line.append("; ").append(hint);
        return line.toString();
    }

    /** The export that failed, e.g. {@code "loadkey"}. */
    public String call() { return call; }
    /** What the export returned. */
    public int code() { return code; }
    /** The library status the result stands for (1 is -101). */
    public int status() { return status; }
    /** The library's message ({@code getvqicerror}), decoded from GBK. */
    public String text() { return text; }
    /** The status in English. */
    public String meaning() { return Statuses.meaningOf(status); }
    /** What to try, or an empty text. */
    public String hint() { return Statuses.hintOf(status); }
    /** What the binding adds, e.g. the device {@code open_reader} tried; or an empty text. */
    public String detail() { return detail; }
}
