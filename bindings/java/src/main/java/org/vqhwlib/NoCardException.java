package org.vqhwlib;

/** No card in the antenna field (result 1, status -101): what a lane's polling loop waits out. */
public class NoCardException extends VqhwException {
    private static final long serialVersionUID = 1L;

    /** The text is the library's message. */
    public NoCardException(String call, String text) {
        super(call, 1, text, Statuses.NO_CARD, "");
    }
}
