package compat.api;

/** The service the application looks up with ServiceLoader. */
public interface Greeter {
    String greet();
}
