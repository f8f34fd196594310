/**
 * Starting the application: whether its class path holds its main class and which jar is its
 * main jar ({@link com.ferrolan.updater.start.ClassPathCheck}), its options and the choice between this
 * virtual machine and a process of its own ({@link com.ferrolan.updater.start.JvmOptions}), what
 * it is told ({@link com.ferrolan.updater.start.LauncherSettings}), and the two ways to start it
 * ({@link com.ferrolan.updater.start.InProcessStart}, {@link
 * com.ferrolan.updater.start.ProcessStart}). The chores after a start are handed in as an
 * {@link com.ferrolan.updater.start.AfterStart}; this package knows nothing of them.
 */
package com.ferrolan.updater.start;
