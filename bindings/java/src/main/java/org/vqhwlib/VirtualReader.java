package org.vqhwlib;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;

/**
 * The virtual reader for tests: {@code vqhw-sim} on a pseudo-terminal,
 * reached as port {@link #port()} while it runs (POSIX systems).
 *
 * <pre>{@code
 * try (VirtualReader sim = new VirtualReader(Path.of("sim/examples/lane.json"));
 *      Reader reader = new Reader(sim.port())) {
 *     reader.openCard();
 * }
 * }</pre>
 *
 * The program is the one the system property {@code vqhw.sim} or the
 * environment variable {@code VQHW_SIM} names, else {@code vqhw-sim} on the
 * PATH. A field file of null is an empty field (a bare vqhw-sim holds a
 * card of its own). Options are vqhw-sim's: {@code "--no-psam"},
 * {@code "--silent", "2"}, ...
 */
public final class VirtualReader implements AutoCloseable {
    private static final long START_SECONDS = 10, STOP_SECONDS = 5;
    private final Process process;
    private final int port;
    private final String variable;
    private final String previous;
    private final String device;
    private final Path emptyField;

    /** Starts vqhw-sim with the cards of {@code field} (null: none) as port 1. */
    public VirtualReader(Path field, String... options) throws IOException {
        this(1, field, options);
    }

    /** Starts vqhw-sim with the cards of {@code field} (null: none) as {@code port}. */
    public VirtualReader(int port, Path field, String... options) throws IOException {
        this.port = port;
        this.variable = "VQHW_COM" + port;
        emptyField = field == null ? Files.createTempFile("vqhw-field-", ".json") : null;
        if (emptyField != null) Files.writeString(emptyField, "{\"cards\": []}");
        List<String> command = new ArrayList<>(List.of(program(), "--field", (field == null ? emptyField : field).toString()));
        command.addAll(Arrays.asList(options));
        try {
            process = new ProcessBuilder(command).redirectError(ProcessBuilder.Redirect.PIPE).start();
        } catch (IOException error) {
            removeField();
            throw new VirtualReaderException("cannot start " + command.get(0) + ": " + error.getMessage());
        }
        device = firstLine();
        previous = Environment.get(variable);
        Environment.set(variable, device);
    }

    private static String program() {
        String configured = System.getProperty("vqhw.sim", System.getenv("VQHW_SIM"));
        return configured != null && !configured.isEmpty() ? configured : "vqhw-sim";
    }

    // The pty path the program prints first, or the reason it printed none.
    private String firstLine() throws IOException {
        BufferedReader output = new BufferedReader(new InputStreamReader(process.getInputStream(), StandardCharsets.UTF_8));
        CompletableFuture<String> line = CompletableFuture.supplyAsync(() -> {
            try {
                return output.readLine();
            } catch (IOException error) {
                return null;
            }
        });
        String path = null;
        try {
            path = line.get(START_SECONDS, TimeUnit.SECONDS);
        } catch (Exception error) {
            // no line in time: reported below
        }
        if (path != null && !path.isEmpty()) return path.trim();
        stop();
        String errors = new String(process.getErrorStream().readAllBytes(), StandardCharsets.UTF_8).trim();
        removeField();
        throw new VirtualReaderException("vqhw-sim gave no port (exit code " + process.exitValue() + "): "
                + (errors.isEmpty() ? "no message" : errors));
    }

    /** The port number at which the library finds this reader. */
    public int port() { return port; }

    /** The pseudo-terminal's path. */
    public String device() { return device; }

    /** Stops the program and gives {@code VQHW_COM<port>} its previous value. */
    @Override
    public void close() {
        stop();
        Environment.set(variable, previous);
        removeField();
    }

    private void stop() {
        process.destroy();  // SIGTERM: vqhw-sim ends cleanly
        try {
            if (!process.waitFor(STOP_SECONDS, TimeUnit.SECONDS)) {
                process.destroyForcibly();
                process.waitFor();
            }
        } catch (InterruptedException error) {
            process.destroyForcibly();
            Thread.currentThread().interrupt();
        }
    }

    private void removeField() {
        try {
            if (emptyField != null) Files.deleteIfExists(emptyField);
        } catch (IOException error) {
            // a temporary file left behind: nothing the test can do
        }
    }

    /** vqhw-sim could not be found or started; the message says why. */
    public static final class VirtualReaderException extends RuntimeException {
        private static final long serialVersionUID = 1L;

        VirtualReaderException(String message) {
            super(message);
        }
    }
}
