/**
 * What an application started by the launcher may call: {@link
 * com.ferrolan.runtime.LaunchProperties#current()} gives the launcher's settings for this run
 * (the build's and the download's), and {@link com.ferrolan.runtime.LaunchProperties#read} reads
 * the launch-properties file a main class started in the updater's place receives as its first
 * argument. Compile against {@code ferrolan-runtime.jar} and ship it with the application.
 *
 * <p>Only this package and {@link com.ferrolan.runtime.update} (the application's updates) are
 * for applications. The jar's other packages hold the launcher's file formats for the updater
 * and may change with any release.
 */
package com.ferrolan.runtime;
