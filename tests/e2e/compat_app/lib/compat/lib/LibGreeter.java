package compat.lib;

import compat.api.Greeter;

/** The library's provider of the Greeter service (META-INF/services). */
public final class LibGreeter implements Greeter {
    @Override
    public String greet() {
        return "hello from the library";
    }
}
