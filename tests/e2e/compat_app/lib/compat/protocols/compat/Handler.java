package compat.protocols.compat;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.nio.charset.StandardCharsets;

/** The handler of "compat:" URLs, found through java.protocol.handler.pkgs=compat.protocols. */
public final class Handler extends URLStreamHandler {
    @Override
    protected URLConnection openConnection(URL url) {
        return new URLConnection(url) {
            @Override
            public void connect() {
            }

            @Override
            public InputStream getInputStream() {
                byte[] text = ("the compat handler read " + url.getPath())
                        .getBytes(StandardCharsets.UTF_8);
                return new ByteArrayInputStream(text);
            }
        };
    }
}
