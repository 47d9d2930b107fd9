package org.vqhwlib;

import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.Platform;

/**
 * The process's environment as the library reads it. The library finds the
 * device of port n in {@code VQHW_COM<n>} with the C library's getenv, which
 * {@link System#getenv} does not follow after the JVM started; these read and
 * change that environment itself (POSIX systems).
 */
public final class Environment {
    private Environment() {}

    private interface C extends Library {
        String getenv(String name);
        int setenv(String name, String value, int overwrite);
        int unsetenv(String name);
    }

    private static final class Holder {
        static final C LIBC = Native.load(Platform.C_LIBRARY_NAME, C.class);
    }

    /** The variable's value, or null. */
    public static String get(String name) {
        if (Platform.isWindows()) return System.getenv(name);
        return Holder.LIBC.getenv(name);
    }

    /** Sets the variable (null removes it) for the library in this process. */
    public static void set(String name, String value) {
        if (Platform.isWindows()) throw new UnsupportedOperationException("the library names ports COM<n> on Windows");
        int result = value == null ? Holder.LIBC.unsetenv(name) : Holder.LIBC.setenv(name, value, 1);
        if (result != 0) throw new IllegalStateException("cannot set " + name);
    }
}
