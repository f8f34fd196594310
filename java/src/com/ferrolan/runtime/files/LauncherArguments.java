package com.ferrolan.runtime.files;

import java.io.ByteArrayOutputStream;
import java.nio.ByteBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.CodingErrorAction;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;

/**
 * The arguments the launcher was started with, as the updater hands them to the application in
 * the system property "ferrolan.arguments", so that a restart can run the launcher with them
 * again. They are the user's arguments alone: the launch file's extra arguments, which the
 * application receives before them, come from the launch file on every start anyway.
 *
 * <p>The value must come through two ways of starting unchanged: System.setProperty in this
 * virtual machine, and a "-Dferrolan.arguments=..." element of a spawned java command line,
 * which Windows turns into one quoted command line and which older JDKs on POSIX turn into
 * bytes of the default charset. So the value is plain ASCII without quotes or backslashes:
 *
 * <ul>
 *   <li>each argument is written as its UTF-8 bytes, where every byte other than the ASCII
 *       letters, digits and {@code - . _ ~ / : , = @ +} is written as "%" and two upper-case hex
 *       digits ("a b" is "a%20b", "%" is "%25", "é" is "%C3%A9");
 *   <li>an empty argument is written as a "%" alone, which no other argument produces;
 *   <li>the arguments are joined with one space; no arguments is the empty string.
 * </ul>
 *
 * <p>Decoding accepts runs of spaces (and leading or trailing ones) between arguments, and
 * takes characters that need no escape as themselves.
 *
 * <p>The updater encodes before the application's main, so this class stays on plain loops:
 * no lambdas, streams or regular expressions.
 */
public final class LauncherArguments {
    /** The system property the updater sets. */
    public static final String PROPERTY = "ferrolan.arguments";

    private static final String EMPTY = "%";
    private static final char[] HEX = "0123456789ABCDEF".toCharArray();

    private LauncherArguments() {
    }

    /** The property's value for `arguments`. */
    public static String encode(List<String> arguments) {
        StringBuilder out = new StringBuilder();
        for (int i = 0; i < arguments.size(); i++) {
            String argument = arguments.get(i);
            if (i > 0) {
                out.append(' ');
            }
            if (argument.isEmpty()) {
                out.append(EMPTY);
                continue;
            }
            for (byte b : argument.getBytes(StandardCharsets.UTF_8)) {
                int c = b & 0xff;
                if (isPlain(c)) {
                    out.append((char) c);
                } else {
                    out.append('%').append(HEX[c >> 4]).append(HEX[c & 0xf]);
                }
            }
        }
        return out.toString();
    }

    /**
     * The arguments in a value {@link #encode} wrote. IllegalArgumentException when it holds a
     * "%" without two hex digits after it (other than an empty argument's lone "%"), or bytes
     * that are not UTF-8.
     */
    public static List<String> decode(String value) {
        List<String> arguments = new ArrayList<>();
        int at = 0;
        while (at < value.length()) {
            if (value.charAt(at) == ' ') {
                at++;
                continue;
            }
            int end = value.indexOf(' ', at);
            end = end < 0 ? value.length() : end;
            arguments.add(decodeOne(value.substring(at, end)));
            at = end;
        }
        return arguments;
    }

    private static String decodeOne(String token) {
        if (token.equals(EMPTY)) {
            return "";
        }
        ByteArrayOutputStream bytes = new ByteArrayOutputStream(token.length());
        for (int i = 0; i < token.length(); i++) {
            char c = token.charAt(i);
            if (c == '%') {
                int high = i + 2 < token.length() ? Character.digit(token.charAt(i + 1), 16) : -1;
                int low = high >= 0 ? Character.digit(token.charAt(i + 2), 16) : -1;
                if (low < 0) {
                    throw new IllegalArgumentException(
                            "A \"%\" without two hex digits in the arguments " + token);
                }
                bytes.write(high << 4 | low);
                i += 2;
            } else {
                byte[] own = String.valueOf(c).getBytes(StandardCharsets.UTF_8);
                if (Character.isHighSurrogate(c) && i + 1 < token.length()) {
                    own = token.substring(i, i + 2).getBytes(StandardCharsets.UTF_8);
                    i++;
                }
                bytes.write(own, 0, own.length);
            }
        }
        try {
            return StandardCharsets.UTF_8.newDecoder()
                    .onMalformedInput(CodingErrorAction.REPORT)
                    .onUnmappableCharacter(CodingErrorAction.REPORT)
                    .decode(ByteBuffer.wrap(bytes.toByteArray()))
                    .toString();
        } catch (CharacterCodingException notUtf8) {
            throw new IllegalArgumentException("Arguments that are not UTF-8: " + token, notUtf8);
        }
    }

    private static boolean isPlain(int c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                || "-._~/:,=@+".indexOf(c) >= 0;
    }
}
