package com.ferrolan.bench;

/**
 * The main class of the launch benchmark: it prints one line and returns, so that a timed start
 * measures the launcher and the virtual machine's own start and shutdown, not application work.
 * The launcher runs it in-process as the updater's main class; the baseline runs it with the
 * runtime's own {@code java -cp}.
 */
public final class BenchMain {
  private BenchMain() {}

  public static void main(String[] args) {
    System.out.println("[bench] main reached with " + args.length + " argument(s)");
  }
}
