/**
 * The updater's log ({@link com.ferrolan.updater.log.UpdaterLog}) and the local wall-clock text
 * of its name and lines. Depends on the platform's classes alone.
 */
package com.ferrolan.updater.log;
