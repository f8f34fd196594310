/**
 * The installed versions in the master folder: which one starts, falling back to the previous
 * version when the newest cannot ({@link com.ferrolan.updater.installed.StartableVersion}), and
 * the clean-up of what earlier runs left ({@link com.ferrolan.updater.installed.CleanUp}).
 */
package com.ferrolan.updater.installed;
