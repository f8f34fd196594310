/**
 * The launcher's files and folders in the master folder, read and written byte for byte as the
 * launcher does: the launch file, the LSO file, the names of installed folders and the 8-bit text
 * they hold, and the encoding of the launcher's arguments that the updater passes on to the
 * application. Shared by the updater and {@link com.ferrolan.runtime}; not for applications. These
 * classes depend on the platform's classes alone, and run before every application start, so
 * they stay on java.io and plain string tests.
 */
package com.ferrolan.runtime.files;
