package com.ferrolan.bench;

/**
 * The main class of the launch benchmark: it prints one line and returns, so that a timed start
 * measures the launcher and the virtual machine's own start and shutdown, not application work.
 * The launcher runs it in-process as the updater's main class (or, started by the updater, as
 * the application); the baseline runs it with the runtime's own {@code java -cp}. The line ends
 * with the wall-clock time in milliseconds at which main was reached.
 */
public final class BenchMain {
  private BenchMain() {}

  public static void main(String[] args) {
    long reached = System.currentTimeMillis();
    System.out.println("[bench] main reached with " + args.length + " argument(s) at " + reached);
  }
}
